#include "platform/overlapped_stream.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstring>

namespace kinevra::platform {

static_assert(sizeof(OVERLAPPED) <= sizeof(IoRecord::system), "the record holds an OVERLAPPED");

namespace {

// One routine per process: the client transport's. BindIoCompletionCallback
// takes a plain function, so the caller's routine is reached through it.
IoCompletion volatile gRoutine = nullptr;

// The pool hands over the I/O's status either as it stands in the status
// block (an NTSTATUS) or translated into a system error code (Wine does so);
// the statuses the transport tells apart are taken back to their NTSTATUS.
std::uint32_t asStatus(DWORD code) {
  if (code == 0 || code >= 0x10000) return code;  // already an NTSTATUS
  switch (code) {
    case ERROR_OPERATION_ABORTED:
      return kStatusCancelled;
    case ERROR_NETNAME_DELETED:
      return kStatusConnectionReset;
    case ERROR_BROKEN_PIPE:
      return kStatusPipeBroken;
    case ERROR_MORE_DATA:
      return kStatusBufferOverflow;
    case ERROR_PIPE_NOT_CONNECTED:
      return 0xC00000B0;  // STATUS_PIPE_DISCONNECTED
    case ERROR_CONNECTION_ABORTED:
      return 0xC0000241;  // STATUS_CONNECTION_ABORTED
    case ERROR_HANDLE_EOF:
      return 0xC0000011;  // STATUS_END_OF_FILE
    default:
      return kStatusOtherError | code;
  }
}

VOID CALLBACK onCompletion(DWORD status, DWORD bytes, LPOVERLAPPED overlapped) {
  IoCompletion routine = gRoutine;
  if (routine && overlapped) routine(asStatus(status), bytes, reinterpret_cast<IoRecord*>(overlapped));
}

OVERLAPPED* overlappedOf(IoRecord* record) {
  auto* o = reinterpret_cast<OVERLAPPED*>(record->system);
  std::memset(o, 0, sizeof *o);
  return o;
}

// The status an immediate failure stands for.
std::uint32_t statusOfError(DWORD error) {
  switch (error) {
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
    case ERROR_PIPE_NOT_CONNECTED:
      return kStatusPipeBroken;
    case WSAECONNRESET:
      return kStatusConnectionReset;
    case WSAECONNABORTED:
    case WSAEDISCON:
    case WSAESHUTDOWN:
      return kStatusRemoteDisconnect;
    case ERROR_INVALID_HANDLE:
    case WSAENOTSOCK:
      return kStatusInvalidHandle;
    default:
      return kStatusOtherError | (error & 0xFFFF);
  }
}

}  // namespace

std::string pipeSocketName(const std::string& pipeName) { return pipeName; }

StreamHandle openPipe(const std::string& pipeName, int* error) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    HANDLE h = CreateFileA(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (h != INVALID_HANDLE_VALUE) return reinterpret_cast<StreamHandle>(h);
    const DWORD e = GetLastError();
    if (error) *error = static_cast<int>(e);
    if (e != ERROR_PIPE_BUSY || attempt > 0) break;
    if (!WaitNamedPipeA(pipeName.c_str(), 5000)) {
      if (error) *error = static_cast<int>(GetLastError());
      break;
    }
  }
  return kInvalidStream;
}

StreamHandle openTcp(const std::string& address, const std::string& port, bool ipv6, int* error) {
  addrinfo hints{};
  hints.ai_family = ipv6 ? AF_INET6 : AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(address.c_str(), port.c_str(), &hints, &found);
  if (rc != 0 || !found) {
    if (error) *error = rc;
    return kInvalidStream;
  }
  SOCKET s = WSASocketW(found->ai_family, found->ai_socktype, found->ai_protocol, nullptr, 0, WSA_FLAG_OVERLAPPED);
  if (s == INVALID_SOCKET) {
    if (error) *error = WSAGetLastError();
    freeaddrinfo(found);
    return kInvalidStream;
  }
  if (connect(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0) {
    if (error) *error = WSAGetLastError();
    closesocket(s);
    freeaddrinfo(found);
    return kInvalidStream;
  }
  freeaddrinfo(found);
  return static_cast<StreamHandle>(s);
}

bool bindCompletion(StreamHandle h, StreamKind, IoCompletion routine) {
  gRoutine = routine;
  return BindIoCompletionCallback(reinterpret_cast<HANDLE>(h), onCompletion, 0) != FALSE;
}

bool setNoDelay(StreamHandle h) {
  BOOL on = TRUE;
  return setsockopt(static_cast<SOCKET>(h), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                    sizeof on) == 0;
}

std::uint32_t startRead(StreamHandle h, StreamKind kind, void* buffer, std::uint32_t length, IoRecord* record) {
  OVERLAPPED* o = overlappedOf(record);
  if (kind == StreamKind::Tcp) {
    WSABUF buf{length, static_cast<char*>(buffer)};
    DWORD flags = 0;
    if (WSARecv(static_cast<SOCKET>(h), &buf, 1, nullptr, &flags, o, nullptr) == 0) return 0;
    const int e = WSAGetLastError();
    return e == WSA_IO_PENDING ? 0 : statusOfError(static_cast<DWORD>(e));
  }
  if (ReadFile(reinterpret_cast<HANDLE>(h), buffer, length, nullptr, o)) return 0;
  const DWORD e = GetLastError();
  // A message longer than the read still completes through the pool.
  return e == ERROR_IO_PENDING || e == ERROR_MORE_DATA ? 0 : statusOfError(e);
}

std::uint32_t startWrite(StreamHandle h, StreamKind kind, const void* data, std::uint32_t length,
                         IoRecord* record) {
  OVERLAPPED* o = overlappedOf(record);
  if (kind == StreamKind::Tcp) {
    WSABUF buf{length, const_cast<char*>(static_cast<const char*>(data))};
    if (WSASend(static_cast<SOCKET>(h), &buf, 1, nullptr, 0, o, nullptr) == 0) return 0;
    const int e = WSAGetLastError();
    return e == WSA_IO_PENDING ? 0 : statusOfError(static_cast<DWORD>(e));
  }
  if (WriteFile(reinterpret_cast<HANDLE>(h), data, length, nullptr, o)) return 0;
  const DWORD e = GetLastError();
  return e == ERROR_IO_PENDING ? 0 : statusOfError(e);
}

void closeStream(StreamHandle h, StreamKind kind) {
  if (h == kInvalidStream) return;
  if (kind == StreamKind::Tcp) {
    const SOCKET s = static_cast<SOCKET>(h);
    shutdown(s, SD_BOTH);
    // Every thread's I/O on the socket, not only the calling thread's: the
    // reads are started by pool threads.
    CancelIoEx(reinterpret_cast<HANDLE>(h), nullptr);
    closesocket(s);
  } else {
    CloseHandle(reinterpret_cast<HANDLE>(h));
  }
}

}  // namespace kinevra::platform
