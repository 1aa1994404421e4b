// The game-source loop stepped by hand on a manual clock with scripted
// telemetry: state changes, the lost-telemetry and stale thresholds, and the
// fade-in.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/gamesource.h"
#include "isolated_documents.h"
#include "manual_clock.h"

namespace kinevra {
namespace {

using test::ManualClock;
using test::ScriptedLink;

struct EngineFixture : ::testing::Test {
  ManualClock clock;
  ScriptedLink link;
  Gamesource engine{clock, &link};
  TelemetryFrame& frame = engine.sources.frame;

  // Start-up, attach on the first pass, motion system ready.
  void attachAndReady() {
    engine.threadStartup();
    engine.loopPass();
    ASSERT_TRUE(engine.attached.load());
    engine.setMotionSystemReady(1);
  }
  // Makes every compared input differ from the last cycle's.
  void moveInputs() {
    for (int i = 4; i < 27; ++i) frame.gameData[i] += 1.0;
  }
};

TEST_F(EngineFixture, ConstructionDefaults) {
  EXPECT_FALSE(engine.running.load());
  EXPECT_FALSE(engine.attached.load());
  EXPECT_TRUE(engine.outputSuspended.load());
  EXPECT_FALSE(engine.motionSystemReady.load());
  EXPECT_EQ(engine.fade.load(), 1.0);
  EXPECT_EQ(engine.fadeDurationMs, 4000.0);
  EXPECT_EQ(engine.transitionStatus(), 100.0);
  EXPECT_EQ(engine.activeProfile.load(), 0);
  EXPECT_EQ(engine.airWeight.load(), 1.0);
  EXPECT_EQ(engine.groundWeight.load(), 0.0);
  EXPECT_EQ(engine.transitionDurationMs, 200.0);
  EXPECT_EQ(engine.timer.precise.load(), 1);
  for (double v : frame.gameData) EXPECT_EQ(v, 0.0);
}

TEST_F(EngineFixture, StartupSearchesAndForcesBusyWaitPacing) {
  engine.timer.precise.store(0);
  engine.fade.store(1.0);
  engine.threadStartup();
  EXPECT_EQ(engine.timer.precise.load(), 1);
  EXPECT_EQ(link.detaches, 1);
  EXPECT_FALSE(engine.attached.load());
  EXPECT_TRUE(engine.outputSuspended.load());
  EXPECT_EQ(engine.fade.load(), 0.0);
}

TEST_F(EngineFixture, SearchingAttachesOnlyWhenDetectAndAttachSucceed) {
  engine.threadStartup();
  link.attach = 0;
  engine.loopPass();
  EXPECT_FALSE(engine.attached.load());
  link.attach = 1;
  link.detect = 0;
  engine.loopPass();
  EXPECT_FALSE(engine.attached.load());
  link.detect = 1;
  engine.loopPass();
  EXPECT_TRUE(engine.attached.load());
  EXPECT_FALSE(engine.outputSuspended.load());  // output enabled again on attach
  EXPECT_EQ(link.reads, 0);
}

TEST_F(EngineFixture, WaitingReadsNothingSoAQuitGameStaysAttached) {
  engine.threadStartup();
  engine.loopPass();
  link.readResult = 0;
  clock.sleepsNs.clear();
  for (int i = 0; i < 5000; ++i) engine.loopPass();
  EXPECT_EQ(link.reads, 0);
  EXPECT_TRUE(engine.attached.load());
  EXPECT_EQ(clock.sleepsNs.size(), 10000u);  // 1 ms + 1 ms per pass
}

TEST_F(EngineFixture, ThousandReadsWithoutDataKeepTheGameAndOneMoreDropsIt) {
  attachAndReady();
  link.readResult = 0;
  for (int i = 0; i < 1000; ++i) engine.loopPass();
  EXPECT_TRUE(engine.attached.load());
  EXPECT_EQ(engine.readFailures, 1000);
  EXPECT_EQ(link.detaches, 1);  // the one at start-up

  const auto sleepsBefore = clock.sleepsNs.size();
  engine.loopPass();
  EXPECT_FALSE(engine.attached.load());
  EXPECT_EQ(link.detaches, 2);
  EXPECT_EQ(engine.readFailures, 0);
  EXPECT_TRUE(engine.outputSuspended.load());
  EXPECT_EQ(clock.sleepsNs.size(), sleepsBefore);  // straight back to searching
}

TEST_F(EngineFixture, NewDataResetsTheFailureCount) {
  attachAndReady();
  link.readResult = 0;
  for (int i = 0; i < 900; ++i) engine.loopPass();
  link.readResult = 1;
  engine.loopPass();
  EXPECT_EQ(engine.readFailures, 0);
  link.readResult = 0;
  for (int i = 0; i < 1000; ++i) engine.loopPass();
  EXPECT_TRUE(engine.attached.load());
}

TEST_F(EngineFixture, StaleInputsFreezeOutputOnlyAfterMoreThan250Cycles) {
  attachAndReady();
  for (int i = 0; i < 250; ++i) engine.loopPass();  // all inputs stay 0
  EXPECT_EQ(engine.staleCycles, 250);

  engine.fade.store(1.0);
  engine.loopPass();  // begins with 250 stale cycles: no reset
  EXPECT_EQ(engine.fade.load(), 1.0);
  EXPECT_EQ(engine.staleCycles, 251);

  engine.fade.store(1.0);
  frame.cue[3] = 0.75;
  engine.loopPass();  // begins with 251: resetFade, outputs held
  EXPECT_LT(engine.fade.load(), 0.01);
  EXPECT_EQ(frame.heldCue[3], 0.75);

  moveInputs();
  engine.loopPass();
  EXPECT_EQ(engine.staleCycles, 0);
}

TEST_F(EngineFixture, NaNInputsNeverCountAsStale) {
  attachAndReady();
  frame.gameData[26] = std::numeric_limits<double>::quiet_NaN();
  for (int i = 0; i < 300; ++i) engine.loopPass();
  EXPECT_EQ(engine.staleCycles, 0);
  EXPECT_TRUE(std::isnan(frame.previousInputs[22]));
}

TEST_F(EngineFixture, OnlyTheFirst23HandedOutValuesAreCompared) {
  attachAndReady();
  for (int i = 0; i < 10; ++i) {
    frame.gameData[3] += 1.0;   // before the compared range
    frame.gameData[27] += 1.0;  // after it
    engine.loopPass();
  }
  EXPECT_EQ(engine.staleCycles, 10);
  frame.gameData[4] = 5.0;
  engine.loopPass();
  EXPECT_EQ(engine.staleCycles, 0);
}

TEST_F(EngineFixture, FadeReachesExactlyOneAfter4000MsOfMeasuredCycles) {
  engine.timer.lastTicks.store(2.0 * engine.timer.ticksPerMs);
  engine.resetFade();
  engine.stepFade();  // that cycle was measured before the restart: it counts nothing
  EXPECT_EQ(engine.fade.load(), 0.0);
  for (int i = 0; i < 1999; ++i) {
    engine.stepFade();
    ASSERT_LT(engine.fade.load(), 1.0);
  }
  engine.stepFade();  // 2000 cycles of 2 ms
  EXPECT_EQ(engine.fade.load(), 1.0);
  EXPECT_EQ(engine.transitionStatus(), 100.0);
  engine.timer.lastTicks.store(3.7 * engine.timer.ticksPerMs);
  engine.stepFade();
  EXPECT_EQ(engine.fade.load(), 1.0);
}

TEST_F(EngineFixture, FadeMovesOutputsLinearlyFromHeldToLiveAndNoCycleCountsMoreThan4Ms) {
  frame.cue[0] = 2.0;
  engine.resetFade();
  EXPECT_EQ(frame.heldCue[0], 2.0);
  engine.stepFade();
  // Cycles of a whole second (a stalled thread) move the fade as 4 ms ones.
  engine.timer.lastTicks.store(1000.0 * engine.timer.ticksPerMs);
  for (double expectedFade : {0.0, 0.25, 0.5, 0.75}) {
    EXPECT_NEAR(engine.fade.load(), expectedFade, 1e-12);
    frame.cue[0] = 10.0;  // the live value the cue computation produced
    engine.stepFade();
    EXPECT_NEAR(frame.cue[0], (10.0 - 2.0) * expectedFade + 2.0, 1e-9);
    for (int i = 1; i < 250; ++i) engine.stepFade();
  }
  EXPECT_EQ(engine.fade.load(), 1.0);
}

// Readiness after a wait of 0.1 s, 0.63 s or 5 s, on either pacing: the fade
// rises from 0 and takes 4 s of motion cycles, however long the engine waited,
// and one stalled cycle of 300 ms in the middle moves it no more than the bound.
struct FadeAfterWait : EngineFixture, ::testing::WithParamInterface<std::tuple<double, int>> {};

TEST_P(FadeAfterWait, RisesFromZeroOverFourSecondsOfCycles) {
  const auto [waitSeconds, precise] = GetParam();
  constexpr double kBound = 4.0 / 4000.0;  // two nominal cycles of the 4 s fade
  clock.readStepNs = 5000;
  engine.threadStartup();
  engine.timer.precise.store(precise);
  moveInputs();
  engine.loopPass();  // attaches
  ASSERT_TRUE(engine.attached.load());
  for (int i = 0; i < 50; ++i) {  // a motion system that was ready, then not
    engine.setMotionSystemReady(1);
    moveInputs();
    engine.loopPass();
  }
  engine.setMotionSystemReady(0);
  const std::int64_t waitStart = clock.nowNs();
  while (clock.nowNs() - waitStart < static_cast<std::int64_t>(waitSeconds * 1e9)) engine.loopPass();

  engine.setMotionSystemReady(1);
  const std::int64_t ready = clock.nowNs();
  bool stalled = false;
  double lastFade = 0.0;
  int cycles = 0;
  while (engine.transitionStatus() < 100.0) {
    ASSERT_LT(cycles, 3000) << "the fade never completed";
    const double elapsedMs = (clock.nowNs() - ready) / 1e6;
    if (!stalled && elapsedMs > 1500.0) {
      link.onRead = [&] {
        clock.advanceUs(300000.0);
        link.onRead = nullptr;
      };
      stalled = true;
    }
    moveInputs();
    engine.loopPass();
    ++cycles;
    const double f = engine.fade.load();
    ASSERT_LE(f - lastFade, kBound + 1e-12) << "cycle " << cycles << " after " << elapsedMs << " ms";
    ASSERT_GE(f, lastFade);
    lastFade = f;
    if (cycles == 1) {
      EXPECT_EQ(f, 0.0);  // the first cycle starts from the held values
      // ... and is timed from its own start, not from the last cycle before the wait.
      EXPECT_LT(engine.timer.lastCycleMs(), 2.5);
    }
    if (cycles == 2 && precise) {
      EXPECT_NEAR(engine.timer.lastCycleMs(), 2.0, 0.1);
    }
  }
  const double totalMs = (clock.nowNs() - ready) / 1e6;
  // 4 s of cycles, plus the 300 ms the stalled one really took, plus a cycle
  // (and the manual clock's 5 us between the two counter reads of a restart,
  // which no cycle is measured for).
  EXPECT_GE(totalMs, 4000.0 + 300.0 - 4.0);
  EXPECT_LE(totalMs, 4000.0 + 300.0 + 10.0 + cycles * 0.005);
  EXPECT_GE(cycles, 1900);
  EXPECT_EQ(engine.fade.load(), 1.0);
}

INSTANTIATE_TEST_SUITE_P(Waits, FadeAfterWait,
                         ::testing::Combine(::testing::Values(0.1, 0.63, 5.0), ::testing::Values(1, 0)));

TEST_F(EngineFixture, AStalledCycleIsReportedAsItWas) {
  clock.readStepNs = 20000;
  attachAndReady();
  for (int i = 0; i < 10; ++i) {
    moveInputs();
    engine.loopPass();
  }
  link.onRead = [&] {
    clock.advanceUs(300000.0);
    link.onRead = nullptr;
  };
  moveInputs();
  engine.loopPass();
  // getMotionDataTimeFrame: the 300 ms stall and the 1 ms rest before it.
  EXPECT_NEAR(engine.timer.lastCycleMs(), 301.0, 1.5);
}

TEST_F(EngineFixture, ReadinessChangesRestartTheFadeOnTheEngineThread) {
  attachAndReady();
  engine.loopPass();  // carries out the fade restart of becoming ready
  engine.fade.store(1.0);
  frame.cue[5] = 1.5;
  engine.setMotionSystemReady(1);  // no change: nothing
  EXPECT_EQ(engine.transitionStatus(), 100.0);
  engine.setMotionSystemReady(7);  // neither 0 nor 1: nothing
  EXPECT_EQ(engine.transitionStatus(), 100.0);
  engine.setMotionSystemReady(0);
  EXPECT_EQ(engine.transitionStatus(), 0.0);  // visible at once
  EXPECT_EQ(engine.fade.load(), 1.0);         // carried out by the thread
  engine.setMotionSystemReady(1);
  moveInputs();
  engine.loopPass();
  EXPECT_LT(engine.fade.load(), 0.01);
  EXPECT_EQ(frame.heldCue[5], 1.5);
}

TEST_F(EngineFixture, LosingTelemetryResetsTheProfileWeights) {
  attachAndReady();
  engine.airWeight.store(0.3);
  engine.groundWeight.store(0.7);
  engine.activeProfile.store(1);
  engine.resetToSearching();
  EXPECT_EQ(engine.airWeight.load(), 1.0);
  EXPECT_EQ(engine.groundWeight.load(), 0.0);
  EXPECT_EQ(engine.activeProfile.load(), 0);
}

TEST_F(EngineFixture, CyclesArePacedToTwoMilliseconds) {
  clock.readStepNs = 1000;
  attachAndReady();
  for (int i = 0; i < 10; ++i) {
    moveInputs();
    engine.loopPass();
  }
  EXPECT_NEAR(engine.timer.lastCycleMs(), 2.0, 0.01);
}

// The real thread on the real clock: start, stop and restart.
TEST(GameSourceThread, StartsOnceStopsAndRestarts) {
  ScriptedLink link;
  link.detect = 0;
  Gamesource engine(systemClock(), &link);
  engine.stopGameSource();  // nothing started: returns at once
  engine.startThread();
  engine.startThread();
  EXPECT_TRUE(engine.running.load());
  engine.stopGameSource();
  EXPECT_FALSE(engine.running.load());
  engine.startThread();
  engine.stopGameSource();
  EXPECT_FALSE(engine.attached.load());
}

}  // namespace
}  // namespace kinevra
