// The multicast sender stepped by hand on a manual clock, sending over the
// loopback interface to a peer socket: what leaves, with which trailer, how
// often, and every way a run ends.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "link/crc16.h"
#include "link/engine_output.h"
#include "link/message_routing.h"
#include "log_tail.h"
#include "manual_clock.h"
#include "platform/adapters.h"
#include "udp/adapter_choice.h"
#include "udp/multicast_address.h"
#include "udp/multicast_sender.h"
#include "udp_link_support.h"

namespace kinevra {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The loopback interface dressed as the machine's one wired adapter.
platform::AdapterList loopbackAsEthernet() {
  platform::AdapterList list;
  list.adapters.push_back({"Test Ethernet", platform::kIfTypeEthernet, platform::kOperStatusUp, 10,
                           {{false, 0}, {true, platform::kLoopbackAddress}}});
  return list;
}

Bytes withCrc(Bytes m) {
  const std::uint16_t c = crc16(m.data(), m.size() - 2);
  m[m.size() - 2] = static_cast<std::uint8_t>(c & 0xFF);
  m[m.size() - 1] = static_cast<std::uint8_t>(c >> 8);
  return m;
}

struct SenderTest : ::testing::Test {
  test::ManualClock clock;
  LinkState link{clock};
  test::Peer controller;  // stands in for the group
  MulticastSender sender{link, clock, [](ErrorLogger& l) { return choosePreferredAdapter(l, loopbackAsEthernet()); }};

  void SetUp() override { setMulticastAddr(link, "127.0.0.1", controller.port()); }

  std::vector<Bytes> cycles(int n) {
    for (int i = 0; i < n; ++i) EXPECT_TRUE(sender.step());
    return controller.receiveAll();
  }
};

TEST_F(SenderTest, HostMessagesLeaveWithTheirCrcAndTheEnginesNewestMessageOnce) {
  test::LogTail log;
  ASSERT_TRUE(sender.begin());
  EXPECT_TRUE(link.linkRunning);
  EXPECT_TRUE(link.udpLinkActive);
  EXPECT_EQ(sender.source().address, platform::kLoopbackAddress);
  EXPECT_EQ(sender.destination().port, controller.port());
  link.udpDataValid = true;  // the controller answers over UDP: messages take the UDP queue

  const Bytes five{'a', 'b', 'c', 0x0A, 0x0D};
  const Bytes longer{0xF1, 0xF1, 7, 0x0A, 0x0D, 9, 0x0A, 0x0D};  // an inner LF CR ends it
  ASSERT_EQ(sendMessagemmf(link, five.data()), 1);
  ASSERT_EQ(sendMessagemmf(link, longer.data()), 1);
  Bytes older(36, 0x11), newer(36, 0x22);
  older[0] = older[1] = newer[0] = newer[1] = 0xFC;
  older[34] = newer[34] = 0x0A;
  older[35] = newer[35] = 0x0D;
  ASSERT_TRUE(queueEngineOutput(link, older));
  ASSERT_TRUE(queueEngineOutput(link, newer));

  const std::vector<Bytes> sent = cycles(1);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0], withCrc(five));
  EXPECT_EQ(sent[0].size(), 5u);
  EXPECT_EQ(sent[1], withCrc(Bytes(longer.begin(), longer.begin() + 5)));
  EXPECT_EQ(sent[2], withCrc(newer));
  EXPECT_TRUE(cycles(3).empty());

  const std::string text = log.text();
  for (const char* m : {"Multicast Thread started.", "Starting GetPreferredEthernetAdapter routine.",
                        "Examining adapter: Test Ethernet", "Selected adapter IP: 127.0.0.1",
                        "Multicastthread: Bound to Ip: 127.0.0.1", "Multicastthread: starting Timer"})
    EXPECT_TRUE(test::hasMessage(text, m)) << m << "\n" << text;
}

TEST_F(SenderTest, ALoneAutomaticMessageIsSentTwelveTimesAndGetsItsCrcAfterVersion328) {
  ASSERT_TRUE(sender.begin());
  const Bytes state{0xF5, 0xF5, 1, 2, 0x0A, 0x0D};
  ASSERT_EQ(autoMessagemmf(link, state.data()), 1);
  std::vector<Bytes> sent = cycles(20);
  ASSERT_EQ(sent.size(), 12u);
  for (const Bytes& d : sent) EXPECT_EQ(d, state);  // with its LF CR

  // Once one was dropped the counter stands at 1: the next lone one goes 11 times.
  ASSERT_EQ(autoMessagemmf(link, state.data()), 1);
  EXPECT_EQ(cycles(20).size(), 11u);

  // A newer message behind the lone one ends its repetition after one more send.
  ASSERT_EQ(autoMessagemmf(link, state.data()), 1);
  EXPECT_EQ(cycles(3).size(), 3u);
  const Bytes second{0xF5, 0xF5, 3, 4, 0x0A, 0x0D};
  ASSERT_EQ(autoMessagemmf(link, second.data()), 1);
  sent = cycles(1);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], state);
  sent = cycles(20);
  ASSERT_EQ(sent.size(), 12u);
  for (const Bytes& d : sent) EXPECT_EQ(d, second);

  // The controller reported version 328: automatic messages carry the CRC.
  link.autoMessageCrc = 1;
  ASSERT_EQ(autoMessagemmf(link, state.data()), 1);
  sent = cycles(1);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], withCrc(state));
}

