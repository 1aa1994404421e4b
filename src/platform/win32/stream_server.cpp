#include "platform/stream_server.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <chrono>
#include <thread>

namespace kinevra::platform {

namespace {

constexpr DWORD kPipeBuffer = 65536;

HANDLE newPipeInstance(const std::string& name) {
  return CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                          PIPE_UNLIMITED_INSTANCES, kPipeBuffer, kPipeBuffer, 0, nullptr);
}

}  // namespace

bool StreamListener::listenTcp(bool ipv6, std::uint16_t port) {
  close();
  SOCKET s = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return false;
  sockaddr_storage ss{};
  int len;
  if (ipv6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
    a->sin6_family = AF_INET6;
    a->sin6_port = htons(port);
    a->sin6_addr = in6addr_loopback;
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
    closesocket(s);
    return false;
  }
  port_ = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port : reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
  kind_ = StreamKind::Tcp;
  handle_ = static_cast<StreamHandle>(s);
  return true;
}

bool StreamListener::listenPipe(const std::string& pipeName) {
  close();
  HANDLE h = newPipeInstance(pipeName);
  if (h == INVALID_HANDLE_VALUE) return false;
  kind_ = StreamKind::Pipe;
  pipeName_ = pipeName;
  handle_ = reinterpret_cast<StreamHandle>(h);
  return true;
}

StreamHandle StreamListener::accept() {
  if (handle_ == kInvalidStream) return kInvalidStream;
  if (kind_ == StreamKind::Tcp) {
    const SOCKET c = ::accept(static_cast<SOCKET>(handle_), nullptr, nullptr);
    return c == INVALID_SOCKET ? kInvalidStream : static_cast<StreamHandle>(c);
  }
  HANDLE h = reinterpret_cast<HANDLE>(handle_);
  const bool ok = ConnectNamedPipe(h, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
  if (!ok) return kInvalidStream;
  // The connected instance is the client's; the next client gets a new one.
  HANDLE next = newPipeInstance(pipeName_);
  handle_ = next == INVALID_HANDLE_VALUE ? kInvalidStream : reinterpret_cast<StreamHandle>(next);
  return reinterpret_cast<StreamHandle>(h);
}

void StreamListener::close() {
  if (handle_ == kInvalidStream) return;
  if (kind_ == StreamKind::Tcp) closesocket(static_cast<SOCKET>(handle_));
  else CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kInvalidStream;
}

bool serverSend(StreamHandle h, StreamKind kind, const void* data, std::size_t length) {
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    const int chunk = length > 65536 ? 65536 : static_cast<int>(length);
    int n = 0;
    if (kind == StreamKind::Tcp) {
      n = ::send(static_cast<SOCKET>(h), p, chunk, 0);
    } else {
      DWORD written = 0;
      n = WriteFile(reinterpret_cast<HANDLE>(h), p, static_cast<DWORD>(chunk), &written, nullptr)
              ? static_cast<int>(written)
              : -1;
    }
    if (n <= 0) return false;
    p += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

int serverWaitReadable(StreamHandle h, StreamKind kind, int timeoutMs) {
  if (kind == StreamKind::Tcp) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(static_cast<SOCKET>(h), &set);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int rc = select(0, &set, nullptr, nullptr, &tv);
    return rc < 0 ? -1 : rc > 0 ? 1 : 0;
  }
  // A pipe has no select: look at it until something is there.
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    DWORD avail = 0;
    if (!PeekNamedPipe(reinterpret_cast<HANDLE>(h), nullptr, 0, nullptr, &avail, nullptr)) return -1;
    if (avail > 0) return 1;
    if (std::chrono::steady_clock::now() >= end) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

std::int64_t serverReceive(StreamHandle h, StreamKind kind, void* buffer, std::size_t capacity) {
  const int cap = capacity > 65536 ? 65536 : static_cast<int>(capacity);
  if (kind == StreamKind::Tcp) return ::recv(static_cast<SOCKET>(h), static_cast<char*>(buffer), cap, 0);
  DWORD got = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(h), buffer, static_cast<DWORD>(cap), &got, nullptr)) {
    return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
  }
  return got;
}

void serverClose(StreamHandle h, StreamKind kind, bool abort) {
  if (h == kInvalidStream) return;
  if (kind == StreamKind::Tcp) {
    if (abort) {
      linger l{1, 0};
      setsockopt(static_cast<SOCKET>(h), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
    }
    closesocket(static_cast<SOCKET>(h));
  } else {
    // Closed as a process ending closes it: the client reads what was
    // written, then finds the pipe broken (a disconnect would throw the
    // unread bytes away).
    FlushFileBuffers(reinterpret_cast<HANDLE>(h));
    CloseHandle(reinterpret_cast<HANDLE>(h));
  }
}

}  // namespace kinevra::platform
