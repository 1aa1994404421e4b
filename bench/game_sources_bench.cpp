// Costs of the game sources: what a read costs the 2 ms cycle with nothing
// new (the usual case between a game's updates), one datagram read, the block
// check some readers make every cycle, and one whole detection pass.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "manual_clock.h"
#include "platform/shared_memory.h"
#include "platform/sockets.h"
#include "sources/telemetry_sources.h"
#include "sources/udp_reader.h"
#include "temp_folder.h"

namespace {

using namespace kinevra;

// The readers' socket log lines go to a scratch folder, not the user's Documents.
test::TempFolder& scratch() {
  static test::TempFolder folder;
  return folder;
}
const bool kIsolated = [] {
  test::setEnvironment("XDG_DOCUMENTS_DIR", scratch().str().c_str());
  return true;
}();

// Takes every datagram as telemetry (a stand-in for a game's format).
class TakingReader final : public UdpReader {
 public:
  explicit TakingReader(Clock& clock) : UdpReader(13, clock, udpReaderSetup(13)) {}

 protected:
  bool convert(const std::uint8_t* d, std::size_t, double* g) override {
    float v;
    std::memcpy(&v, d + 4, 4);
    g[26] = v;
    return true;
  }
};

struct AttachedLfs {
  TelemetrySources sources;
  AttachedLfs() {
    sources.setReader(13, std::make_unique<TakingReader>(systemClock()));
    sources.gameFlags[13].store(1);
    sources.attachGame();
  }
  ~AttachedLfs() { sources.detachGame(); }
};

void BM_ReadGameDataNothingQueued(benchmark::State& state) {
  AttachedLfs lfs;
  for (auto _ : state) benchmark::DoNotOptimize(lfs.sources.readGameData());
}
BENCHMARK(BM_ReadGameDataNothingQueued);

void BM_ReadGameDataOneDatagram(benchmark::State& state) {
  AttachedLfs lfs;
  platform::startSockets();
  const platform::SocketHandle tx = platform::openDatagramSocket();
  std::vector<std::uint8_t> packet(280, 0);
  std::memcpy(packet.data(), "LFST", 4);
  const platform::Ipv4Endpoint to{platform::kLoopbackAddress, 4123};
  for (auto _ : state) {
    state.PauseTiming();
    platform::sendTo(tx, packet.data(), packet.size(), to);
    state.ResumeTiming();
    int r = 0;
    while (r == 0) r = lfs.sources.readGameData();  // until the datagram has crossed loopback
    benchmark::DoNotOptimize(r);
  }
  platform::closeSocket(tx);
  platform::stopSockets();
}
BENCHMARK(BM_ReadGameDataOneDatagram);

void BM_BlockExistsCheck(benchmark::State& state) {
  // The check "$R3E" and "$pcars2$" make on every cycle.
  platform::SharedMemory own;
  own.createOrOpen("Local\\kinevra_bench_block", 4096);
  for (auto _ : state) benchmark::DoNotOptimize(platform::SharedMemory::exists("Local\\kinevra_bench_block"));
}
BENCHMARK(BM_BlockExistsCheck);

void BM_DetectionPassNothingRunning(benchmark::State& state) {
  // The 10 ms pauses are skipped (manual clock); the probes' waits are real.
  test::ManualClock clock;
  TelemetrySources sources(clock);
  for (auto _ : state) benchmark::DoNotOptimize(sources.detectGame());
}
BENCHMARK(BM_DetectionPassNothingRunning)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
