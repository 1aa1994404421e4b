// The rig's output message, built by the engine's motion cycle: layout, rig
// limits, the unsigned belt and wind fields, NaN and infinities, and what
// reaches the controller link.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "link/engine_output.h"
#include "output_fixture.h"

namespace kinevra {
namespace {

using test::OutputFixture;
using Bytes = std::array<std::uint8_t, 4>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST_F(OutputFixture, MessageLayout) {
  Message before(36, 0xAA);
  engine->copyOutputData(before.data());
  EXPECT_EQ(before, Message(36, 0));  // all zero until the first message

  start();
  input[gd::kLateralAccelG] = 0.25;
  input[gd::kLongitudinalAccelG] = -0.5;
  input[gd::kVerticalAccelG] = 1.5;
  input[gd::kYawSpeed] = -2.0;
  input[gd::kRollSpeed] = 3.0;
  input[gd::kPitchSpeed] = 0.125;
  input[test::kSpeed] = 40.0;
  cycle();
  const OutputMessage m = message();
  EXPECT_EQ(m[0], 0xFC);
  EXPECT_EQ(m[1], 0xFC);
  const float expected[6] = {0.25f, -0.5f, 1.5f, -2.0f, 3.0f, 0.125f};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(channel(i), expected[i]) << i;
  // 1.5f is 3F C0 00 00: least significant byte first.
  EXPECT_EQ(m[10], 0x00);
  EXPECT_EQ(m[12], 0xC0);
  EXPECT_EQ(m[13], 0x3F);
  EXPECT_EQ(field(kBeltOffset), (Bytes{0, 0, 0, 0}));  // -0.5 is below 0
  EXPECT_EQ(field(kWindOffset), (Bytes{0, 0, 0, 40}));
  EXPECT_EQ(m[34], 0x0A);
  EXPECT_EQ(m[35], 0x0D);

  unsigned char copy[36];
  engine->copyOutputData(copy);
  EXPECT_EQ(std::memcmp(copy, m.data(), 36), 0);
}

TEST_F(OutputFixture, RigLimits) {
  start();
  engine->setRigDofLimit(0, -0.5, 0.5);
  input[gd::kLateralAccelG] = 0.7;
  cycle();
  EXPECT_EQ(channel(0), 0.5f);
  input[gd::kLateralAccelG] = -0.7;
  cycle();
  EXPECT_EQ(channel(0), -0.5f);

  engine->setRigDofLimit(0, 0.0, 0.0);  // as constructed: the rig stays still
  input[gd::kLateralAccelG] = 0.7;
  cycle();
  EXPECT_EQ(channel(0), 0.0f);

  // Low above high: below low gives low, anything else min(high, value).
  engine->setRigDofLimit(1, 2.0, 1.0);
  input[gd::kLongitudinalAccelG] = 1.5;
  cycle();
  EXPECT_EQ(channel(1), 2.0f);
  input[gd::kLongitudinalAccelG] = 2.0;
  cycle();
  EXPECT_EQ(channel(1), 1.0f);
  input[gd::kLongitudinalAccelG] = 3.0;
  cycle();
  EXPECT_EQ(channel(1), 1.0f);

  // Channels and arguments that do not exist, and pairs with a NaN, store nothing.
  engine->setRigDofLimit(-1, 5.0, 5.0);
  engine->setRigDofLimit(23, 5.0, 5.0);
  engine->setRigDofLimit(2, kNaN, 0.1);
  engine->setRigDofLimit(2, -0.1, kNaN);
  input[gd::kVerticalAccelG] = 50.0;
  cycle();
  EXPECT_EQ(channel(2), 50.0f);
  engine->setRigDofLimit(22, -1.0, 1.0);  // stored, not used by the message
  EXPECT_EQ(engine->rigDofLimits[22].high.load(), 1.0);
}

TEST_F(OutputFixture, NaNHoldsTheLastValueAndInfinitiesAreLimited) {
  start();
  engine->setRigDofLimit(3, -1.0, 1.0);
  // Before any value was sent, a NaN channel gives 0.
  input[gd::kLateralAccelG] = kNaN;
  cycle();
  EXPECT_EQ(channel(0), 0.0f);

  input[gd::kLateralAccelG] = 0.75;
  cycle();
  input[gd::kLateralAccelG] = kNaN;
  cycle(3);
  EXPECT_EQ(channel(0), 0.75f);
  EXPECT_TRUE(std::isnan(frame.cue[0]));
  // A held value obeys limits narrowed meanwhile.
  engine->setRigDofLimit(0, -0.5, 0.5);
  cycle();
  EXPECT_EQ(channel(0), 0.5f);

  input[gd::kYawSpeed] = kInf;
  cycle();
  EXPECT_EQ(channel(3), 1.0f);
  input[gd::kYawSpeed] = -kInf;
  cycle();
  EXPECT_EQ(channel(3), -1.0f);
  // A double beyond single precision becomes an infinity, then the limit.
  input[gd::kYawSpeed] = 1e300;
  cycle();
  EXPECT_EQ(channel(3), 1.0f);

  // No message ever carries a NaN channel.
  for (int i = 0; i < 6; ++i) EXPECT_FALSE(std::isnan(channel(i))) << i;
}

TEST_F(OutputFixture, BeltAndWindFields) {
  start();
  struct Case {
    double value;
    Bytes bytes;
  };
  const Case cases[] = {
      {-3.0, {0, 0, 0, 0}},
      {300.6, {0x00, 0x00, 0x01, 0x2C}},
      {5e9, {0xFF, 0xFF, 0xFF, 0xFF}},
      {4294967295.0, {0xFF, 0xFF, 0xFF, 0xFF}},
      {16777216.0, {0x01, 0x00, 0x00, 0x00}},
      {kInf, {0xFF, 0xFF, 0xFF, 0xFF}},
      {-kInf, {0, 0, 0, 0}},
      {kNaN, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    input[gd::kLongitudinalAccelG] = c.value;  // the belt sum's only part
    input[test::kSpeed] = c.value;
    cycle();
    EXPECT_EQ(field(kBeltOffset), c.bytes) << c.value;
    EXPECT_EQ(field(kWindOffset), c.bytes) << c.value;
  }
}

// The message reaches the controller link whole, with its known length,
// also when its channel bytes hold LF CR: a belt of 2573 is 00 00 0A 0D. It
// waits beside each send queue as the newest engine message, never queued
// behind older ones.
TEST_F(OutputFixture, TheLinkGetsTheWholeMessage) {
  start();
  input[gd::kLongitudinalAccelG] = 2573.0;
  cycle(5);
  EXPECT_EQ(field(kBeltOffset), (Bytes{0x00, 0x00, 0x0A, 0x0D}));
  const OutputMessage m = message();
  Message sent;
  ASSERT_TRUE(takeSerialEngineOutput(*controller, sent));
  EXPECT_EQ(sent, Message(m.begin(), m.end()));
  ASSERT_TRUE(takeUdpEngineOutput(*controller, sent));
  EXPECT_EQ(sent, Message(m.begin(), m.end()));
  EXPECT_FALSE(takeSerialEngineOutput(*controller, sent));  // one pending message, the newest
  EXPECT_TRUE(controller->serialTxQueue.empty());
  EXPECT_TRUE(controller->udpTxQueue.empty());
}

// A failed filter installation suspends the output: nothing more reaches
// the link and getOutputData keeps the last message.
TEST_F(OutputFixture, SuspendedOutputKeepsTheLastMessage) {
  start();
  input[gd::kLateralAccelG] = 0.5;
  cycle();
  const OutputMessage last = message();
  Message sent;
  takeSerialEngineOutput(*controller, sent);
  ASSERT_FALSE(engine->installFilterString(0, 0, "GAIN(VALUE;"));
  ASSERT_TRUE(engine->outputSuspended.load());
  input[gd::kLateralAccelG] = 0.9;
  cycle(5);
  EXPECT_EQ(message(), last);
  EXPECT_FALSE(controller->serialEngineOutput.pending());

  ASSERT_TRUE(engine->installFilterString(0, 0, "VALUE"));
  cycle(3);
  EXPECT_NE(message(), last);
  EXPECT_TRUE(controller->serialEngineOutput.pending());
}

// Without a running link the message is refused there, and still kept.
TEST_F(OutputFixture, NoLinkStillBuildsTheMessage) {
  start();
  controller->bridgeRunning = false;
  controller->serialEngineOutput.discard();
  controller->udpEngineOutput.discard();
  input[gd::kLateralAccelG] = 0.5;
  cycle();
  EXPECT_EQ(channel(0), 0.5f);
  EXPECT_FALSE(controller->serialEngineOutput.pending());
  EXPECT_FALSE(controller->udpEngineOutput.pending());
}

// The fan byte reaches the wind controller's buffer while it runs; an
// initialised, stopped controller is started instead; a switched-off wind
// channel leaves it alone.
TEST_F(OutputFixture, WindByteReachesTheFanBuffer) {
  start();
  engine->wind.running = true;
  engine->wind.paused = true;
  input[test::kSpeed] = 50.0;
  cycle();
  EXPECT_FALSE(engine->wind.paused.load());
  EXPECT_EQ(engine->wind.buffer, (std::vector<std::uint8_t>{127}));
  input[test::kSpeed] = 150.0;
  cycle();
  EXPECT_EQ(engine->wind.buffer, (std::vector<std::uint8_t>{255}));

  engine->setActiveAxis(0, 21, false);
  engine->wind.paused = true;
  input[test::kSpeed] = 10.0;
  cycle();
  EXPECT_TRUE(engine->wind.paused.load());
  EXPECT_EQ(engine->wind.buffer, (std::vector<std::uint8_t>{255}));
  engine->wind.running = false;
}

}  // namespace
}  // namespace kinevra
