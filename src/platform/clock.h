#pragma once
// Time sources of the engine: the performance counter, the monotonic (steady)
// clock, and sleeping until a point on the steady clock.
#include <cstdint>

namespace kinevra::platform {

// High-resolution counter (QueryPerformanceCounter; CLOCK_MONOTONIC in ns on Linux).
std::int64_t performanceCounter();
// Counter ticks per second; constant for the life of the process.
std::int64_t performanceFrequency();

// Monotonic clock in nanoseconds.
std::int64_t steadyNowNs();
// Sleeps in whole milliseconds, rounded up, until the steady clock reaches targetNs.
void sleepUntilSteady(std::int64_t targetNs);

}  // namespace kinevra::platform
