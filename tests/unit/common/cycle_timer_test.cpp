// Pacing arithmetic of the 2 ms cycle timer, on a clock that moves only when
// the timer reads or sleeps on it.
#include <gtest/gtest.h>

#include "common/cycle_timer.h"
#include "manual_clock.h"

namespace kinevra {
namespace {

using test::ManualClock;

constexpr std::int64_t kMs = 1000000;

struct TimerFixture : ::testing::Test {
  // Counter reads take no time unless a test busy-waits.
  TimerFixture() { clock.readStepNs = 0; }
  ManualClock clock;  // 10 MHz counter
  CycleTimer timer{clock};
};

TEST_F(TimerFixture, TicksFollowTheCounterFrequency) {
  EXPECT_EQ(timer.ticksPerMs, 10000.0);
  EXPECT_EQ(timer.ticksPerUs, 10.0);
  EXPECT_EQ(timer.window, 200);
  EXPECT_EQ(timer.precise.load(), 1);
}

TEST_F(TimerFixture, RestartMeasuresTheCycleAndAveragesOverTheWindow) {
  timer.restart();
  clock.advanceUs(2000);
  const double before = timer.averageTicks;
  timer.restart();
  EXPECT_EQ(timer.lastTicks.load(), 20000.0);
  EXPECT_DOUBLE_EQ(timer.averageTicks, before + (20000.0 - before) / 200.0);
  EXPECT_DOUBLE_EQ(timer.lastCycleMs(), 2.0);
}

TEST_F(TimerFixture, BusyWaitAfterLongWorkOnlySpinsToTwoMilliseconds) {
  clock.readStepNs = 1000;  // 1 us per counter read
  timer.restart();
  clock.advanceUs(1300);  // tail sleep of the last pass plus 0.3 ms of work
  timer.wait(0.0);
  EXPECT_TRUE(clock.sleepsNs.empty());
  EXPECT_GT(timer.elapsedUs, 2000.0);
  EXPECT_LE(timer.elapsedUs, 2001.0);
  EXPECT_NEAR(timer.lastTicks.load() / timer.ticksPerUs, 2000.0, 3.0);
}

// Where the system sleeps precisely, busy-wait pacing sleeps until 200 us
// before the cycle's end and spins only that last stretch, whatever the work
// took; a cycle already past that point only spins.
TEST_F(TimerFixture, BusyWaitWithPreciseSleepSpinsOnlyTheLastStretch) {
  clock.readStepNs = 1000;
  clock.preciseSleep = true;
  for (double workUs : {300.0, 1300.0, 1790.0}) {
    timer.restart();
    clock.counterSleeps.clear();
    clock.advanceUs(workUs);
    const std::int64_t before = clock.nowNs();
    const std::int64_t start = timer.mark;
    timer.wait(0.0);
    EXPECT_TRUE(clock.sleepsNs.empty()) << workUs;
    ASSERT_EQ(clock.counterSleeps.size(), 1u) << workUs;
    EXPECT_EQ(clock.counterSleeps[0], start + 18000) << workUs;  // 1800 us on the 10 MHz counter
    // About 200 reads of 1 us: the spin of the last stretch only.
    const double spunUs = (clock.nowNs() - before) / 1000.0 - (1800.0 - workUs);
    EXPECT_NEAR(spunUs, 200.0, 5.0) << workUs;
    EXPECT_GT(timer.elapsedUs, 2000.0);
    EXPECT_LE(timer.elapsedUs, 2001.0);
  }
  timer.restart();
  clock.counterSleeps.clear();
  clock.advanceUs(1900.0);
  timer.wait(0.0);
  EXPECT_TRUE(clock.counterSleeps.empty());
  EXPECT_GT(timer.elapsedUs, 2000.0);
}

TEST_F(TimerFixture, BusyWaitAfterShortWorkSleepsOneMillisecondFirst) {
  clock.readStepNs = 1000;
  timer.restart();
  clock.advanceUs(300);
  timer.wait(0.0);
  ASSERT_EQ(clock.sleepsNs.size(), 1u);
  EXPECT_EQ(clock.sleepsNs[0], 1 * kMs);
  EXPECT_GT(timer.elapsedUs, 2000.0);
  EXPECT_LE(timer.elapsedUs, 2001.0);
}

TEST_F(TimerFixture, BusyWaitPastTwoMillisecondsDoesNotWait) {
  timer.restart();
  clock.advanceUs(2500);
  timer.wait(0.0);
  EXPECT_TRUE(clock.sleepsNs.empty());
  EXPECT_DOUBLE_EQ(timer.elapsedUs, 2500.0);
}

// Sleep pacing: whole-millisecond sleeps chosen by the elapsed time plus the
// debt, and the debt moved by the measured total minus 2000 us.
struct SleepCase {
  double workUs;
  std::int64_t sleepMs;  // 0: no sleep
};

class SleepPacing : public TimerFixture, public ::testing::WithParamInterface<SleepCase> {};

TEST_P(SleepPacing, SleepsByElapsedTimeAndCarriesTheDebt) {
  const SleepCase c = GetParam();
  timer.precise.store(0);
  timer.restart();
  clock.advanceUs(c.workUs);
  timer.pace();
  if (c.sleepMs == 0) {
    EXPECT_TRUE(clock.sleepsNs.empty());
  } else {
    ASSERT_EQ(clock.sleepsNs.size(), 1u);
    EXPECT_EQ(clock.sleepsNs[0], c.sleepMs * kMs);
  }
  const double total = c.workUs + static_cast<double>(c.sleepMs) * 1000.0;
  EXPECT_DOUBLE_EQ(timer.debtUs, total - 2000.0);
  EXPECT_DOUBLE_EQ(timer.elapsedUs, static_cast<int>(c.workUs));
}

INSTANTIATE_TEST_SUITE_P(Cycles, SleepPacing,
                         ::testing::Values(SleepCase{400, 2}, SleepCase{499.9, 2}, SleepCase{500, 1},
                                           SleepCase{700, 1}, SleepCase{999, 1}, SleepCase{1000, 0},
                                           SleepCase{1200, 0}));

TEST_F(TimerFixture, SleepPacingKeepsTheMeanPeriodAtTwoMilliseconds) {
  timer.precise.store(0);
  timer.restart();
  const std::int64_t start = clock.nowNs();
  const int cycles = 1000;
  for (int i = 0; i < cycles; ++i) {
    clock.advanceUs(1000 + 37 * (i % 7));  // tail sleep plus varying work
    timer.pace();
  }
  const double meanUs = static_cast<double>(clock.nowNs() - start) / 1000.0 / cycles;
  EXPECT_NEAR(meanUs, 2000.0, 2.0);
}

TEST_F(TimerFixture, DebtAfterAStallIsBoundedAndTheArithmeticStaysDefined) {
  timer.precise.store(0);
  timer.restart();
  clock.advanceUs(3.0e9);  // the machine slept for almost an hour
  timer.pace();
  EXPECT_EQ(timer.debtUs, CycleTimer::kMaxDebtUs);
  EXPECT_EQ(timer.elapsedUs, 2147483647.0);
  // Catching up takes a bounded number of fast cycles, then pacing resumes.
  int fast = 0;
  for (int i = 0; i < 1000 && clock.sleepsNs.empty(); ++i) {
    clock.advanceUs(1000);
    timer.pace();
    ++fast;
  }
  EXPECT_LE(fast, 102);
  EXPECT_FALSE(clock.sleepsNs.empty());
}

}  // namespace
}  // namespace kinevra

namespace kinevra {
namespace {

TEST(CycleTimerStart, FirstCycleIsMeasuredFromConstruction) {
  test::ManualClock clock;
  clock.readStepNs = 0;
  clock.advanceUs(3.6e9);  // the counter has run for an hour
  CycleTimer timer(clock);
  clock.advanceUs(500);
  timer.restart();
  EXPECT_DOUBLE_EQ(timer.lastCycleMs(), 0.5);
}

}  // namespace
}  // namespace kinevra
