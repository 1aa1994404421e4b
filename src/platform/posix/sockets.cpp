#include "platform/sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <climits>
#include <ctime>

namespace kinevra::platform {

namespace {

int fd(SocketHandle s) { return static_cast<int>(s); }

sockaddr_in toSockaddr(const Ipv4Endpoint& e) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(e.port);
  a.sin_addr.s_addr = htonl(e.address);
  return a;
}

Ipv4Endpoint fromSockaddr(const sockaddr_in& a) {
  return Ipv4Endpoint{ntohl(a.sin_addr.s_addr), ntohs(a.sin_port)};
}

constexpr std::int64_t kShortestWaitUs = 50;

// Descriptors above INT_MAX cannot exist; this also keeps kInvalidSocket out.
bool valid(SocketHandle s) { return s <= static_cast<SocketHandle>(INT_MAX); }

}  // namespace

// There is no library to start: the same calls run on both systems so that the
// start/release pairing is exercised everywhere.
int startSockets() { return 0; }
void stopSockets() {}

int lastSocketError() { return errno; }

SocketHandle openDatagramSocket() {
  // Close-on-exec: a host that starts other programs must not hand them our port.
  const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  return s < 0 ? kInvalidSocket : static_cast<SocketHandle>(s);
}

bool setNonBlocking(SocketHandle s) {
  if (!valid(s)) {
    errno = EBADF;
    return false;
  }
  const int flags = ::fcntl(fd(s), F_GETFL);
  return flags >= 0 && ::fcntl(fd(s), F_SETFL, flags | O_NONBLOCK) == 0;
}

bool bindSocket(SocketHandle s, const Ipv4Endpoint& local) {
  if (!valid(s)) {
    errno = EBADF;
    return false;
  }
  const sockaddr_in a = toSockaddr(local);
  return ::bind(fd(s), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
}

bool localEndpoint(SocketHandle s, Ipv4Endpoint* local) {
  if (!valid(s) || !local) {
    errno = EBADF;
    return false;
  }
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (::getsockname(fd(s), reinterpret_cast<sockaddr*>(&a), &len) != 0 || a.sin_family != AF_INET) {
    return false;
  }
  *local = fromSockaddr(a);
  return true;
}

int closeSocket(SocketHandle s) {
  if (!valid(s)) {
    errno = EBADF;
    return -1;
  }
  return ::close(fd(s)) == 0 ? 0 : -1;
}

int waitReadable(SocketHandle s, std::int64_t timeoutUs) {
  if (!valid(s)) {
    errno = EBADF;
    return -1;
  }
  // poll, not select: select's fd_set cannot hold a descriptor of 1024 or more,
  // which a host with many open files easily hands out.
  pollfd p{fd(s), POLLIN, 0};
  // A timed sleep overshoots by the thread's timer slack (50 us by default)
  // plus a wake-up: asked for 1 us, ppoll takes about 100 us. Waits that short
  // are therefore a plain check, which keeps "at most about a microsecond".
  if (timeoutUs < kShortestWaitUs) timeoutUs = 0;
  const timespec ts{static_cast<time_t>(timeoutUs / 1000000), static_cast<long>(timeoutUs % 1000000 * 1000)};
  const int r = ::ppoll(&p, 1, &ts, nullptr);
  if (r < 0) return -1;
  if (r == 0) return 0;
  if (p.revents & POLLNVAL) {
    errno = EBADF;
    return -1;
  }
  // Readable, or an error condition that the next receive will report.
  return 1;
}

std::int64_t receiveFrom(SocketHandle s, void* buffer, std::size_t capacity, Ipv4Endpoint* from) {
  if (!valid(s)) {
    errno = EBADF;
    return -1;
  }
  sockaddr_in a{};
  socklen_t len = sizeof a;
  // MSG_TRUNC makes the kernel report a datagram's full length; without it a
  // longer datagram would silently arrive cut to the buffer.
  const ssize_t n = ::recvfrom(fd(s), buffer, capacity, MSG_TRUNC, reinterpret_cast<sockaddr*>(&a), &len);
  if (n < 0) return -1;
  if (static_cast<std::size_t>(n) > capacity) {
    errno = EMSGSIZE;
    return -1;
  }
  if (from && a.sin_family == AF_INET) *from = fromSockaddr(a);
  return n;
}

std::int64_t sendTo(SocketHandle s, const void* data, std::size_t length, const Ipv4Endpoint& to) {
  if (!valid(s)) {
    errno = EBADF;
    return -1;
  }
  const sockaddr_in a = toSockaddr(to);
  const ssize_t n =
      ::sendto(fd(s), data, length, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  return n < 0 ? -1 : n;
}

SocketHandle openStreamSocket() {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  return s < 0 ? kInvalidSocket : static_cast<SocketHandle>(s);
}

bool connectSocket(SocketHandle s, const Ipv4Endpoint& remote) {
  if (!valid(s)) {
    errno = EBADF;
    return false;
  }
  const sockaddr_in a = toSockaddr(remote);
  int r;
  do {
    r = ::connect(fd(s), reinterpret_cast<const sockaddr*>(&a), sizeof a);
  } while (r != 0 && errno == EINTR);
  return r == 0;
}

bool setReuseAddress(SocketHandle s) {
  if (!valid(s)) {
    errno = EBADF;
    return false;
  }
  const int on = 1;
  return ::setsockopt(fd(s), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
}

bool listenSocket(SocketHandle s, int backlog) {
  if (!valid(s)) {
    errno = EBADF;
    return false;
  }
  return ::listen(fd(s), backlog) == 0;
}

SocketHandle acceptConnection(SocketHandle s) {
  if (!valid(s)) {
    errno = EBADF;
    return kInvalidSocket;
  }
  const int c = ::accept4(fd(s), nullptr, nullptr, SOCK_CLOEXEC);
  return c < 0 ? kInvalidSocket : static_cast<SocketHandle>(c);
}

std::int64_t sendBytes(SocketHandle s, const void* data, std::size_t length) {
  if (!valid(s)) {
    errno = EBADF;
    return -1;
  }
  // MSG_NOSIGNAL: a peer that has gone must not kill the host with SIGPIPE.
  const ssize_t n = ::send(fd(s), data, length, MSG_NOSIGNAL);
  return n < 0 ? -1 : n;
}

std::int64_t receiveBytes(SocketHandle s, void* buffer, std::size_t capacity) {
  if (!valid(s)) {
    errno = EBADF;
    return -1;
  }
  const ssize_t n = ::recv(fd(s), buffer, capacity, 0);
  return n < 0 ? -1 : n;
}

namespace {
// strerror_r comes in a GNU and an XSI flavour; take whichever this C library has.
[[maybe_unused]] const char* errorText(int result, const char* buffer) {
  return result == 0 ? buffer : "Unknown error";
}
[[maybe_unused]] const char* errorText(const char* result, const char*) { return result; }
}  // namespace

std::string socketErrorText(int code) {
  char buffer[256] = {};
  return errorText(strerror_r(code, buffer, sizeof buffer), buffer);
}

}  // namespace kinevra::platform
