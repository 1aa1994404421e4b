// The host's message calls: routing to the send queues, the automatic
// messages, and which receive queue the host reads.
#include <gtest/gtest.h>

#include <cstring>

#include "bridge_support.h"
#include "captured_stdout.h"
#include "link/message_routing.h"

namespace kinevra {
namespace {

using test::hostBuffer;

TEST(MessageRouting, NothingIsQueuedWithoutARunningLinkOrAMessage) {
  auto s = std::make_unique<LinkState>();
  const auto m = hostBuffer(38);
  std::uint8_t out[512];
  EXPECT_EQ(sendMessagemmf(*s, m.data()), -1);
  {
    test::Stdout out_;
    EXPECT_EQ(autoMessagemmf(*s, m.data()), 0);
    EXPECT_EQ(out_.take(), "no valid data");
  }
  EXPECT_TRUE(s->serialTxQueue.empty() && s->udpTxQueue.empty() && s->autoTxQueue.empty());

  // Either loop counts as running.
  s->linkRunning = true;
  EXPECT_EQ(sendMessagemmf(*s, m.data()), 1);

  // Null pointers are refused, never read.
  EXPECT_EQ(sendMessagemmf(*s, nullptr), -1);
  EXPECT_EQ(readMessagemmf(*s, nullptr), 0);
  {
    test::Stdout out_;
    EXPECT_EQ(autoMessagemmf(*s, nullptr), 0);
    EXPECT_EQ(out_.take(), "no valid data");
  }

  // No LF CR with its LF within the first 511 bytes: no message.
  std::vector<std::uint8_t> none(512, 0x41);
  none[511] = kLf;
  EXPECT_EQ(sendMessagemmf(*s, none.data()), -1);
  {
    test::Stdout out_;
    EXPECT_EQ(autoMessagemmf(*s, none.data()), 0);
    EXPECT_EQ(out_.take(), "no valid data");
  }
  EXPECT_EQ(s->serialTxQueue.size(), 1u);
  EXPECT_EQ(readMessagemmf(*s, out), 0);  // no link delivers frames
}

TEST(MessageRouting, AMessageEndsAtItsFirstLfCr) {
  auto s = test::runningLink();
  auto m = hostBuffer(38);
  m[10] = kLf;
  m[11] = kCr;
  ASSERT_EQ(sendMessagemmf(*s, m.data()), 1);
  Message q;
  ASSERT_TRUE(s->serialTxQueue.take(q));
  EXPECT_EQ(q, Message(m.begin(), m.begin() + 12));
  // The longest message fills the window.
  auto longest = hostBuffer(512);
  ASSERT_EQ(sendMessagemmf(*s, longest.data()), 1);
  ASSERT_TRUE(s->serialTxQueue.take(q));
  EXPECT_EQ(q.size(), 512u);
}

TEST(MessageRouting, EachMessageGoesWhereValidFramesComeFrom) {
  auto s = test::runningLink();
  const auto m = hostBuffer(8, 0xF9);

  // Neither link has valid frames: a copy to each queue, accepted even when
  // both are full.
  for (std::size_t i = 0; i < 150; ++i) ASSERT_EQ(sendMessagemmf(*s, m.data()), 1);
  EXPECT_EQ(s->serialTxQueue.size(), 150u);
  EXPECT_EQ(s->udpTxQueue.size(), 150u);
  EXPECT_EQ(sendMessagemmf(*s, m.data()), 1);
  EXPECT_EQ(s->serialTxQueue.size(), 150u);

  // Serial frames valid: serial only; a full serial queue refuses...
  s->serialDataValid = true;
  s->udpTxQueue.clear();
  EXPECT_EQ(sendMessagemmf(*s, m.data()), -1);
  EXPECT_TRUE(s->udpTxQueue.empty());
  // ...unless UDP frames are valid too, when the message goes to UDP.
  s->udpDataValid = true;
  EXPECT_EQ(sendMessagemmf(*s, m.data()), 1);
  EXPECT_EQ(s->udpTxQueue.size(), 1u);
  s->serialTxQueue.clear();
  EXPECT_EQ(sendMessagemmf(*s, m.data()), 1);
  EXPECT_EQ(s->serialTxQueue.size(), 1u);
  EXPECT_EQ(s->udpTxQueue.size(), 1u);

  // Only UDP frames valid: UDP only, refused when full.
  s->serialDataValid = false;
  for (std::size_t i = 1; i < 150; ++i) ASSERT_EQ(sendMessagemmf(*s, m.data()), 1);
  EXPECT_EQ(sendMessagemmf(*s, m.data()), -1);
  EXPECT_EQ(s->serialTxQueue.size(), 1u);
  EXPECT_EQ(s->udpTxQueue.size(), 150u);
}

TEST(MessageRouting, AutomaticMessagesQueueUpTo150) {
  auto s = test::runningLink();
  const auto m = hostBuffer(8, 0xF9);
  for (std::size_t i = 0; i < 150; ++i) ASSERT_EQ(autoMessagemmf(*s, m.data()), 1);
  test::Stdout out_;
  EXPECT_EQ(autoMessagemmf(*s, m.data()), 0);
  EXPECT_EQ(out_.take(), "");  // a full queue is not reported
  EXPECT_TRUE(s->serialTxQueue.empty() && s->udpTxQueue.empty());
}

TEST(MessageRouting, TheHostReadsTheLinkThatDeliversValidFrames) {
  auto s = std::make_unique<LinkState>();
  const auto serialFrame = hostBuffer(8, 0xF9, 1);
  const auto udpFrame = hostBuffer(38, 0xF8, 2);
  s->serialRxQueue.push(serialFrame.data(), 8);
  s->udpRxQueue.push(udpFrame.data(), 38);
  std::uint8_t out[512];

  // Neither valid: nothing, and nothing taken.
  EXPECT_EQ(newMessagemmf(*s), 0);
  EXPECT_EQ(readMessagemmf(*s, out), 0);
  EXPECT_EQ(s->serialRxQueue.size() + s->udpRxQueue.size(), 2u);

  // Serial valid: the serial queue, even while the UDP one holds frames.
  s->serialDataValid = true;
  s->udpDataValid = true;
  EXPECT_EQ(newMessagemmf(*s), 1);
  ASSERT_EQ(readMessagemmf(*s, out), 8);
  EXPECT_EQ(std::memcmp(out, serialFrame.data(), 8), 0);
  EXPECT_EQ(newMessagemmf(*s), 0);
  EXPECT_EQ(readMessagemmf(*s, out), 0);
  EXPECT_EQ(s->udpRxQueue.size(), 1u);

  // UDP only.
  s->serialDataValid = false;
  EXPECT_EQ(newMessagemmf(*s), 1);
  ASSERT_EQ(readMessagemmf(*s, out), 38);
  EXPECT_EQ(std::memcmp(out, udpFrame.data(), 38), 0);
  EXPECT_EQ(newMessagemmf(*s), 0);
}

TEST(MessageRouting, ConnectedNeedsARunningLinkAndAPortOrUdp) {
  auto s = std::make_unique<LinkState>();
  EXPECT_EQ(isConnected(*s), 0);
  s->serialPortOpen = true;
  EXPECT_EQ(isConnected(*s), 0);  // no loop runs
  s->bridgeRunning = true;
  EXPECT_EQ(isConnected(*s), 1);
  s->serialPortOpen = false;
  EXPECT_EQ(isConnected(*s), 0);
  s->udpLinkActive = true;
  EXPECT_EQ(isConnected(*s), 1);
  s->bridgeRunning = false;
  s->linkRunning = true;
  EXPECT_EQ(isConnected(*s), 1);
}

}  // namespace
}  // namespace kinevra
