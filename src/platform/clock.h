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

// Sleeps until the performance counter reaches target, as precisely as the
// system allows: Linux an absolute clock_nanosleep with the calling thread's
// timer slack at 1 us; Windows a high-resolution waitable timer. False at
// once, without sleeping, where the system offers none, or when the
// environment asks for full-spin pacing (KINEVRA_PACING=spin).
bool sleepUntilCounter(std::int64_t target);
// True when the calling thread's timed waits (condition variables, sleeps)
// end within microseconds of their deadline (Linux, after setting the
// thread's timer slack to 1 us); false on Windows, whose timed waits count
// whole milliseconds, and with KINEVRA_PACING=spin.
bool preciseTimedWaits();

}  // namespace kinevra::platform
