#pragma once
// Shared pieces of the UDP link tests: a peer socket on the loopback
// interface, the lines of the error log, and the frames the controller sends.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "link/crc16.h"
#include "link/serial_frame.h"
#include "platform/sockets.h"

namespace kinevra::test {

// The messages of the log's lines of one level, in order.
inline std::vector<std::string> logMessages(const std::string& text, const std::string& level = "INFO") {
  std::vector<std::string> out;
  std::istringstream in(text);
  const std::string prefix = "[" + level + "] [";
  for (std::string line; std::getline(in, line);) {
    // "[LEVEL] [YYYY-MM-DD hh:mm:ss] message"
    if (line.rfind(prefix, 0) == 0 && line.size() >= prefix.size() + 21) out.push_back(line.substr(prefix.size() + 21));
  }
  return out;
}

inline bool hasMessage(const std::string& text, const std::string& message, const std::string& level = "INFO") {
  for (const std::string& m : logMessages(text, level))
    if (m == message) return true;
  return false;
}

// Messages that begin with prefix.
inline std::size_t countPrefixed(const std::string& text, const std::string& prefix) {
  std::size_t n = 0;
  for (const std::string& m : logMessages(text))
    if (m.rfind(prefix, 0) == 0) ++n;
  return n;
}

// A frame of the kind with the CRC trailer; payload bytes count up from seed.
inline std::vector<std::uint8_t> crcFrame(std::uint8_t kind, std::uint8_t seed = 0) {
  const SerialFrame* f = SerialFrame::byKind(kind);
  std::vector<std::uint8_t> m(f->length, 0);
  m[0] = m[1] = kind;
  for (std::size_t i = 2; i + 2 < m.size(); ++i) m[i] = static_cast<std::uint8_t>(seed + i);
  applyFrameCrc(m.data(), m.size());
  return m;
}

// The same frame as the host reads it: LF CR in place of the CRC.
inline std::vector<std::uint8_t> normalForm(std::vector<std::uint8_t> frame) {
  frame[frame.size() - 2] = kLf;
  frame[frame.size() - 1] = kCr;
  return frame;
}

// A datagram socket on 127.0.0.1 that sends to and receives from the link.
class Peer {
 public:
  Peer() {
    EXPECT_EQ(platform::startSockets(), 0);
    socket_ = platform::openDatagramSocket();
    EXPECT_NE(socket_, platform::kInvalidSocket);
    EXPECT_TRUE(platform::bindSocket(socket_, {platform::kLoopbackAddress, 0}));
    EXPECT_TRUE(platform::localEndpoint(socket_, &at_));
  }
  ~Peer() {
    platform::closeSocket(socket_);
    platform::stopSockets();
  }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  std::uint16_t port() const { return at_.port; }

  void sendTo(std::uint16_t port, const std::vector<std::uint8_t>& bytes) {
    ASSERT_EQ(platform::sendTo(socket_, bytes.data(), bytes.size(), {platform::kLoopbackAddress, port}),
              static_cast<std::int64_t>(bytes.size()));
  }

  // The next datagram, waiting at most waitUs; empty (and got false) when none.
  std::vector<std::uint8_t> receive(std::int64_t waitUs, bool* got = nullptr) {
    std::vector<std::uint8_t> buffer(65536);
    if (got) *got = false;
    if (platform::waitReadable(socket_, waitUs) != 1) return {};
    const std::int64_t n = platform::receiveFrom(socket_, buffer.data(), buffer.size(), nullptr);
    if (n < 0) return {};
    if (got) *got = true;
    buffer.resize(static_cast<std::size_t>(n));
    return buffer;
  }

  // Every datagram that is already there.
  std::vector<std::vector<std::uint8_t>> receiveAll() {
    std::vector<std::vector<std::uint8_t>> out;
    for (bool got = true; got;) {
      auto d = receive(0, &got);
      if (got) out.push_back(std::move(d));
    }
    return out;
  }

 private:
  platform::SocketHandle socket_ = platform::kInvalidSocket;
  platform::Ipv4Endpoint at_;
};

// A port nobody holds right now.
inline std::uint16_t freeUdpPort() {
  EXPECT_EQ(platform::startSockets(), 0);
  const platform::SocketHandle s = platform::openDatagramSocket();
  platform::Ipv4Endpoint at;
  EXPECT_TRUE(platform::bindSocket(s, {platform::kAnyAddress, 0}));
  EXPECT_TRUE(platform::localEndpoint(s, &at));
  platform::closeSocket(s);
  platform::stopSockets();
  return at.port;
}

}  // namespace kinevra::test
