// UdpSocket against real sockets on the loopback interface, and the log lines
// it writes into the (isolated) error log.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "isolated_documents.h"
#include "log_tail.h"
#include "platform/sockets.h"
#include "udp/udp_socket.h"

namespace kinevra {
namespace {

using platform::Ipv4Endpoint;
using platform::kInvalidSocket;

#ifdef _WIN32
constexpr int kAddressInUse = 10048;  // WSAEADDRINUSE
#else
constexpr int kAddressInUse = 98;  // EADDRINUSE
#endif
constexpr std::int64_t kPatienceUs = 10000000;  // only against a hang; loopback is immediate

// True when the text holds a whole line of that level with exactly that message.
bool hasLine(const std::string& text, const std::string& level, const std::string& message) {
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("[" + level + "] [", 0) == 0 && line.size() == level.size() + 25 + message.size() &&
        line.compare(level.size() + 23, 2 + message.size(), "] " + message) == 0) {
      return true;
    }
  }
  return false;
}

std::vector<std::uint8_t> pattern(std::size_t n, unsigned seed) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>((i * 131 + seed) ^ (i >> 8));
  return v;
}

struct UdpSocketTest : ::testing::Test {
  // The test's own sockets hold one start of the socket library throughout;
  // a UdpSocket that released more than it started would break them.
  void SetUp() override {
    ASSERT_EQ(platform::startSockets(), 0);
    sender = platform::openDatagramSocket();
    ASSERT_NE(sender, kInvalidSocket);
    ASSERT_TRUE(platform::bindSocket(sender, Ipv4Endpoint{platform::kLoopbackAddress, 0}));
    ASSERT_TRUE(platform::localEndpoint(sender, &senderAt));
  }
  void TearDown() override {
    platform::closeSocket(sender);
    platform::stopSockets();
  }

  // A port nobody holds right now (the system's pick for a fresh socket).
  static std::uint16_t freePort() {
    const platform::SocketHandle s = platform::openDatagramSocket();
    Ipv4Endpoint at;
    EXPECT_TRUE(platform::bindSocket(s, Ipv4Endpoint{platform::kAnyAddress, 0}));
    EXPECT_TRUE(platform::localEndpoint(s, &at));
    platform::closeSocket(s);
    return at.port;
  }

  static std::uint16_t boundPort(const UdpSocket& s) {
    Ipv4Endpoint at;
    EXPECT_TRUE(platform::localEndpoint(s.getSocket(), &at));
    return at.port;
  }

  void send(const std::vector<std::uint8_t>& bytes, std::uint16_t port) {
    ASSERT_EQ(platform::sendTo(sender, bytes.data(), bytes.size(), Ipv4Endpoint{platform::kLoopbackAddress, port}),
              static_cast<std::int64_t>(bytes.size()));
  }

  // Waits until a datagram is there, then takes it.
  static std::vector<std::uint8_t> receive(UdpSocket& s) {
    EXPECT_EQ(platform::waitReadable(s.getSocket(), kPatienceUs), 1);
    return s.receiveDatagram();
  }

  platform::SocketHandle sender = kInvalidSocket;
  Ipv4Endpoint senderAt;
};

TEST_F(UdpSocketTest, OpeningAndClosingLogEveryStep) {
  test::LogTail log;
  const std::uint16_t port = freePort();
  UdpSocket s;
  EXPECT_EQ(s.getSocket(), kInvalidSocket);
  ASSERT_TRUE(s.openPort(port));
  EXPECT_NE(s.getSocket(), kInvalidSocket);
  EXPECT_EQ(boundPort(s), port);
  EXPECT_EQ(s.closePort(), 0);
  EXPECT_EQ(s.getSocket(), kInvalidSocket);

  const std::string text = log.text();
  const std::string p = std::to_string(port);
  EXPECT_TRUE(hasLine(text, "INFO", "Udp class init")) << text;
  EXPECT_TRUE(hasLine(text, "INFO", "Opening port: " + p)) << text;
  EXPECT_TRUE(hasLine(text, "INFO", "Port " + p + " opened successfully.")) << text;
  EXPECT_TRUE(hasLine(text, "INFO", "Port closed.")) << text;
  EXPECT_LT(text.find("Opening port: " + p), text.find("Port " + p + " opened successfully."));
}

