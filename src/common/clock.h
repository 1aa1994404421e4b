#pragma once
// The clock the real-time loops read and sleep on. The system clock is the
// real thing; tests put a manual clock in its place so that the loops' timing
// arithmetic can be checked without waiting real time.
#include <cstdint>

namespace kinevra {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::int64_t counter() = 0;    // performance-counter reading
  virtual std::int64_t frequency() = 0;  // counter ticks per second
  virtual std::int64_t steadyNs() = 0;   // steady clock, nanoseconds
  // Sleeps whole milliseconds until the steady clock reaches targetNs.
  virtual void sleepUntil(std::int64_t targetNs) = 0;
  // Sleeps as precisely as the system allows until the counter reaches
  // target; false, without sleeping, where there is no such sleep.
  virtual bool sleepUntilCounter(std::int64_t target) { return false; }
  // True when the calling thread's timed waits end within microseconds of
  // their deadline (see platform/clock.h).
  virtual bool preciseTimedWaits() { return false; }

  // Sleeps until steady now + ms.
  void sleepMs(int ms) { sleepUntil(steadyNs() + static_cast<std::int64_t>(ms) * 1000000); }
};

// The process's real clock (performance counter and steady clock).
Clock& systemClock();

}  // namespace kinevra
