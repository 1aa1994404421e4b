// Cost of the engine's own work in one motion cycle (read through a scripted
// game, stale check, fade), without pacing.
#include <benchmark/benchmark.h>

#include "common/cycle_timer.h"
#include "engine/gamesource.h"
#include "manual_clock.h"

namespace {

using kinevra::Gamesource;
using kinevra::test::ManualClock;
using kinevra::test::ScriptedLink;

void BM_MotionCycleSpine(benchmark::State& state) {
  ManualClock clock;
  ScriptedLink link;
  Gamesource engine(clock, &link);
  engine.threadStartup();
  engine.loopPass();
  engine.setMotionSystemReady(1);
  engine.timer.precise.store(0);  // sleep pacing: the manual clock jumps, nothing spins
  double v = 0.0;
  link.onRead = [&] { engine.sources.frame.gameData[10] = (v += 0.001); };
  for (auto _ : state) {
    engine.loopPass();
    if (engine.fade.load() >= 1.0) engine.resetFade();  // keep the fade arithmetic running
  }
}
BENCHMARK(BM_MotionCycleSpine);

void BM_CycleTimerRestart(benchmark::State& state) {
  kinevra::CycleTimer timer;
  for (auto _ : state) timer.restart();
}
BENCHMARK(BM_CycleTimerRestart);

}  // namespace