TEST_F(SenderTest, NothingLeavesWhileSerialDataIsValidOrTheInterfaceIsPaused) {
  ASSERT_TRUE(sender.begin());
  link.serialDataValid = true;
  link.udpDataValid = true;
  const Bytes m{'x', 0x0A, 0x0D};
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(link.udpTxQueue.push(m));
  clock.sleepsNs.clear();
  EXPECT_TRUE(cycles(2).empty());
  EXPECT_EQ(link.udpTxQueue.size(), 3u);
  EXPECT_EQ(clock.sleepsNs, (std::vector<std::int64_t>{100'000'000, 100'000'000}));

  link.serialDataValid = false;
  link.interfaceRunning = false;
  EXPECT_TRUE(cycles(1).empty());
  link.interfaceRunning = true;
  EXPECT_EQ(cycles(1).size(), 3u);
}

TEST_F(SenderTest, AStopEndsTheRunWithItsLogLines) {
  test::LogTail log;
  ASSERT_TRUE(sender.begin());
  link.linkRunning = false;
  EXPECT_FALSE(sender.step());
  sender.end();
  EXPECT_TRUE(link.linkStopped);
  EXPECT_EQ(link.udpLoops.load(), 0);
  const std::string text = log.text();
  EXPECT_EQ(test::countPrefixed(text, "Multicastthread: Closing Socket:"), 1u) << text;
  EXPECT_EQ(test::countPrefixed(text, "Multicastthread: Exiting:"), 1u) << text;
}

TEST_F(SenderTest, AFailedCloseIsLoggedAndTheThreadEndsNormally) {
  test::LogTail log;
  ASSERT_TRUE(sender.begin());
  sender.closeSocket = [](platform::SocketHandle s) {
    platform::closeSocket(s);
    return -1;
  };
  link.linkRunning = false;
  EXPECT_FALSE(sender.step());
  sender.end();  // the process lives on
  EXPECT_TRUE(link.linkStopped);
  EXPECT_FALSE(link.linkRunning);
  const std::string text = log.text();
  EXPECT_EQ(test::countPrefixed(text, "Multicastthread: Closing Socket failed:"), 1u) << text;
  EXPECT_EQ(test::countPrefixed(text, "Multicastthread: Exiting:"), 0u) << text;
}

TEST_F(SenderTest, ASendFailureEndsTheRunAtOnce) {
  setMulticastAddr(link, "127.0.0.1", 0);  // no datagram can go to port 0
  test::LogTail log;
  ASSERT_TRUE(sender.begin());
  ASSERT_TRUE(link.udpTxQueue.push(Bytes{'a', 0x0A, 0x0D}));
  ASSERT_TRUE(link.udpTxQueue.push(Bytes{'b', 0x0A, 0x0D}));
  EXPECT_FALSE(sender.step());
  EXPECT_FALSE(sender.step());
  sender.end();  // nothing more to do
  EXPECT_FALSE(link.linkRunning);
  EXPECT_TRUE(link.linkStopped);
  EXPECT_EQ(link.udpTxQueue.size(), 1u);
  const std::string text = log.text();
  EXPECT_EQ(test::countPrefixed(text, "Multicastthread: Send failed:"), 1u) << text;
  EXPECT_EQ(test::countPrefixed(text, "Multicastthread: Closing Socket"), 0u) << text;
}

TEST(SenderStart, WithoutASuitableAdapterOrAddressTheSenderStops) {
  test::ManualClock clock;
  struct Case {
    const char* address;
    const char* line;
    bool flagsCleared;
  };
  std::vector<Case> cases{{"", "Multicastthread:No suitable Ethernet found , exiting", true}};
#ifndef _WIN32
  // 192.0.2.1 (a documentation address) is on no interface here: bind fails.
  // (Wine binds such an address without complaint.)
  cases.push_back({"192.0.2.1", "Multicastthread:Socket failed  bind with error: ", false});
#endif
  for (const Case& c : cases) {
    LinkState link{clock};
    test::Peer nobody;
    setMulticastAddr(link, "127.0.0.1", nobody.port());  // should anything be sent, it stays here
    link.linkRunning = true;  // as if the listener ran
    test::LogTail log;
    MulticastSender sender(link, clock, [&](ErrorLogger&) { return std::string(c.address); });
    EXPECT_FALSE(sender.begin()) << c.address;
    EXPECT_FALSE(sender.step());
    EXPECT_EQ(link.linkRunning.load(), !c.flagsCleared) << c.address;
    EXPECT_EQ(link.linkStopped.load(), c.flagsCleared) << c.address;
    EXPECT_FALSE(link.udpLinkActive);
    EXPECT_EQ(test::countPrefixed(log.text(), c.line), 1u) << log.text();
  }
}

}  // namespace
}  // namespace kinevra
