#pragma once
// Times a reader's telemetry updates: the interval between the last two, in
// milliseconds, and a running mean.
#include <cstdint>

#include "common/clock.h"

namespace kinevra {

class IntervalMeter {
 public:
  explicit IntervalMeter(Clock& clock = systemClock());

  // One step: the interval since the previous step, in milliseconds.
  double step();

  std::int64_t previous = 0;
  std::int64_t current = 0;
  int window = 200;
  double meanTicks = 0.0;
  double lastTicks = 0.0;
  double ticksPerMs = 0.0;
  double ticksPerUs = 0.0;
  int started = 1;

 private:
  Clock* clock_;
};

}  // namespace kinevra
