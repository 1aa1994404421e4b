#include "platform/local_time.h"

#include <time.h>

namespace kinevra::platform {

std::tm localTime(std::time_t t) {
  std::tm out{};
  if (!::localtime_r(&t, &out)) out = std::tm{};
  return out;
}

}  // namespace kinevra::platform
