#include "platform/registry.h"

namespace kinevra::platform {

bool readUserRegistryString(const char*, const char*, std::size_t, std::string* value) {
  if (value) value->clear();
  return false;
}

}  // namespace kinevra::platform