TEST_F(UdpSocketTest, APortHeldByAnotherSocketFailsAtBindWithTheLibrarysCode) {
  UdpSocket holder;
  ASSERT_TRUE(holder.openPort(0));
  const std::uint16_t port = boundPort(holder);

  test::LogTail log;
  UdpSocket second;
  EXPECT_FALSE(second.openPort(port));
  EXPECT_EQ(second.getSocket(), kInvalidSocket);
  const std::string text = log.text();
  EXPECT_TRUE(hasLine(text, "ERROR", "Binding socket failed with error: " + std::to_string(kAddressInUse))) << text;
  EXPECT_FALSE(hasLine(text, "INFO", "Port " + std::to_string(port) + " opened successfully.")) << text;

  // The failed object is usable again once the port is free.
  holder.closePort();
  ASSERT_TRUE(second.openPort(port));
  send({1, 2, 3}, port);
  EXPECT_EQ(receive(second), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(UdpSocketTest, DatagramsArriveByteExactUpTo8192Bytes) {
  UdpSocket rx;
  ASSERT_TRUE(rx.openPort(0));
  const std::uint16_t port = boundPort(rx);
  unsigned seed = 1;
  for (const std::size_t n : {std::size_t{1}, std::size_t{36}, std::size_t{465}, std::size_t{1500},
                              std::size_t{8191}, std::size_t{8192}}) {
    const std::vector<std::uint8_t> sent = pattern(n, seed++);
    send(sent, port);
    EXPECT_EQ(receive(rx), sent) << n << " bytes";
    EXPECT_EQ(rx.address().address, platform::kLoopbackAddress);
    EXPECT_EQ(rx.address().port, senderAt.port);
  }
}

TEST_F(UdpSocketTest, ADatagramLongerThan8192BytesIsDroppedNotCut) {
  UdpSocket rx;
  ASSERT_TRUE(rx.openPort(0));
  const std::uint16_t port = boundPort(rx);
  send(pattern(8193, 3), port);
  send(pattern(60000, 4), port);
  const std::vector<std::uint8_t> after = pattern(40, 5);
  send(after, port);
  EXPECT_TRUE(receive(rx).empty());
  EXPECT_TRUE(receive(rx).empty());
  EXPECT_EQ(receive(rx), after);
}

TEST_F(UdpSocketTest, AnIdleOrClosedSocketReturnsNothingAtOnce) {
  UdpSocket s;
  EXPECT_TRUE(s.receiveDatagram().empty());  // never opened
  ASSERT_TRUE(s.openPort(0));
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(s.receiveDatagram().empty());
  s.closePort();
  EXPECT_TRUE(s.receiveDatagram().empty());
}

TEST_F(UdpSocketTest, AnEmptyDatagramYieldsNothingAndTheNextArrives) {
  UdpSocket rx;
  ASSERT_TRUE(rx.openPort(0));
  const std::uint16_t port = boundPort(rx);
  send({}, port);
  send({9}, port);
  EXPECT_TRUE(receive(rx).empty());
  EXPECT_EQ(receive(rx), std::vector<std::uint8_t>{9});
}

TEST_F(UdpSocketTest, ExtraClosesReleaseNothingThatOthersHold) {
  UdpSocket holder;
  ASSERT_TRUE(holder.openPort(0));
  const std::uint16_t port = boundPort(holder);
  {
    UdpSocket s;
    EXPECT_FALSE(s.openPort(port));  // started and released the library once
    EXPECT_EQ(s.closePort(), 0);
    EXPECT_EQ(s.closePort(), 0);
    UdpSocket never;
    EXPECT_EQ(never.closePort(), 0);
  }
  // The holder and the test's own socket still work.
  send({7, 7}, port);
  EXPECT_EQ(receive(holder), (std::vector<std::uint8_t>{7, 7}));
}

TEST_F(UdpSocketTest, ReopeningOrDestroyingReleasesThePort) {
  const std::uint16_t first = freePort();
  {
    UdpSocket s;
    ASSERT_TRUE(s.openPort(first));
    ASSERT_TRUE(s.openPort(0));  // moves to another port
    UdpSocket other;
    EXPECT_TRUE(other.openPort(first));
    other.closePort();
    ASSERT_TRUE(s.openPort(first));
  }
  UdpSocket after;
  EXPECT_TRUE(after.openPort(first));
}

TEST_F(UdpSocketTest, OnlyTheLow16BitsOfThePortAreUsed) {
  test::LogTail log;
  const std::uint16_t port = freePort();
  const int wide = 0x10000 + port;
  UdpSocket s;
  ASSERT_TRUE(s.openPort(wide));
  EXPECT_EQ(boundPort(s), port);
  const std::string text = log.text();
  EXPECT_TRUE(hasLine(text, "INFO", "Opening port: " + std::to_string(wide))) << text;
  EXPECT_TRUE(hasLine(text, "INFO", "Port " + std::to_string(wide) + " opened successfully.")) << text;
}

}  // namespace
}  // namespace kinevra
