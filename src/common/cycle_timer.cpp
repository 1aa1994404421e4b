#include "common/cycle_timer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kinevra {

CycleTimer::CycleTimer(Clock& clock) : clock_(&clock) {
  const auto f = static_cast<double>(clock_->frequency());
  ticksPerMs = f / 1000.0;
  ticksPerUs = f / 1000000.0;
  // The first cycle is measured from here, not from the counter's origin
  // (which would report the machine's uptime as a cycle length).
  mark = now = clock_->counter();
}

void CycleTimer::restart() {
  now = clock_->counter();
  const double last = static_cast<double>(now - mark);
  lastTicks.store(last, std::memory_order_relaxed);
  averageTicks += (last - averageTicks) / window;
  mark = clock_->counter();
}

void CycleTimer::resynchronise() {
  mark = now = clock_->counter();
  debtUs = 0.0;
}

void CycleTimer::wait(double) {
  double elapsed = elapsedUsNow();
  if (elapsed < 2000.0 - kSpinLeadUs) {
    if (!clock_->sleepUntilCounter(spinStart()) && elapsed > 0.0 && elapsed < 1000.0) clock_->sleepMs(1);
  }
  // The spin ends by itself: it lasts until 2000 us after the mark at most.
  do {
    now = clock_->counter();
    elapsed = static_cast<double>(now - mark) / ticksPerUs;
  } while (elapsed <= 2000.0);
  restart();
  elapsedUs = elapsed;
}

namespace {
// Truncates toward zero into the int range (a stalled process can measure
// more microseconds than an int holds).
int truncToInt(double v) {
  if (std::isnan(v)) return 0;
  v = std::clamp(v, static_cast<double>(std::numeric_limits<int>::min()),
                 static_cast<double>(std::numeric_limits<int>::max()));
  return static_cast<int>(v);
}
}  // namespace

void CycleTimer::sleepPace() {
  now = clock_->counter();
  const int am = truncToInt(static_cast<double>(now - mark) / ticksPerUs + debtUs);
  if (am < 500)
    clock_->sleepMs(2);
  else if (am < 1000)
    clock_->sleepMs(1);
  now = clock_->counter();
  debtUs += static_cast<double>(now - mark) / ticksPerUs - 2000.0;
  // The debt evens out jitter; it must not make up for a long stall (a
  // suspended machine, a debugger) by running the cycle fast for as long.
  debtUs = std::clamp(debtUs, -kMaxDebtUs, kMaxDebtUs);
  restart();
  elapsedUs = am;
}

}  // namespace kinevra
