#include "platform/files.h"

#include <windows.h>

#include <string>

namespace kinevra::platform {

bool createFolder(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool AppendFile::open(const std::string& path) {
  close();
  // Append access only (no FILE_WRITE_DATA): the system then puts every write
  // at the current end of the file in one step. A C runtime stream in append
  // mode seeks and writes separately, and two writers could overwrite each
  // other's lines. Shared for reading, writing and deletion like a CRT stream.
  // (Read access is there for LockFileEx, which wants read or write access.)
  const HANDLE h = CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

void AppendFile::close() {
  if (handle_ == kClosed) return;
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kClosed;
}

bool AppendFile::appendText(std::string_view text) {
  if (handle_ == kClosed) return false;
  // Text-mode line ends, written as one block.
  std::string out;
  out.reserve(text.size() + 8);
  for (const char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  // Writers of the file take turns on one byte far beyond any real file end
  // (locks there never block reading or writing the text). Windows appends
  // whole writes on its own, but Wine positions and writes in two steps, and
  // writers of the same file could otherwise overwrite each other's lines.
  const HANDLE h = reinterpret_cast<HANDLE>(handle_);
  OVERLAPPED turn{};
  turn.OffsetHigh = 0x40000000;  // byte 2^62
  const bool locked = LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn) != 0;
  bool ok = true;
  std::string_view left = out;
  while (!left.empty()) {
    const DWORD chunk = left.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left.size());
    DWORD written = 0;
    if (!WriteFile(h, left.data(), chunk, &written, nullptr) || written == 0) {
      ok = false;
      break;
    }
    left.remove_prefix(written);
  }
  if (locked) UnlockFileEx(h, 0, 1, 0, &turn);
  return ok;
}

}  // namespace kinevra::platform
