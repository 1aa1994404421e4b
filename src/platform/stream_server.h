#pragma once
// The serving end of byte streams, for the test tools that stand in for the
// flight simulator: a TCP listener on this machine's loopback address (IPv4
// or IPv6) and a named-pipe server (Windows) or its Linux counterpart, the
// abstract Unix-domain socket named by pipeSocketName. Plain blocking I/O,
// one connection per thread.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/overlapped_stream.h"

namespace kinevra::platform {

class StreamListener {
 public:
  StreamListener() = default;
  ~StreamListener() { close(); }
  StreamListener(const StreamListener&) = delete;
  StreamListener& operator=(const StreamListener&) = delete;

  // Listens on 127.0.0.1 or ::1 at port (0: a free one, see port()); false
  // on failure. The socket library must have been started.
  bool listenTcp(bool ipv6, std::uint16_t port);
  // Serves the named pipe ("\\.\pipe\name"); false on failure.
  bool listenPipe(const std::string& pipeName);
  std::uint16_t port() const { return port_; }
  StreamKind kind() const { return kind_; }

  // Waits for the next client: its connection, or kInvalidStream.
  StreamHandle accept();
  void close();

 private:
  StreamKind kind_ = StreamKind::Tcp;
  StreamHandle handle_ = kInvalidStream;
  std::string pipeName_;
  std::uint16_t port_ = 0;
};

// Writes all length bytes: false on failure.
bool serverSend(StreamHandle h, StreamKind kind, const void* data, std::size_t length);
// Waits at most timeoutMs until bytes (or the end) can be read: 1 readable,
// 0 not yet, -1 failed or closed.
int serverWaitReadable(StreamHandle h, StreamKind kind, int timeoutMs);
// Reads what is there, at most capacity bytes: the count, 0 when the client
// has gone, -1 on failure.
std::int64_t serverReceive(StreamHandle h, StreamKind kind, void* buffer, std::size_t capacity);
// Closes the connection; abort resets a TCP connection instead of ending it.
void serverClose(StreamHandle h, StreamKind kind, bool abort = false);

}  // namespace kinevra::platform
