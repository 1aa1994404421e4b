#pragma once
// The 2 ms pacing timer of the real-time loops (game-source thread, serial
// bridge, multicast sender). Two modes: busy-wait pacing (precise != 0) and
// sleep pacing with a carried time debt (precise == 0).
#include <atomic>
#include <cstdint>

#include "common/clock.h"

namespace kinevra {

class CycleTimer {
 public:
  // Bound of the carried debt of sleep pacing, in microseconds.
  static constexpr double kMaxDebtUs = 100000.0;

  explicit CycleTimer(Clock& clock = systemClock());

  // Ends the current cycle and starts the next: notes its length in lastTicks,
  // folds it into the running average and sets a new mark.
  void restart();
  // Starts timing afresh after the loop waited: the current cycle is measured
  // from now, and the debt of sleep pacing is dropped. The last cycle's length
  // and the running average stay what they were.
  void resynchronise();
  // Busy-wait pacing: tops the cycle up to just over 2000 us. Where the clock
  // sleeps precisely, it sleeps until kSpinLeadUs before the end and spins
  // only that last stretch; elsewhere (and with KINEVRA_PACING=spin) it rests
  // 1 ms while less than 1000 us have passed and spins the rest. The argument
  // is not used.
  void wait(double unused = 0.0);
  // What the precise sleep of busy-wait pacing leaves to the spin.
  static constexpr double kSpinLeadUs = 200.0;
  // Sleep pacing: whole-millisecond sleeps, carrying the excess or shortfall
  // over 2000 us into the next cycle.
  void sleepPace();
  // Paces by the selected mode.
  void pace() {
    if (precise.load(std::memory_order_relaxed) != 0)
      wait(0.0);
    else
      sleepPace();
  }

  // The counter reading kSpinLeadUs before the cycle's end, where the precise
  // sleep of busy-wait pacing wakes up.
  std::int64_t spinStart() const {
    return mark + static_cast<std::int64_t>((2000.0 - kSpinLeadUs) * ticksPerUs);
  }
  // The rest of a loop that stays awake for messages while it rests (the
  // serial bridge and the multicast sender forward the engine's newest one as
  // it arrives) before its spin past 2000 us: how many microseconds from now,
  // negative for none. Where timed waits are precise it lasts until the spin's
  // last stretch; elsewhere 1000 us while less than 1000 us have passed.
  double restBeforeSpinUs(bool preciseTimedWaits) {
    const double elapsed = elapsedUsNow();
    if (preciseTimedWaits) {
      const double end = 2000.0 - kSpinLeadUs;
      return elapsed < end ? end - (elapsed > 0.0 ? elapsed : 0.0) : -1.0;
    }
    return elapsed > 0.0 && elapsed < 1000.0 ? 1000.0 : -1.0;
  }
  // Microseconds since the mark.
  double elapsedUsNow() { return static_cast<double>(clock_->counter() - mark) / ticksPerUs; }
  // Length of the last cycle in milliseconds.
  double lastCycleMs() const { return lastTicks.load(std::memory_order_relaxed) / ticksPerMs; }

  std::int64_t mark = 0;
  std::int64_t now = 0;
  std::int32_t window = 200;
  double debtUs = 0.0;
  double averageTicks = 0.0;
  double elapsedUs = 0.0;
  std::atomic<double> lastTicks{0.0};  // read by host threads
  double ticksPerMs = 0.0;
  double ticksPerUs = 0.0;
  std::atomic<std::int32_t> precise{1};  // written by host threads

 private:
  Clock* clock_;
};

}  // namespace kinevra
