#include "platform/clock.h"

#include <windows.h>

#include <chrono>

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

}  // namespace kinevra::platform
