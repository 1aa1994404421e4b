#include "platform/clock.h"

#include <sys/prctl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace kinevra::platform {

namespace {
std::int64_t monotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}
}  // namespace

std::int64_t performanceCounter() { return monotonicNs(); }
std::int64_t performanceFrequency() { return 1000000000LL; }
std::int64_t steadyNowNs() { return monotonicNs(); }

void sleepUntilSteady(std::int64_t targetNs) {
  for (;;) {
    const std::int64_t left = targetNs - monotonicNs();
    if (left <= 0) return;
    // Whole milliseconds, rounded up, as a 1 ms timer resolution would give.
    const std::int64_t ms = (left + 999999) / 1000000;
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>((ms % 1000) * 1000000)};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
  }
}

bool preciseTimedWaits() {
  static const bool spinOnly = [] {
    const char* v = std::getenv("KINEVRA_PACING");
    return v && std::strcmp(v, "spin") == 0;
  }();
  if (spinOnly) return false;
  // The default slack of 50 us would be most of the spin that follows a wait.
  thread_local const bool slackSet = prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL) == 0;
  (void)slackSet;
  return true;
}

bool sleepUntilCounter(std::int64_t target) {
  if (!preciseTimedWaits()) return false;
  const timespec ts{static_cast<time_t>(target / 1000000000LL), static_cast<long>(target % 1000000000LL)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
  return true;
}

}  // namespace kinevra::platform
