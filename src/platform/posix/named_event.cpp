#include "platform/named_event.h"

#include <cerrno>

namespace kinevra::platform {

namespace {
// Stands for "open" where the system has no object to hold.
char openMarker;
}  // namespace

bool NamedEvent::openExisting(std::string_view name) {
  close();
  if (name.empty()) {
    lastError_ = EINVAL;
    return false;
  }
  handle_ = &openMarker;
  return true;
}

bool NamedEvent::create(std::string_view name) { return openExisting(name); }

void NamedEvent::close() { handle_ = nullptr; }

}  // namespace kinevra::platform
