#include "platform/pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace kinevra::platform {

bool PseudoTerminal::open() {
  close();
  const int f = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (f < 0) return false;
  char name[128];
  termios t{};
  if (grantpt(f) != 0 || unlockpt(f) != 0 || ptsname_r(f, name, sizeof name) != 0 || tcgetattr(f, &t) != 0) {
    ::close(f);
    return false;
  }
  // The settings of a pair belong to the other end: raw until the library sets its own.
  cfmakeraw(&t);
  tcsetattr(f, TCSANOW, &t);
  fd_ = f;
  peerPath_ = name;
  return true;
}

std::int64_t PseudoTerminal::read(void* buffer, std::size_t size, int timeoutMs) {
  if (fd_ < 0) return -1;
  pollfd p{fd_, POLLIN, 0};
  const int r = poll(&p, 1, timeoutMs);
  if (r < 0) return errno == EINTR ? 0 : -1;
  if (r == 0) return 0;
  const ssize_t n = ::read(fd_, buffer, size);
  if (n >= 0) return n;
  // EIO: the other end is not open (yet, or any more). Wait out the rest
  // of the time-out rather than spin on the hang-up.
  if (errno == EIO) {
    poll(nullptr, 0, timeoutMs);
    return 0;
  }
  return errno == EAGAIN || errno == EINTR ? 0 : -1;
}

bool PseudoTerminal::write(const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd_, p + done, size - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd q{fd_, POLLOUT, 0};
      poll(&q, 1, 100);
      continue;
    }
    return false;
  }
  return true;
}

void PseudoTerminal::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  peerPath_.clear();
}

}  // namespace kinevra::platform
