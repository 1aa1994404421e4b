#include "platform/thread_name.h"

#include <pthread.h>

#include <cstring>

namespace kinevra::platform {

void nameThisThread(const char* name) {
  if (!name) return;
  char shortName[16] = {};
  std::strncpy(shortName, name, sizeof shortName - 1);
  pthread_setname_np(pthread_self(), shortName);
}

}  // namespace kinevra::platform
