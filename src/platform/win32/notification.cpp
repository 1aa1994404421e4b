#include "platform/notification.h"

#include <windows.h>

namespace kinevra::platform {

bool postWindowMessage(std::uintptr_t window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  return PostMessageA(reinterpret_cast<HWND>(window), message, wParam, lParam) != FALSE;
}

bool signalEvent(std::uintptr_t event) { return SetEvent(reinterpret_cast<HANDLE>(event)) != FALSE; }

bool findHostSimulatorWindow(std::uintptr_t* window) {
  HMODULE main = GetModuleHandleA(nullptr);
  if (!main) return false;
  using GetHwnd = HWND(WINAPI*)();
  using GetPid = DWORD(WINAPI*)();
  auto getHwnd = reinterpret_cast<GetHwnd>(reinterpret_cast<void*>(GetProcAddress(main, "FlightSimGetMainHwnd")));
  auto getPid = reinterpret_cast<GetPid>(reinterpret_cast<void*>(GetProcAddress(main, "FlightSimGetProcessId")));
  if (!getHwnd || !getPid) return false;
  HWND hwnd = getHwnd();
  const DWORD pid = getPid();
  if (!hwnd || !pid || pid != GetCurrentProcessId()) return false;
  if (window) *window = reinterpret_cast<std::uintptr_t>(hwnd);
  return true;
}

std::uintptr_t thisModuleHandle() {
  HMODULE m = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&thisModuleHandle), &m);
  return reinterpret_cast<std::uintptr_t>(m);
}

}  // namespace kinevra::platform
