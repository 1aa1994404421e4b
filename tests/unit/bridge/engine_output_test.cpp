// The engine's output slot beside each send queue.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <thread>

#include "allocation_counter.h"
#include "bridge_support.h"
#include "link/engine_output.h"
#include "link/message_routing.h"

namespace kinevra {
namespace {

// A 36-byte rig message whose channel bytes hold LF CR pairs; number goes
// into bytes 2..5.
std::array<std::uint8_t, 36> rigMessage(std::uint32_t number) {
  std::array<std::uint8_t, 36> m{};
  m[0] = m[1] = 0xFC;
  std::memcpy(&m[2], &number, 4);
  m[10] = kLf;
  m[11] = kCr;
  m[34] = kLf;
  m[35] = kCr;
  return m;
}

Message asMessage(const std::array<std::uint8_t, 36>& m) { return Message(m.begin(), m.end()); }

std::uint32_t numberOf(const Message& m) {
  std::uint32_t n = 0;
  std::memcpy(&n, &m[2], 4);
  return n;
}

TEST(EngineOutput, TheNewestMessageWaitsWholeBesideTheHostQueues) {
  auto s = std::make_unique<LinkState>();
  EXPECT_FALSE(queueEngineOutput(*s, rigMessage(1)));  // no link runs
  s->bridgeRunning = true;
  EXPECT_FALSE(queueEngineOutput(*s, {}));
  std::vector<std::uint8_t> tooLong(kMaxMessageBytes + 1, 1);
  EXPECT_FALSE(queueEngineOutput(*s, tooLong));

  // Host messages queued before and after keep their queue to themselves.
  const auto host = test::hostBuffer(8, 0xF9);
  ASSERT_EQ(sendMessagemmf(*s, host.data()), 1);
  for (std::uint32_t n = 1; n <= 500; ++n) ASSERT_TRUE(queueEngineOutput(*s, rigMessage(n)));
  ASSERT_EQ(sendMessagemmf(*s, host.data()), 1);
  EXPECT_EQ(s->serialTxQueue.size(), 2u);
  EXPECT_EQ(s->udpTxQueue.size(), 2u);

  // Neither link valid: each slot holds the newest, all 36 bytes.
  Message m;
  ASSERT_TRUE(takeSerialEngineOutput(*s, m));
  EXPECT_EQ(m, asMessage(rigMessage(500)));
  EXPECT_FALSE(takeSerialEngineOutput(*s, m));
  ASSERT_TRUE(takeUdpEngineOutput(*s, m));
  EXPECT_EQ(numberOf(m), 500u);
  EXPECT_FALSE(takeUdpEngineOutput(*s, m));

  // Serial valid: serial only; UDP only: UDP only.
  s->serialDataValid = true;
  s->udpDataValid = true;
  ASSERT_TRUE(queueEngineOutput(*s, rigMessage(7)));
  EXPECT_TRUE(s->serialEngineOutput.pending());
  EXPECT_FALSE(s->udpEngineOutput.pending());
  s->serialDataValid = false;
  ASSERT_TRUE(queueEngineOutput(*s, rigMessage(8)));
  ASSERT_TRUE(takeSerialEngineOutput(*s, m));
  EXPECT_EQ(numberOf(m), 7u);
  ASSERT_TRUE(takeUdpEngineOutput(*s, m));
  EXPECT_EQ(numberOf(m), 8u);

  EXPECT_TRUE(queueEngineOutput(*s, rigMessage(9)));
  EXPECT_TRUE(s->udpEngineOutput.discard());
  EXPECT_FALSE(s->udpEngineOutput.discard());
}

TEST(EngineOutput, HandingOverAndTakingAllocateNothing) {
  auto s = test::runningLink();
  Message kept;
  kept.reserve(kMaxMessageBytes);
  const auto msg = rigMessage(3);
  CountAllocations count;
  for (int i = 0; i < 1000; ++i) {
    queueEngineOutput(*s, msg);
    takeSerialEngineOutput(*s, kept);
    takeUdpEngineOutput(*s, kept);
  }
  EXPECT_EQ(count.count(), 0);
}

// The engine thread replaces while a sender takes: every message taken is one
// that was handed over, newer than the one taken before, and whole; the last
// one is taken or still waits.
TEST(EngineOutput, AProducerAndASenderNeverTearAMessage) {
  auto s = test::runningLink();
  s->serialDataValid = true;
  constexpr std::uint32_t kMessages = 20000;
  std::atomic<bool> done{false};
  std::thread engine([&] {
    for (std::uint32_t n = 1; n <= kMessages; ++n) queueEngineOutput(*s, rigMessage(n));
    done = true;
  });
  Message m;
  std::uint32_t last = 0;
  std::size_t taken = 0;
  for (;;) {
    const bool finished = done;
    while (takeSerialEngineOutput(*s, m)) {
      const std::uint32_t n = numberOf(m);
      ASSERT_GT(n, last);
      ASSERT_EQ(m, asMessage(rigMessage(n)));
      last = n;
      ++taken;
    }
    if (finished) break;
    std::this_thread::yield();
  }
  engine.join();
  EXPECT_EQ(last, kMessages);
  EXPECT_GT(taken, 0u);
}

}  // namespace
}  // namespace kinevra
