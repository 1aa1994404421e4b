#include "platform/clock.h"

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace kinevra::platform {

std::int64_t performanceCounter() {
  LARGE_INTEGER v;
  QueryPerformanceCounter(&v);
  return v.QuadPart;
}

std::int64_t performanceFrequency() {
  static const std::int64_t f = [] {
    LARGE_INTEGER v;
    QueryPerformanceFrequency(&v);
    return v.QuadPart;
  }();
  return f;
}

std::int64_t steadyNowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void sleepUntilSteady(std::int64_t targetNs) {
  for (;;) {
    const std::int64_t left = targetNs - steadyNowNs();
    if (left <= 0) return;
    Sleep(static_cast<DWORD>((left + 999999) / 1000000));
  }
}

namespace {
// One high-resolution waitable timer per thread that paces, closed with the
// thread. Null where the system has none (before Windows 10 1803).
struct ThreadTimer {
  HANDLE handle = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
  ~ThreadTimer() {
    if (handle) CloseHandle(handle);
  }
};
}  // namespace

bool preciseTimedWaits() { return false; }

bool sleepUntilCounter(std::int64_t target) {
  static const bool spinOnly = [] {
    const char* v = std::getenv("KINEVRA_PACING");
    return v && std::strcmp(v, "spin") == 0;
  }();
  if (spinOnly) return false;
  thread_local ThreadTimer timer;
  if (!timer.handle) return false;
  const std::int64_t left = target - performanceCounter();
  if (left <= 0) return true;
  // Relative due time in 100 ns units (negative: relative).
  LARGE_INTEGER due;
  due.QuadPart = -static_cast<LONGLONG>(left * 10000000LL / performanceFrequency());
  if (due.QuadPart == 0) return true;
  if (!SetWaitableTimer(timer.handle, &due, 0, nullptr, nullptr, FALSE)) return false;
  WaitForSingleObject(timer.handle, INFINITE);
  return true;
}

}  // namespace kinevra::platform
