#include "platform/shared_memory.h"

#include <windows.h>

namespace kinevra::platform {

namespace {
std::wstring wide(std::string_view s) {
  std::wstring w;
  w.reserve(s.size());
  for (char c : s) w.push_back(static_cast<unsigned char>(c));  // names are ASCII
  return w;
}
}  // namespace

bool SharedMemory::createOrOpen(std::string_view name, std::size_t size) {
  close();
  if (name.empty() || size == 0 || size > 0xFFFFFFFFu) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return false;
  }
  HANDLE h = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                static_cast<DWORD>(size), wide(name).c_str());
  if (!h) {
    lastError_ = GetLastError();
    return false;
  }
  created_ = GetLastError() != ERROR_ALREADY_EXISTS;
  handle_ = h;
  writable_ = true;
  name_ = std::string(name);
  return true;
}

bool SharedMemory::openExisting(std::string_view name, bool writable) {
  close();
  if (name.empty()) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return false;
  }
  HANDLE h = OpenFileMappingW(writable ? FILE_MAP_WRITE | FILE_MAP_READ : FILE_MAP_READ, FALSE,
                              wide(name).c_str());
  if (!h) {
    lastError_ = GetLastError();
    return false;
  }
  handle_ = h;
  created_ = false;
  writable_ = writable;
  name_ = std::string(name);
  return true;
}

SharedMemoryName::SharedMemoryName(std::string_view name) : wide_(wide(name)) {}

bool SharedMemoryName::exists() const {
  if (wide_.empty()) return false;
  HANDLE h = OpenFileMappingW(FILE_MAP_READ, FALSE, wide_.c_str());
  if (!h) return false;
  CloseHandle(h);
  return true;
}

bool SharedMemory::exists(std::string_view name) { return SharedMemoryName(name).exists(); }

void* SharedMemory::map(std::size_t size, bool writable) {
  if (!handle_ || view_ || size == 0 || (writable && !writable_)) return nullptr;
  const DWORD access = writable ? FILE_MAP_WRITE | FILE_MAP_READ : FILE_MAP_READ;
  void* p = MapViewOfFile(static_cast<HANDLE>(handle_), access, 0, 0, size);
  std::size_t bytes = size;
  if (!p) {
    // A block smaller than asked for: map all of it and read no further.
    lastError_ = GetLastError();
    p = MapViewOfFile(static_cast<HANDLE>(handle_), access, 0, 0, 0);
    if (!p) return nullptr;
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(p, &info, sizeof info) == 0) {
      lastError_ = GetLastError();
      UnmapViewOfFile(p);
      return nullptr;
    }
    if (info.RegionSize < bytes) bytes = info.RegionSize;
  }
  view_ = p;
  viewSize_ = mappedBytes_ = bytes;
  return p;
}

const void* SharedMemory::mapRead(std::size_t size) { return map(size, false); }
void* SharedMemory::mapWrite(std::size_t size) { return map(size, true); }

bool SharedMemory::unmap() {
  if (!view_) return false;
  const bool ok = UnmapViewOfFile(view_) != 0;
  if (!ok) lastError_ = GetLastError();
  view_ = nullptr;
  viewSize_ = mappedBytes_ = 0;
  return ok;
}

void SharedMemory::releaseHandle() {
  if (handle_ && !CloseHandle(static_cast<HANDLE>(handle_))) lastError_ = GetLastError();
  handle_ = nullptr;
  created_ = false;
  name_.clear();
}

void SharedMemory::close() {
  unmap();
  releaseHandle();
}

}  // namespace kinevra::platform
