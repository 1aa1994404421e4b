#pragma once
// One non-blocking IPv4 UDP socket bound to a local port on all interfaces:
// the UDP listener receives controller frames through it, the UDP game readers
// receive telemetry from its handle. Every step is logged to the error log.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "log/error_logger.h"
#include "platform/sockets.h"

namespace kinevra {

class UdpSocket {
 public:
  // The largest datagram receiveDatagram returns.
  static constexpr std::size_t kMaxDatagram = 8192;

  // Logs "Udp class init"; the socket is closed.
  UdpSocket();
  // Closes a socket that is still open (without a log line), so that the port
  // and the socket library are released with the object.
  ~UdpSocket();
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // Starts the socket library, creates the socket, makes it non-blocking and
  // binds it to the low 16 bits of port on all interfaces. True when ready;
  // on failure the reason is logged and the object can try again.
  bool openPort(int port);
  // Closes the socket and releases the socket library; logs "Port closed.".
  // Always 0. Closing a closed socket releases nothing.
  int closePort();
  // One waiting datagram, whole; empty when none is waiting (after at most a
  // microsecond), on error, for an empty datagram and for one longer than
  // kMaxDatagram (which is dropped).
  std::vector<std::uint8_t> receiveDatagram();
  // The same without a copy: a view of the socket's own buffer, valid until
  // the next receive (what the listener's 2 ms loop uses: no allocation).
  std::span<const std::uint8_t> receiveView();

  // The socket, for readers that receive on it themselves; kInvalidSocket
  // while closed.
  platform::SocketHandle getSocket() const { return socket_; }
  // The bound local address after openPort; the sender of the last datagram
  // after a receive.
  const platform::Ipv4Endpoint& address() const { return address_; }

 private:
  void release();

  int startupResult_ = -1;       // of the last socket library start
  bool libraryStarted_ = false;  // this object holds one start of the library
  platform::SocketHandle socket_ = platform::kInvalidSocket;
  platform::Ipv4Endpoint address_;
  ErrorLogger logger_;
  std::array<std::uint8_t, kMaxDatagram> buffer_;
};

}  // namespace kinevra
