// Costs of the game sources: what a read costs the 2 ms cycle with nothing
// new (the usual case between a game's updates), one datagram read, the block
// check some readers make every cycle, a read of each kind of shared-memory
// block with new data in it, and one whole detection pass.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string_view>
#include <memory>
#include <vector>

#include "manual_clock.h"
#include "platform/shared_memory.h"
#include "platform/sockets.h"
#include "sources/irsdk_format.h"
#include "sources/shared_memory_readers.h"
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
  // The check "$R3E", "$pcars2$" and the truck plug-in's block make on every
  // cycle, with the name prepared once.
  platform::SharedMemory own;
  own.createOrOpen("Local\\kinevra_bench_block", 4096);
  const platform::SharedMemoryName name("Local\\kinevra_bench_block");
  for (auto _ : state) benchmark::DoNotOptimize(name.exists());
}
BENCHMARK(BM_BlockExistsCheck);

// A block published in this process, as a game would, for one reader.
struct Published {
  platform::SharedMemory memory;
  std::uint8_t* view = nullptr;
  Published(std::string_view name, std::size_t size) {
    memory.createOrOpen(name, size);
    view = static_cast<std::uint8_t*>(memory.mapWrite(size));
  }
  template <class T>
  void put(std::size_t offset, T v) {
    std::memcpy(view + offset, &v, sizeof v);
  }
};

void BM_ReadAcpmfNewPacket(benchmark::State& state) {
  Published page(blocks::kAcpmfPhysics, blocks::kAcpmfPhysicsSize);
  AcpmfReader reader(16, systemClock(), false);
  reader.attach();
  double g[47] = {};
  std::int32_t packet = 0;
  for (auto _ : state) {
    page.put(0, ++packet);
    benchmark::DoNotOptimize(reader.update(g));
  }
}
BENCHMARK(BM_ReadAcpmfNewPacket);

void BM_ReadPcars2Playing(benchmark::State& state) {
  // State check, the block's existence, one copy of the fields: every cycle.
  Published block(blocks::kPcars2, blocks::kPcars2Size);
  block.put<std::int32_t>(8, 2);
  TelemetrySources sources;
  sources.gameFlags[9].store(1);
  sources.attachGame();
  for (auto _ : state) benchmark::DoNotOptimize(sources.readGameData());
  sources.detachGame();
}
BENCHMARK(BM_ReadPcars2Playing);

void BM_ReadIrsdkNewLine(benchmark::State& state) {
  // Header checks, the newest of three buffers, a 600-byte line copied and
  // nine variables looked up among 300 headers.
  constexpr std::size_t kVars = 300, kHeaders = 1024, kLines = kHeaders + kVars * 144, kLine = 1200;
  Published block(blocks::kIrsdk, kLines + 3 * kLine);
  block.put<std::int32_t>(irsdk::kStatus, 1);
  block.put<std::int32_t>(irsdk::kNumVars, static_cast<std::int32_t>(kVars));
  block.put<std::int32_t>(irsdk::kVarHeaderOffset, static_cast<std::int32_t>(kHeaders));
  block.put<std::int32_t>(irsdk::kNumBuf, 3);
  block.put<std::int32_t>(irsdk::kBufLen, static_cast<std::int32_t>(kLine));
  const char* ours[] = {"LatAccel", "LongAccel", "VertAccel", "YawRate", "RollRate", "PitchRate", "Yaw", "Roll", "Pitch"};
  for (std::size_t i = 0; i < kVars; ++i) {
    const std::size_t at = kHeaders + i * 144;
    block.put<std::int32_t>(at, irsdk::kFloatType);
    block.put<std::int32_t>(at + 4, static_cast<std::int32_t>(4 * i));
    char name[32] = {};
    if (i >= kVars - 9)
      std::strncpy(name, ours[i - (kVars - 9)], sizeof name - 1);  // the engine's variables come last
    else
      std::snprintf(name, sizeof name, "Var%zu", i);
    std::memcpy(block.view + at + 16, name, sizeof name);
  }
  for (int b = 0; b < 3; ++b) block.put<std::int32_t>(irsdk::kVarBuf + 16 * b + 4, static_cast<std::int32_t>(kLines + kLine * b));
  IrsdkReader reader(systemClock());
  reader.startUp();
  reader.attached = true;
  double g[47] = {};
  std::int32_t tick = 1;
  for (auto _ : state) {
    ++tick;
    block.put<std::int32_t>(irsdk::kVarBuf + 16 * (tick % 3), tick);
    benchmark::DoNotOptimize(reader.update(g));
  }
}
BENCHMARK(BM_ReadIrsdkNewLine);

void BM_DetectionPassNothingRunning(benchmark::State& state) {
  // The 10 ms pauses are skipped (manual clock); the probes' waits are real.
  test::ManualClock clock;
  TelemetrySources sources(clock);
  for (auto _ : state) benchmark::DoNotOptimize(sources.detectGame());
}
BENCHMARK(BM_DetectionPassNothingRunning)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
