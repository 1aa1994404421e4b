#include "platform/named_event.h"

#include <windows.h>

#include <string>

namespace kinevra::platform {

namespace {
std::wstring wide(std::string_view s) {
  std::wstring w;
  for (char c : s) w.push_back(static_cast<unsigned char>(c));  // names are ASCII
  return w;
}
}  // namespace

bool NamedEvent::openExisting(std::string_view name) {
  close();
  if (name.empty()) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return false;
  }
  HANDLE h = OpenEventW(SYNCHRONIZE, FALSE, wide(name).c_str());
  if (!h) {
    lastError_ = GetLastError();
    return false;
  }
  handle_ = h;
  return true;
}

bool NamedEvent::create(std::string_view name) {
  close();
  if (name.empty()) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return false;
  }
  HANDLE h = CreateEventW(nullptr, TRUE, FALSE, wide(name).c_str());
  if (!h) {
    lastError_ = GetLastError();
    return false;
  }
  handle_ = h;
  return true;
}

void NamedEvent::close() {
  if (handle_ && !CloseHandle(static_cast<HANDLE>(handle_))) lastError_ = GetLastError();
  handle_ = nullptr;
}

}  // namespace kinevra::platform
