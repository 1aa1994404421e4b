#include "platform/process.h"

#include <windows.h>
#include <tlhelp32.h>

#include <string>

namespace kinevra::platform {

bool isProcessRunning(std::string_view exeName) {
  if (exeName.empty()) return false;
  std::wstring wanted;
  wanted.reserve(exeName.size());
  for (char c : exeName) wanted.push_back(static_cast<unsigned char>(c));  // names are ASCII

  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL ok = Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry)) {
    if (wanted == entry.szExeFile) {  // exact, the terminating NUL included
      found = true;
      break;
    }
  }
  CloseHandle(snap);
  return found;
}

}  // namespace kinevra::platform
