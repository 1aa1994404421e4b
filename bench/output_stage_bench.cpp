// Cost of the output stage in a motion cycle: the rig message, its hand-over
// to the controller link, the pose block and the snapshot lists. Whole
// cycles (scripted game, default chains, no pacing) with the output sent,
// with motion cancel on as well, and with the output suspended; the
// differences are the output stage's share.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "engine/gamesource.h"
#include "link/engine_output.h"
#include "link/link_state.h"
#include "manual_clock.h"

namespace {

using namespace kinevra;

enum class Output { Suspended, Sent, SentWithPose };

void runCycles(benchmark::State& state, Output mode) {
  test::ManualClock clock;
  test::ScriptedLink link;
  auto controller = std::make_unique<LinkState>(clock);
  controller->bridgeRunning = true;
  auto engine = std::make_unique<Gamesource>(clock, &link, controller.get());
  engine->poseMappingName = "Local\\motionRigPose-bench-" + std::to_string(clock.nowNs());
  for (int ch = 0; ch < 6; ++ch) engine->setRigDofLimit(ch, -1.0, 1.0);
  for (unsigned ch = 0; ch < 8; ++ch) engine->setInputDofLimit(ch, -10.0, 10.0);
  engine->threadStartup();
  engine->loopPass();
  engine->setMotionSystemReady(1);
  engine->timer.precise.store(0);  // sleep pacing: the manual clock jumps, nothing spins
  if (mode == Output::SentWithPose) engine->activateMotionCancel(true);
  double v = 0.0;
  link.onRead = [&] {
    v += 0.001;
    for (int k = 5; k < 32; ++k) engine->sources.frame.gameData[k] = v * k;
  };
  Message sent;
  sent.reserve(kMaxMessageBytes);
  for (auto _ : state) {
    if (mode == Output::Suspended) engine->outputSuspended = true;
    engine->loopPass();
    takeSerialEngineOutput(*controller, sent);  // as the bridge takes it
  }
  engine->activateMotionCancel(false);
}

void BM_CycleOutputSuspended(benchmark::State& state) { runCycles(state, Output::Suspended); }
void BM_CycleWithOutput(benchmark::State& state) { runCycles(state, Output::Sent); }
void BM_CycleWithOutputAndPose(benchmark::State& state) { runCycles(state, Output::SentWithPose); }
BENCHMARK(BM_CycleOutputSuspended);
BENCHMARK(BM_CycleWithOutput);
BENCHMARK(BM_CycleWithOutputAndPose);

// Draining a full snapshot list on a host thread (the Get export's work,
// allocation of the block included).
void BM_TakeFullCalculationSnapshots(benchmark::State& state) {
  test::ManualClock clock;
  test::ScriptedLink link;
  auto engine = std::make_unique<Gamesource>(clock, &link);
  SnapshotList<kChannelCount>::Record record{};
  for (auto _ : state) {
    state.PauseTiming();
    for (std::size_t i = 0; i < kMaxSnapshots; ++i) {
      record[0] = static_cast<double>(i);
      std::lock_guard<std::mutex> hold(engine->calcLock);
      engine->calcSnapshots.push(record);
    }
    state.ResumeTiming();
    int count = 0;
    const double* block = engine->takeCalculationSnapshots(&count);
    benchmark::DoNotOptimize(block);
    Gamesource::freeSnapshots(block);
  }
}
BENCHMARK(BM_TakeFullCalculationSnapshots);

}  // namespace
