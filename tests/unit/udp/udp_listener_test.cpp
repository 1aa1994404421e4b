// The UDP listener on a real socket, stepped by hand on a manual clock: the
// controller's frames reach the host, garbage never counts, and 8 s of
// silence drop the host's pending messages once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "link/message_routing.h"
#include "log_tail.h"
#include "manual_clock.h"
#include "udp/udp_listener.h"
#include "udp_link_support.h"

namespace kinevra {
namespace {

using test::crcFrame;
using test::normalForm;

struct ListenerTest : ::testing::Test {
  test::ManualClock clock;
  LinkState link{clock};
  test::Peer controller;
  std::uint16_t port = test::freeUdpPort();
  UdpListener listener{link, clock};

  void SetUp() override { link.listenPort = port; }

  // Sends one datagram and lets the listener take it (loopback delivers at once).
  void deliver(const std::vector<std::uint8_t>& datagram) {
    controller.sendTo(port, datagram);
    ASSERT_TRUE(listener.step());
  }

  std::vector<std::uint8_t> read() {
    std::vector<std::uint8_t> buffer(512);
    const int n = readMessagemmf(link, buffer.data());
    buffer.resize(static_cast<std::size_t>(n));
    return buffer;
  }
};

TEST_F(ListenerTest, FramesArriveInNormalFormAndGarbageNeverRefreshesTheLink) {
  test::LogTail log;
  listener.begin();
  EXPECT_TRUE(link.linkRunning);
  EXPECT_FALSE(link.linkStopped);
  EXPECT_TRUE(link.udpLinkActive);
  EXPECT_EQ(isConnected(link), 1);

  // Nothing but garbage: no frame, no link, nothing for the host.
  std::mt19937 random(7);
  std::vector<std::uint8_t> noise(1500);
  for (auto& b : noise) b = static_cast<std::uint8_t>(random() % 7 == 0 ? 0xF9 : random());
  std::vector<std::uint8_t> badCrc = crcFrame(0xF8);
  badCrc[10] ^= 0x40;
  const std::vector<std::uint8_t> f9 = crcFrame(0xF9);
  const std::vector<std::uint8_t> halfAFrame(f9.begin(), f9.begin() + 5);
  // The largest datagram there is, with a valid frame at its end: too long
  // for the listener, dropped whole.
  std::vector<std::uint8_t> largest(65507, 0xF9);
  std::copy(f9.begin(), f9.end(), largest.end() - 8);
  for (const auto& d : {noise, badCrc, halfAFrame, std::vector<std::uint8_t>{}, std::vector<std::uint8_t>(8192, 0xF8), largest})
    deliver(d);
  EXPECT_FALSE(link.udpDataValid);
  EXPECT_EQ(link.udpRxQueue.size(), 0u);
  EXPECT_TRUE(read().empty());

  // Frames after stray bytes, two in one datagram; an F8 cut at the end of
  // its datagram is not finished by the next one.
  const std::vector<std::uint8_t> f8 = crcFrame(0xF8, 3);
  std::vector<std::uint8_t> d{0x01, 0xF9, 0x77};
  d.insert(d.end(), f9.begin(), f9.end());
  d.insert(d.end(), f8.begin(), f8.end());
  d.insert(d.end(), f8.begin(), f8.begin() + 20);
  deliver(d);
  deliver(std::vector<std::uint8_t>(f8.begin() + 20, f8.end()));
  EXPECT_TRUE(link.udpDataValid);
  EXPECT_EQ(newMessagemmf(link), 1);
  EXPECT_EQ(read(), normalForm(f9));
  EXPECT_EQ(read(), normalForm(f8));
  EXPECT_TRUE(read().empty());

  link.linkRunning = false;
  EXPECT_FALSE(listener.step());
  listener.end();
  EXPECT_TRUE(link.linkStopped);
  EXPECT_FALSE(link.linkRunning);

  const std::string p = std::to_string(port);
  const std::vector<std::string> expected{"Udp listen thread: starting",
                                          "Udp class init",
                                          "Opening port: " + p,
                                          "Port " + p + " opened successfully.",
                                          "Udp listen thread: port opened starting main routine",
                                          "Udp listen thread: closing",
                                          "Port closed."};
  EXPECT_EQ(test::logMessages(log.text()), expected) << log.text();
}

TEST_F(ListenerTest, EightSecondsOfSilenceDropThePendingMessagesOnce) {
  listener.begin();
  deliver(crcFrame(0xF9));
  ASSERT_TRUE(link.udpDataValid);

  const std::uint8_t message[] = {'m', 's', 'g', 0x0A, 0x0D};
  auto queueBoth = [&] {
    ASSERT_TRUE(link.serialTxQueue.push(message, sizeof message));
    ASSERT_EQ(sendMessagemmf(link, message), 1);  // UDP carries the link: the UDP queue
  };
  queueBoth();
  queueBoth();
  EXPECT_EQ(link.udpTxQueue.size(), 2u);
  ASSERT_TRUE(link.udpEngineOutput.put(std::vector<std::uint8_t>(36, 0xFC)));

  // Garbage just before the limit does not count as a frame.
  clock.advanceUs(7'990'000.0);
  deliver({0xF9, 0xF9, 1, 2, 3, 4, 5, 6});
  EXPECT_TRUE(link.udpDataValid);
  EXPECT_EQ(link.udpTxQueue.size(), 2u);

  clock.advanceUs(20'000.0);
  ASSERT_TRUE(listener.step());
  EXPECT_FALSE(link.udpDataValid);
  EXPECT_EQ(link.udpTxQueue.size(), 0u);
  EXPECT_EQ(link.serialTxQueue.size(), 0u);
  EXPECT_FALSE(link.udpEngineOutput.pending());

  // Once per silence: what is queued afterwards stays.
  ASSERT_EQ(sendMessagemmf(link, message), 1);  // neither link valid: both queues
  clock.advanceUs(30'000'000.0);
  ASSERT_TRUE(listener.step());
  EXPECT_EQ(link.udpTxQueue.size(), 1u);
  EXPECT_EQ(link.serialTxQueue.size(), 1u);

  // A valid frame brings the link back, and its silence counts anew.
  deliver(crcFrame(0xF9));
  EXPECT_TRUE(link.udpDataValid);
  clock.advanceUs(7'000'000.0);
  ASSERT_TRUE(listener.step());
  EXPECT_TRUE(link.udpDataValid);
}

TEST_F(ListenerTest, WhileSerialDataIsValidNoDatagramIsRead) {
  listener.begin();
  link.serialDataValid = true;
  controller.sendTo(port, crcFrame(0xF9));
  clock.sleepsNs.clear();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(listener.step());
  EXPECT_FALSE(link.udpDataValid);
  EXPECT_EQ(link.udpRxQueue.size(), 0u);
  // Idle steps of 100 ms, not 2 ms cycles.
  ASSERT_EQ(clock.sleepsNs.size(), 3u);
  for (std::int64_t s : clock.sleepsNs) EXPECT_EQ(s, 100'000'000);

  // The datagram waited in the socket.
  link.serialDataValid = false;
  ASSERT_TRUE(listener.step());
  EXPECT_TRUE(link.udpDataValid);
  EXPECT_EQ(link.udpRxQueue.size(), 1u);
  EXPECT_EQ(clock.sleepsNs.back(), 2'000'000);
}

TEST_F(ListenerTest, AVersionReportOf328SwitchesAutomaticMessagesToTheCrc) {
  listener.begin();
  deliver({0xF9, 0xF9, 0x02, 0x00, 0x1B, 0x03, 0x0A, 0x0D});  // 327
  EXPECT_EQ(link.autoMessageCrc.load(), 0);
  deliver({0xF9, 0xF9, 0x02, 0x00, 0x1C, 0x03, 0x0A, 0x0D});  // 328
  EXPECT_EQ(link.autoMessageCrc.load(), 1);
}

TEST_F(ListenerTest, APortThatCannotBeOpenedLeavesTheLoopRunningOnNothing) {
  UdpSocket holder;  // holds the port on every address
  ASSERT_TRUE(holder.openPort(0));
  platform::Ipv4Endpoint held;
  ASSERT_TRUE(platform::localEndpoint(holder.getSocket(), &held));
  link.listenPort = held.port;
  test::LogTail log;
  listener.begin();
  EXPECT_TRUE(listener.step());
  EXPECT_TRUE(link.linkRunning);
  EXPECT_EQ(test::countPrefixed(log.text(), "Udp listen thread: port opened"), 1u);
  EXPECT_FALSE(test::logMessages(log.text(), "ERROR").empty());
}

}  // namespace
}  // namespace kinevra
