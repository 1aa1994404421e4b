#include "platform/sockets.h"

#include <winsock2.h>

#include <climits>

namespace kinevra::platform {

namespace {

SOCKET sock(SocketHandle s) { return static_cast<SOCKET>(s); }

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

int clampLength(std::size_t n) { return n > INT_MAX ? INT_MAX : static_cast<int>(n); }

}  // namespace

int startSockets() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data);
}

void stopSockets() { WSACleanup(); }

int lastSocketError() { return WSAGetLastError(); }

SocketHandle openDatagramSocket() {
  const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  return s == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(s);
}

bool setNonBlocking(SocketHandle s) {
  u_long mode = 1;
  return ioctlsocket(sock(s), FIONBIO, &mode) == 0;
}

bool bindSocket(SocketHandle s, const Ipv4Endpoint& local) {
  const sockaddr_in a = toSockaddr(local);
  return ::bind(sock(s), reinterpret_cast<const sockaddr*>(&a), sizeof a) >= 0;
}

bool localEndpoint(SocketHandle s, Ipv4Endpoint* local) {
  if (!local) return false;
  sockaddr_in a{};
  int len = sizeof a;
  if (::getsockname(sock(s), reinterpret_cast<sockaddr*>(&a), &len) != 0 || a.sin_family != AF_INET) {
    return false;
  }
  *local = fromSockaddr(a);
  return true;
}

int closeSocket(SocketHandle s) { return ::closesocket(sock(s)) == 0 ? 0 : -1; }

int waitReadable(SocketHandle s, std::int64_t timeoutUs) {
  if (timeoutUs < 0) timeoutUs = 0;
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(sock(s), &readable);
  timeval tv{static_cast<long>(timeoutUs / 1000000), static_cast<long>(timeoutUs % 1000000)};
  const int r = ::select(0, &readable, nullptr, nullptr, &tv);
  if (r == SOCKET_ERROR) return -1;
  return r > 0 ? 1 : 0;
}

std::int64_t receiveFrom(SocketHandle s, void* buffer, std::size_t capacity, Ipv4Endpoint* from) {
  sockaddr_in a{};
  int len = sizeof a;
  // A longer datagram fails with WSAEMSGSIZE and is dropped by the system.
  const int n = ::recvfrom(sock(s), static_cast<char*>(buffer), clampLength(capacity), 0,
                           reinterpret_cast<sockaddr*>(&a), &len);
  if (n == SOCKET_ERROR) return -1;
  if (from && a.sin_family == AF_INET) *from = fromSockaddr(a);
  return n;
}

std::int64_t sendTo(SocketHandle s, const void* data, std::size_t length, const Ipv4Endpoint& to) {
  const sockaddr_in a = toSockaddr(to);
  const int n = ::sendto(sock(s), static_cast<const char*>(data), clampLength(length), 0,
                         reinterpret_cast<const sockaddr*>(&a), sizeof a);
  return n == SOCKET_ERROR ? -1 : n;
}

SocketHandle openStreamSocket() {
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  return s == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(s);
}

bool connectSocket(SocketHandle s, const Ipv4Endpoint& remote) {
  const sockaddr_in a = toSockaddr(remote);
  return ::connect(sock(s), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
}

bool setReuseAddress(SocketHandle s) {
  const BOOL on = TRUE;
  return ::setsockopt(sock(s), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

bool listenSocket(SocketHandle s, int backlog) { return ::listen(sock(s), backlog) == 0; }

SocketHandle acceptConnection(SocketHandle s) {
  const SOCKET c = ::accept(sock(s), nullptr, nullptr);
  return c == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(c);
}

std::int64_t sendBytes(SocketHandle s, const void* data, std::size_t length) {
  const int n = ::send(sock(s), static_cast<const char*>(data), clampLength(length), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

std::int64_t receiveBytes(SocketHandle s, void* buffer, std::size_t capacity) {
  const int n = ::recv(sock(s), static_cast<char*>(buffer), clampLength(capacity), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

std::string socketErrorText(int code) {
  // Winsock codes are not errno values: the system's own message text.
  char buffer[512] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                 static_cast<DWORD>(code), 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, n);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  if (text.empty()) text = "Unknown error " + std::to_string(code);
  return text;
}

}  // namespace kinevra::platform
