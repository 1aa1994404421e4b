#include "platform/thread_name.h"

#include <windows.h>

#include <string>

namespace kinevra::platform {

void nameThisThread(const char* name) {
  if (!name) return;
  // SetThreadDescription came with Windows 10 1607: looked up, not linked.
  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return;
  const auto set = reinterpret_cast<SetDescription>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadDescription")));
  if (!set) return;
  const std::wstring wide(name, name + std::char_traits<char>::length(name));  // the names are ASCII
  set(GetCurrentThread(), wide.c_str());
}

}  // namespace kinevra::platform
