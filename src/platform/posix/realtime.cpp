#include "platform/realtime.h"

#include <pthread.h>
#include <sched.h>

#include <cstdlib>
#include <cstring>

namespace kinevra::platform {

bool realtimeAllowed() {
  const char* v = std::getenv("KINEVRA_REALTIME");
  return !(v && std::strcmp(v, "0") == 0);
}

// Linux timers are already fine-grained.
void requestTimerResolution() {}

// There is no process-wide priority class; each loop raises its own thread.
void raiseProcessPriority() {}

void raiseThreadPriority() {
  if (!realtimeAllowed()) return;
  // A moderate FIFO priority: above ordinary work, below the kernel's own
  // real-time threads. The loops sleep at least 1 ms each pass, so they never
  // starve the machine. Without the privilege this fails, and that is fine.
  sched_param p{};
  p.sched_priority = 10;
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &p);
}

}  // namespace kinevra::platform
