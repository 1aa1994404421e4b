#include "platform/stream_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kinevra::platform {

bool StreamListener::listenTcp(bool ipv6, std::uint16_t port) {
  close();
  const int s = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (s < 0) return false;
  int on = 1;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_storage ss{};
  socklen_t len;
  if (ipv6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
    a->sin6_family = AF_INET6;
    a->sin6_port = htons(port);
    a->sin6_addr = in6addr_loopback;
    ::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    len = sizeof *a;
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&ss);
    a->sin_family = AF_INET;
    a->sin_port = htons(port);
    a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    len = sizeof *a;
  }
  if (::bind(s, reinterpret_cast<sockaddr*>(&ss), len) != 0 || ::listen(s, 16) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&ss), &len) != 0) {
    ::close(s);
    return false;
  }
  port_ = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port : reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
  kind_ = StreamKind::Tcp;
  handle_ = s;
  return true;
}

bool StreamListener::listenPipe(const std::string& pipeName) {
  close();
  const std::string name = pipeSocketName(pipeName);
  sockaddr_un a{};
  if (name.size() > sizeof a.sun_path) return false;
  a.sun_family = AF_UNIX;
  std::memcpy(a.sun_path, name.data(), name.size());
  const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return false;
  const socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
  if (::bind(s, reinterpret_cast<const sockaddr*>(&a), len) != 0 || ::listen(s, 16) != 0) {
    ::close(s);
    return false;
  }
  kind_ = StreamKind::Pipe;
  pipeName_ = pipeName;
  handle_ = s;
  return true;
}

StreamHandle StreamListener::accept() {
  if (handle_ == kInvalidStream) return kInvalidStream;
  for (;;) {
    const int c = ::accept4(static_cast<int>(handle_), nullptr, nullptr, SOCK_CLOEXEC);
    if (c >= 0) return c;
    if (errno != EINTR) return kInvalidStream;
  }
}

void StreamListener::close() {
  if (handle_ != kInvalidStream) ::close(static_cast<int>(handle_));
  handle_ = kInvalidStream;
}

bool serverSend(StreamHandle h, StreamKind, const void* data, std::size_t length) {
  const auto* p = static_cast<const unsigned char*>(data);
  while (length > 0) {
    const ssize_t n = ::send(static_cast<int>(h), p, length, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

int serverWaitReadable(StreamHandle h, StreamKind, int timeoutMs) {
  pollfd p{static_cast<int>(h), POLLIN, 0};
  const int rc = ::poll(&p, 1, timeoutMs);
  if (rc < 0) return errno == EINTR ? 0 : -1;
  return rc > 0 ? 1 : 0;
}

std::int64_t serverReceive(StreamHandle h, StreamKind, void* buffer, std::size_t capacity) {
  for (;;) {
    const ssize_t n = ::recv(static_cast<int>(h), buffer, capacity, 0);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

void serverClose(StreamHandle h, StreamKind kind, bool abort) {
  if (h == kInvalidStream) return;
  if (abort && kind == StreamKind::Tcp) {
    linger l{1, 0};
    ::setsockopt(static_cast<int>(h), SOL_SOCKET, SO_LINGER, &l, sizeof l);
  }
  ::close(static_cast<int>(h));
}

}  // namespace kinevra::platform
