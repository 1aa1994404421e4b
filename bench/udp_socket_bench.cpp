// Costs on the UDP listener's 2 ms cycle: the receive of an idle socket (every
// cycle), one frame-sized datagram over loopback, and one log line.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "log/error_logger.h"
#include "platform/sockets.h"
#include "temp_folder.h"
#include "udp/udp_socket.h"

namespace {

using namespace kinevra;

// The sockets' log lines go to a scratch folder, not the user's Documents.
test::TempFolder& scratch() {
  static test::TempFolder folder;
  return folder;
}
const bool kIsolated = [] {
  test::setEnvironment("XDG_DOCUMENTS_DIR", scratch().str().c_str());
  return true;
}();

std::uint16_t boundPort(const UdpSocket& s) {
  platform::Ipv4Endpoint at;
  platform::localEndpoint(s.getSocket(), &at);
  return at.port;
}

void BM_ReceiveDatagramIdle(benchmark::State& state) {
  UdpSocket s;
  s.openPort(0);
  for (auto _ : state) benchmark::DoNotOptimize(s.receiveDatagram());
  s.closePort();
}
BENCHMARK(BM_ReceiveDatagramIdle);

void BM_LoopbackDatagram(benchmark::State& state) {
  UdpSocket rx;
  rx.openPort(0);
  platform::startSockets();
  const platform::SocketHandle tx = platform::openDatagramSocket();
  const platform::Ipv4Endpoint to{platform::kLoopbackAddress, boundPort(rx)};
  const std::vector<std::uint8_t> frame(static_cast<std::size_t>(state.range(0)), 0xF8);
  for (auto _ : state) {
    platform::sendTo(tx, frame.data(), frame.size(), to);
    platform::waitReadable(rx.getSocket(), 1000000);
    benchmark::DoNotOptimize(rx.receiveDatagram());
  }
  platform::closeSocket(tx);
  platform::stopSockets();
  rx.closePort();
}
BENCHMARK(BM_LoopbackDatagram)->Arg(38)->Arg(8192);

void BM_LogLine(benchmark::State& state) {
  ErrorLogger logger(scratch().str());
  for (auto _ : state) logger.logInfo("Udp listen thread: port opened starting main routine");
}
BENCHMARK(BM_LogLine);

}  // namespace
