#include "platform/realtime.h"

#include <windows.h>
#include <mmsystem.h>

#include <cstdlib>
#include <cstring>

namespace kinevra::platform {

bool realtimeAllowed() {
  const char* v = std::getenv("KINEVRA_REALTIME");
  return !(v && std::strcmp(v, "0") == 0);
}

void requestTimerResolution() {
  if (realtimeAllowed()) timeBeginPeriod(1);
}

void raiseProcessPriority() {
  if (realtimeAllowed()) SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS);
}

void raiseThreadPriority() {
  if (realtimeAllowed()) SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
}

}  // namespace kinevra::platform
