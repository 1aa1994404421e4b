// The serial bridge: the host's message calls and the engine's hand-over on
// their own, and the length of the bridge's real cycles (what
// getOutputTimeFrame reports) with rigsim as the controller on a
// pseudo-terminal, while the engine hands over a rig message every cycle and
// the host sends a message every tenth.
#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "cycle_lengths.h"
#include "link/engine_output.h"
#include "link/host_bridge.h"
#include "link/message_routing.h"
#include "link/serial_frame.h"
#include "platform/pseudo_terminal.h"
#include "rig_double.h"

namespace {

using namespace kinevra;

std::array<std::uint8_t, 512> hostMessage() {
  std::array<std::uint8_t, 512> m{};
  m[0] = m[1] = 0xF8;
  m[36] = kLf;
  m[37] = kCr;
  return m;
}

std::array<std::uint8_t, 36> rigMessage() {
  std::array<std::uint8_t, 36> m{};
  m[0] = m[1] = 0xFC;
  m[34] = kLf;
  m[35] = kCr;
  return m;
}

// A host message routed to the serial queue and taken back by the sender.
void BM_SendMessageAndTake(benchmark::State& state) {
  auto link = std::make_unique<LinkState>();
  link->bridgeRunning = true;
  link->serialDataValid = true;
  const auto m = hostMessage();
  Message out;
  out.reserve(kMaxMessageBytes);
  for (auto _ : state) {
    benchmark::DoNotOptimize(sendMessagemmf(*link, m.data()));
    link->serialTxQueue.take(out);
  }
}
BENCHMARK(BM_SendMessageAndTake);

// The engine's hand-over of one rig message (both slots while neither link
// has valid frames) and the senders taking it.
void BM_EngineOutputHandOver(benchmark::State& state) {
  auto link = std::make_unique<LinkState>();
  link->bridgeRunning = true;
  const auto m = rigMessage();
  Message out;
  out.reserve(kMaxMessageBytes);
  for (auto _ : state) {
    benchmark::DoNotOptimize(queueEngineOutput(*link, m));
    takeSerialEngineOutput(*link, out);
    takeUdpEngineOutput(*link, out);
  }
}
BENCHMARK(BM_EngineOutputHandOver);

// Real bridge cycles: each iteration runs the bridge for 3000 connected
// cycles and reports their lengths in milliseconds.
void BM_BridgeCycleLengths(benchmark::State& state) {
  platform::PseudoTerminal probe;
  if (!probe.open()) {
    state.SkipWithError("no pseudo-terminals");
    return;
  }
  constexpr std::size_t kCycles = 3000;
  test::ComFolder folder;
  test::Rig rig(folder, 5, {"--answers", "1", "--seconds", "600"});
  if (!rig.started()) {
    state.SkipWithError("rigsim did not start");
    return;
  }
  auto link = std::make_unique<LinkState>();
  CSerialPort port;
  test::FakeCatalog catalog;
  catalog.addPort(5);
  SerialDiscovery discovery(*link, port, catalog, systemClock());
  discovery.setStandartPort("COM5");
  HostBridge bridge(*link, port, discovery, systemClock());

  std::vector<double> lengths;
  lengths.reserve(kCycles);
  std::atomic<bool> enough{false};
  const auto host = hostMessage();
  const auto output = rigMessage();
  std::size_t cycle = 0;
  bridge.onCycle = [&] {
    // Playing the engine and the host on the bridge thread keeps the figures
    // free of a third thread's scheduling.
    queueEngineOutput(*link, output);
    if (++cycle % 10 == 0) sendMessagemmf(*link, host.data());
    if (lengths.size() < kCycles) lengths.push_back(bridge.getOutputTimeFrame());
    else enough = true;
  };

  for (auto _ : state) {
    lengths.clear();
    enough = false;
    std::thread t([&] { bridge.startMMFtoSerial_Thread(); });
    while (!link->bridgeRunning) std::this_thread::yield();
    if (bridge.resumeInterface() != 1) {
      bridge.stopMMFtoSerial_Thread();
      t.join();
      state.SkipWithError("the controller was not identified");
      return;
    }
    while (!enough) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    bridge.stopMMFtoSerial_Thread();
    t.join();
  }

  bench::reportCycleLengths(state, lengths);
}
BENCHMARK(BM_BridgeCycleLengths)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
