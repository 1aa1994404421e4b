// The UDP link's multicast sender on its real 2 ms cycle: 30000 cycles (one
// minute) sending to a peer socket on the loopback interface, while the
// engine hands over a rig message every cycle and the host sends a message
// every tenth (both played on the sender's thread between its cycles, so no
// third thread's scheduling is measured). Reports the distribution of the
// cycle lengths the sender measures, the datagrams the peer received and the
// sender thread's CPU share. KINEVRA_REALTIME and KINEVRA_PACING choose the
// scheduling and the pacing, as for the library.
#include <benchmark/benchmark.h>
#include <time.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "cycle_lengths.h"
#include "link/engine_output.h"
#include "link/link_state.h"
#include "link/message_routing.h"
#include "link/serial_frame.h"
#include "platform/sockets.h"
#include "temp_folder.h"
#include "udp/multicast_address.h"
#include "udp/multicast_sender.h"

namespace {

using namespace kinevra;

// The sender's log lines go to a scratch folder, not the user's Documents.
test::TempFolder& scratch() {
  static test::TempFolder folder;
  return folder;
}
const bool kIsolated = [] {
  test::setEnvironment("XDG_DOCUMENTS_DIR", scratch().str().c_str());
  return true;
}();

double threadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Takes every datagram already waiting; returns how many there were.
int drain(platform::SocketHandle s) {
  std::array<std::uint8_t, 2048> buffer{};
  int n = 0;
  while (platform::waitReadable(s, 0) == 1 && platform::receiveFrom(s, buffer.data(), buffer.size(), nullptr) >= 0)
    ++n;
  return n;
}

void BM_MulticastSenderCycleLengths(benchmark::State& state) {
  constexpr int kCycles = 30000;
  platform::startSockets();
  const platform::SocketHandle peer = platform::openDatagramSocket();
  platform::Ipv4Endpoint at;
  if (peer == platform::kInvalidSocket || !platform::bindSocket(peer, {platform::kLoopbackAddress, 0}) ||
      !platform::localEndpoint(peer, &at)) {
    state.SkipWithError("no loopback socket");
    return;
  }

  auto link = std::make_unique<LinkState>(systemClock());
  setMulticastAddr(*link, "127.0.0.1", at.port);
  // The controller answers over UDP: the host's messages take the UDP queue.
  link->udpDataValid = true;
  MulticastSender sender(*link, systemClock(), [](ErrorLogger&) { return std::string("127.0.0.1"); });

  std::array<std::uint8_t, 38> host{};
  host[0] = host[1] = 0xF8;
  host[36] = kLf;
  host[37] = kCr;
  std::array<std::uint8_t, 36> rig{};
  rig[0] = rig[1] = 0xFC;
  rig[34] = kLf;
  rig[35] = kCr;

  std::vector<double> lengths;
  lengths.reserve(kCycles);
  int received = 0;
  double cpu = 0.0, wall = 0.0;
  for (auto _ : state) {
    lengths.clear();
    received = 0;
    if (!sender.begin()) {
      state.SkipWithError("the sender did not start");
      break;
    }
    const double cpuStart = threadCpuSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    for (int i = 0; i < kCycles; ++i) {
      queueEngineOutput(*link, rig);
      if (i % 10 == 0) sendMessagemmf(*link, host.data());
      if (!sender.step()) {
        state.SkipWithError("a send failed");
        break;
      }
      lengths.push_back(link->senderTimer.lastCycleMs());
      received += drain(peer);
    }
    cpu = threadCpuSeconds() - cpuStart;
    wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    link->linkRunning = false;
    sender.end();
  }
  platform::closeSocket(peer);
  platform::stopSockets();

  bench::reportCycleLengths(state, lengths);
  state.counters["datagrams"] = received;
  if (wall > 0.0) state.counters["cpu_percent"] = 100.0 * cpu / wall;
}
BENCHMARK(BM_MulticastSenderCycleLengths)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
