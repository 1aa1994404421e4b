#pragma once
// A named event another program publishes (the iRacing SDK's data-valid
// event). The library only needs to hold it open, never to wait on it.
#include <string_view>

namespace kinevra::platform {

class NamedEvent {
 public:
  NamedEvent() = default;
  ~NamedEvent() { close(); }
  NamedEvent(const NamedEvent&) = delete;
  NamedEvent& operator=(const NamedEvent&) = delete;

  // Opens an existing event with synchronize access (OpenEventW). Linux has
  // no named events: there the open succeeds without holding anything, and
  // the block published beside the event decides whether the game is there.
  bool openExisting(std::string_view name);
  // Creates the event (manual reset, not signalled) or opens it when it
  // exists (CreateEventW), as a game does. Linux: as openExisting.
  bool create(std::string_view name);
  void close();
  bool isOpen() const { return handle_ != nullptr; }
  unsigned long lastError() const { return lastError_; }

 private:
  void* handle_ = nullptr;
  unsigned long lastError_ = 0;
};

}  // namespace kinevra::platform
