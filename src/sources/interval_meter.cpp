#include "sources/interval_meter.h"

namespace kinevra {

IntervalMeter::IntervalMeter(Clock& clock) : clock_(&clock) {
  const auto f = static_cast<double>(clock_->frequency());
  ticksPerMs = f / 1000.0;
  ticksPerUs = f / 1000000.0;
  previous = clock_->counter();
}

double IntervalMeter::step() {
  current = clock_->counter();
  lastTicks = static_cast<double>(current - previous);
  meanTicks += (lastTicks - meanTicks) / window;
  previous = clock_->counter();
  return lastTicks / ticksPerMs;
}

}  // namespace kinevra
