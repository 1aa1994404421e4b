#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kinevra::platform {

bool createFolder(const std::string& path) {
  if (path.empty()) return false;
  // Parents first: a machine without a desktop often has no Documents folder
  // at all, and the log would then never be written.
  for (std::size_t i = path.find('/', 1); i != std::string::npos; i = path.find('/', i + 1)) {
    ::mkdir(path.substr(0, i).c_str(), 0777);
  }
  return ::mkdir(path.c_str(), 0777) == 0;
}

bool AppendFile::open(const std::string& path) {
  close();
  // O_APPEND: the kernel positions and writes each write as one step, so
  // writers sharing the file append whole lines.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  handle_ = fd;
  return true;
}

void AppendFile::close() {
  if (handle_ == kClosed) return;
  ::close(static_cast<int>(handle_));
  handle_ = kClosed;
}

bool AppendFile::appendText(std::string_view text) {
  if (handle_ == kClosed) return false;
  const int fd = static_cast<int>(handle_);
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace kinevra::platform
