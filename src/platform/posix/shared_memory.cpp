#include "platform/shared_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace kinevra::platform {

namespace {
std::string shmName(std::string_view name) { return "/" + std::string(name); }
int fdOf(void* handle) { return static_cast<int>(reinterpret_cast<std::intptr_t>(handle)) - 1; }
void* handleOf(int fd) { return reinterpret_cast<void*>(static_cast<std::intptr_t>(fd) + 1); }
bool validName(std::string_view name) {
  return !name.empty() && name.size() < 250 && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}
}  // namespace

bool SharedMemory::createOrOpen(std::string_view name, std::size_t size) {
  close();
  if (!validName(name) || size == 0) {
    lastError_ = EINVAL;
    return false;
  }
  const std::string n = shmName(name);
  int fd = shm_open(n.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  bool made = fd >= 0;
  if (!made && errno == EEXIST) fd = shm_open(n.c_str(), O_RDWR | O_CLOEXEC, 0666);
  if (fd < 0) {
    lastError_ = static_cast<unsigned long>(errno);
    return false;
  }
  if (made) {
    fchmod(fd, 0666);  // the umask must not lock other programs out
    if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
      lastError_ = static_cast<unsigned long>(errno);
      ::close(fd);
      shm_unlink(n.c_str());
      return false;
    }
  }
  handle_ = handleOf(fd);
  created_ = made;
  writable_ = true;
  name_ = n;
  return true;
}

bool SharedMemory::openExisting(std::string_view name, bool writable) {
  close();
  if (!validName(name)) {
    lastError_ = EINVAL;
    return false;
  }
  const std::string n = shmName(name);
  const int fd = shm_open(n.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC, 0);
  if (fd < 0) {
    lastError_ = static_cast<unsigned long>(errno);
    return false;
  }
  handle_ = handleOf(fd);
  created_ = false;
  writable_ = writable;
  name_ = n;
  return true;
}

SharedMemoryName::SharedMemoryName(std::string_view name) {
  if (validName(name)) narrow_ = shmName(name);
}

bool SharedMemoryName::exists() const {
  if (narrow_.empty()) return false;
  const int fd = shm_open(narrow_.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool SharedMemory::exists(std::string_view name) { return SharedMemoryName(name).exists(); }

void* SharedMemory::map(std::size_t size, bool writable) {
  if (!handle_ || view_ || size == 0 || (writable && !writable_)) return nullptr;
  struct stat st {};
  if (fstat(fdOf(handle_), &st) != 0) {
    lastError_ = static_cast<unsigned long>(errno);
    return nullptr;
  }
  // Touching a mapping past the end of the object would fault: map no more
  // than the block holds.
  const std::size_t real = st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0;
  const std::size_t bytes = size < real ? size : real;
  if (bytes == 0) {
    lastError_ = EINVAL;
    return nullptr;
  }
  void* p = mmap(nullptr, bytes, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fdOf(handle_), 0);
  if (p == MAP_FAILED) {
    lastError_ = static_cast<unsigned long>(errno);
    return nullptr;
  }
  view_ = p;
  viewSize_ = mappedBytes_ = bytes;
  return p;
}

const void* SharedMemory::mapRead(std::size_t size) { return map(size, false); }
void* SharedMemory::mapWrite(std::size_t size) { return map(size, true); }

bool SharedMemory::unmap() {
  if (!view_) return false;
  const bool ok = munmap(view_, mappedBytes_) == 0;
  if (!ok) lastError_ = static_cast<unsigned long>(errno);
  view_ = nullptr;
  viewSize_ = mappedBytes_ = 0;
  return ok;
}

void SharedMemory::releaseHandle() {
  if (handle_) {
    ::close(fdOf(handle_));
    if (created_) shm_unlink(name_.c_str());
  }
  handle_ = nullptr;
  created_ = false;
  name_.clear();
}

void SharedMemory::close() {
  unmap();
  releaseHandle();
}

}  // namespace kinevra::platform
