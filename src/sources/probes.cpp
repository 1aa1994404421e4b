#include "sources/probes.h"

#include <cstdio>

#include "platform/console.h"
#include "platform/sockets.h"
#include "sources/udp_reader.h"

namespace kinevra {

using platform::consolePrintf;

int probeUdpPort(UdpReader& reader, std::uint16_t port) {
  // A probe that cannot look must not report what an earlier one saw: the
  // flag says "not seen" until this probe catches a datagram.
  reader.datagramSeen = 0;
  const int started = platform::startSockets();
  if (started != 0) {
    consolePrintf("WSAStartup failed with error: %d\n", started);
    return reader.datagramSeen;
  }
  const platform::SocketHandle s = platform::openDatagramSocket();
  if (s == platform::kInvalidSocket) {
    consolePrintf("socket failed with error: %ld\n", static_cast<long>(platform::lastSocketError()));
    platform::stopSockets();
    return reader.datagramSeen;
  }

  if (!platform::setNonBlocking(s)) {
    consolePrintf("ioctl Socket failed with error: %ld\n", static_cast<long>(platform::lastSocketError()));
  } else if (!platform::bindSocket(s, {platform::kAnyAddress, port})) {
    consolePrintf("bind socket failed with error: %ld\n", static_cast<long>(platform::lastSocketError()));
  } else {
    const int ready = platform::waitReadable(s, kUdpProbeWaitUs);
    if (ready == 1) {
      platform::Ipv4Endpoint from;
      const std::int64_t n =
          platform::receiveFrom(s, reader.receiveBuffer(), UdpReader::kProbeReceiveSize, &from);
      if (n < 0)
        consolePrintf("Recv failed: %ld\n", static_cast<long>(platform::lastSocketError()));
      else
        reader.setSender(from);
      // Something arrived, even when it could not be taken whole.
      reader.datagramSeen = 1;
    }
  }

  if (platform::closeSocket(s) != 0)
    consolePrintf("Closesocket failed with error: %d\n", platform::lastSocketError());
  platform::stopSockets();
  return reader.datagramSeen;
}

bool probeTcpServer(std::uint16_t port) {
  const int started = platform::startSockets();
  if (started != 0) {
    printSocketError("Error initializing Winsock", started);
    return false;
  }
  bool answered = false;
  const platform::SocketHandle s = platform::openStreamSocket();
  if (s == platform::kInvalidSocket) {
    printSocketError("Error creating socket", platform::lastSocketError());
  } else if (!platform::connectSocket(s, {platform::kLoopbackAddress, port})) {
    printSocketError("Error connecting to server", platform::lastSocketError());
  } else if (!platform::setNonBlocking(s)) {
    printSocketError("Error setting socket as non-blocking", platform::lastSocketError());
  } else {
    const auto request = requestFrame(0, 1234);
    if (platform::sendBytes(s, request.data(), request.size()) != static_cast<std::int64_t>(request.size())) {
      printSocketError("Error sending data", platform::lastSocketError());
    } else {
      const int ready = platform::waitReadable(s, kTcpProbeWaitUs);
      if (ready < 0) printSocketError("Error in select", platform::lastSocketError());
      answered = ready == 1;
    }
  }
  if (s != platform::kInvalidSocket) platform::closeSocket(s);
  platform::stopSockets();
  return answered;
}

std::array<std::uint8_t, 10> requestFrame(std::uint16_t type, std::uint32_t requestId, std::uint16_t dataSize) {
  return {'N',
          static_cast<std::uint8_t>(type >> 8),
          static_cast<std::uint8_t>(type),
          static_cast<std::uint8_t>(requestId >> 24),
          static_cast<std::uint8_t>(requestId >> 16),
          static_cast<std::uint8_t>(requestId >> 8),
          static_cast<std::uint8_t>(requestId),
          static_cast<std::uint8_t>(dataSize >> 8),
          static_cast<std::uint8_t>(dataSize),
          'L'};
}

void formatIpv4(std::uint32_t a, char* out, std::size_t size) {
  if (!out || size == 0) return;
  // By hand rather than with snprintf: the readers call this for every
  // datagram on the real-time path.
  char text[16];
  std::size_t n = 0;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const unsigned part = (a >> shift) & 0xFFu;
    if (part >= 100) text[n++] = static_cast<char>('0' + part / 100);
    if (part >= 10) text[n++] = static_cast<char>('0' + part / 10 % 10);
    text[n++] = static_cast<char>('0' + part % 10);
    if (shift > 0) text[n++] = '.';
  }
  if (n > size - 1) n = size - 1;
  for (std::size_t i = 0; i < n; ++i) out[i] = text[i];
  out[n] = '\0';
}

void printSocketError(const char* message, int code) {
  platform::consolePrintTo(stderr, "%s: %s\n", message, platform::socketErrorText(code).c_str());
}

}  // namespace kinevra
