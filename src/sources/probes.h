#pragma once
// Detection probes over the network: a short look at a game's UDP port and a
// request to the roller-coaster game's local telemetry server.
#include <array>
#include <cstddef>
#include <cstdint>

namespace kinevra {

class UdpReader;

// How long a UDP probe waits for a datagram, in microseconds.
inline constexpr std::int64_t kUdpProbeWaitUs = 20000;
// How long the TCP probe waits for the server's answer, in microseconds.
inline constexpr std::int64_t kTcpProbeWaitUs = 500000;
// The roller-coaster game's telemetry server.
inline constexpr std::uint16_t kNoLimitsPort = 15151;

// Binds port on all local addresses for at most kUdpProbeWaitUs and records
// in the reader whether a datagram arrived (it lands in the reader's buffer,
// its sender in senderAddress). Returns the reader's datagram-seen flag. A
// probe that cannot bind or wait sees nothing.
int probeUdpPort(UdpReader& reader, std::uint16_t port);

// Connects to 127.0.0.1:port, sends an idle request and waits at most
// kTcpProbeWaitUs for an answer; true when one came. Nothing is read, and
// nothing stays open.
bool probeTcpServer(std::uint16_t port = kNoLimitsPort);

// A request frame of the telemetry server: "N", type (16-bit big-endian),
// request id (32-bit big-endian), data size (16-bit big-endian), "L".
std::array<std::uint8_t, 10> requestFrame(std::uint16_t type, std::uint32_t requestId,
                                          std::uint16_t dataSize = 0);

// Dotted-decimal text of an IPv4 address (host byte order), NUL-terminated
// and cut to fit; 16 bytes always suffice.
void formatIpv4(std::uint32_t address, char* out, std::size_t size);

// The C library's error-printer form on standard error: "message: text\n",
// with the system's text for a socket error code.
void printSocketError(const char* message, int code);

}  // namespace kinevra
