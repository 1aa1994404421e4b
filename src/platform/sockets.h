#pragma once
// IPv4 sockets of the network links and readers: Winsock 2.2 on Windows, BSD
// sockets elsewhere, behind one small set of calls. Handles and error codes
// are the socket library's own, so logged codes read as users expect
// (10048 for an address in use on Windows, 98 on Linux).
#include <cstddef>
#include <cstdint>
#include <string>

namespace kinevra::platform {

// SOCKET on Windows; the file descriptor elsewhere.
using SocketHandle = std::uintptr_t;
// INVALID_SOCKET on Windows; -1 as a descriptor elsewhere.
inline constexpr SocketHandle kInvalidSocket = ~SocketHandle{0};

// An IPv4 address and port, both in host byte order.
struct Ipv4Endpoint {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
};
inline constexpr std::uint32_t kAnyAddress = 0;                // INADDR_ANY
inline constexpr std::uint32_t kLoopbackAddress = 0x7F000001;  // 127.0.0.1

// Starts the socket library (WSAStartup 2.2): 0, or the library's error code.
// Every successful start is balanced by one stopSockets. Elsewhere a no-op.
int startSockets();
// Releases one start of the socket library (WSACleanup). Elsewhere a no-op.
void stopSockets();

// Error code of the calling thread's last failed socket call
// (WSAGetLastError, errno).
int lastSocketError();

// A new IPv4 datagram socket (AF_INET, SOCK_DGRAM, IPPROTO_UDP), or kInvalidSocket.
SocketHandle openDatagramSocket();
// Switches the socket to non-blocking mode (FIONBIO); false on failure.
bool setNonBlocking(SocketHandle s);
// Binds the socket to a local address and port; false on failure.
bool bindSocket(SocketHandle s, const Ipv4Endpoint& local);
// The address and port the socket is bound to; false on failure.
bool localEndpoint(SocketHandle s, Ipv4Endpoint* local);
// Closes the socket: 0, or -1 on failure.
int closeSocket(SocketHandle s);

// Waits until the socket is readable, at most timeoutUs microseconds:
// 1 readable, 0 timed out, -1 failed. On Linux a wait shorter than 50 us is a
// check without waiting (a timed sleep there overshoots by ~100 us).
int waitReadable(SocketHandle s, std::int64_t timeoutUs);

// Reads one datagram of at most capacity bytes: its length (0 for an empty
// datagram), or -1 on failure. A datagram longer than capacity is consumed and
// reported as a failure (EMSGSIZE / WSAEMSGSIZE) on both systems, never cut
// short. The sender goes to *from when from is not null.
std::int64_t receiveFrom(SocketHandle s, void* buffer, std::size_t capacity, Ipv4Endpoint* from);
// Sends one datagram: the number of bytes sent, or -1 on failure.
std::int64_t sendTo(SocketHandle s, const void* data, std::size_t length, const Ipv4Endpoint& to);

// --- Stream (TCP) sockets: the roller-coaster game's telemetry server and its
// stand-in in the test tools ---

// A new IPv4 stream socket (AF_INET, SOCK_STREAM, IPPROTO_TCP), or kInvalidSocket.
SocketHandle openStreamSocket();
// Connects to remote; on a blocking socket waits until the connection is made
// or refused. False on failure.
bool connectSocket(SocketHandle s, const Ipv4Endpoint& remote);
// Lets a listening socket bind a port whose earlier connections are still
// winding down (SO_REUSEADDR); false on failure.
bool setReuseAddress(SocketHandle s);
// Starts listening for connections; false on failure.
bool listenSocket(SocketHandle s, int backlog);
// Takes one waiting connection: its socket, or kInvalidSocket.
SocketHandle acceptConnection(SocketHandle s);
// Sends bytes on a connected socket: the number sent, or -1 on failure.
std::int64_t sendBytes(SocketHandle s, const void* data, std::size_t length);
// Receives at most capacity bytes: the number received, 0 when the peer has
// closed the connection, -1 on failure (also when a non-blocking socket has
// nothing waiting).
std::int64_t receiveBytes(SocketHandle s, void* buffer, std::size_t capacity);

// The system's text for a socket error code, as the C library's error printer
// shows it ("Connection refused"); without a line end.
std::string socketErrorText(int code);

}  // namespace kinevra::platform
