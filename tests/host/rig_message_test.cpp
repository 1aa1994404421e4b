// The rig message as the demo reads it back, and how it pairs what the host
// saw with what the controller received.
#include <gtest/gtest.h>

#include <cstring>

#include "rig_message.h"

namespace {

using namespace kinevra_host;

RigMessageBytes message(float sway, std::uint32_t belt, std::uint32_t wind) {
  RigMessageBytes m{};
  m[0] = m[1] = 0xFC;
  std::uint32_t bits;
  std::memcpy(&bits, &sway, 4);
  for (int i = 0; i < 4; ++i) m[static_cast<std::size_t>(2 + i)] = static_cast<std::uint8_t>(bits >> (8 * i));
  for (int i = 0; i < 4; ++i) {
    m[static_cast<std::size_t>(26 + i)] = static_cast<std::uint8_t>(belt >> (24 - 8 * i));
    m[static_cast<std::size_t>(30 + i)] = static_cast<std::uint8_t>(wind >> (24 - 8 * i));
  }
  m[34] = 0x0A;
  m[35] = 0x0D;
  return m;
}

ReceivedFrame onWire(std::int64_t ns, RigMessageBytes m, bool crcTrailer = true) {
  if (crcTrailer) m[34] = 0x12, m[35] = 0x34;  // the bridge writes the CRC there
  return {ns, "FC", "crc-ok", {m.begin(), m.end()}};
}

TEST(RigMessage, DecodesFloatsLittleEndianAndCountersBigEndian) {
  RigMessage out;
  const RigMessageBytes m = message(-0.25f, 300, 0xFFFFFFFF);
  ASSERT_TRUE(decodeRigMessage(m.data(), m.size(), out));
  EXPECT_EQ(out.axes[0], -0.25f);
  EXPECT_EQ(out.axes[1], 0.0f);
  EXPECT_EQ(out.belt, 300u);  // 00 00 01 2C
  EXPECT_EQ(out.wind, 0xFFFFFFFFu);
  EXPECT_FALSE(decodeRigMessage(m.data(), 35, out));  // too short
  RigMessageBytes other = m;
  other[1] = 0xF8;
  EXPECT_FALSE(decodeRigMessage(other.data(), other.size(), out));
}

TEST(RigMessage, ParsesRigsimLogLines) {
  ReceivedFrame f;
  ASSERT_TRUE(parseReceivedLine("123456789 FC crc-ok FCFC0000803F sway=1 surge=0", f));
  EXPECT_EQ(f.ns, 123456789);
  EXPECT_EQ(f.kind, "FC");
  EXPECT_EQ(f.status, "crc-ok");
  EXPECT_EQ(f.bytes, (std::vector<std::uint8_t>{0xFC, 0xFC, 0x00, 0x00, 0x80, 0x3F}));
  ASSERT_TRUE(parseReceivedLine("5 junk - 0A0D", f));
  EXPECT_EQ(f.kind, "junk");
  EXPECT_FALSE(parseReceivedLine("", f));
  EXPECT_FALSE(parseReceivedLine("12x FC crc-ok FCFC", f));
  EXPECT_FALSE(parseReceivedLine("12 FC crc-ok FCF", f));   // half a byte
  EXPECT_FALSE(parseReceivedLine("12 FC crc-ok FCZZ", f));  // not hex
}

TEST(RigMessage, LatencyPairsEachSeenMessageWithItsFirstArrival) {
  const auto a = message(0.1f, 0, 0), b = message(0.2f, 0, 0), c = message(0.3f, 0, 0), d = message(0.4f, 0, 0);
  const std::vector<SeenMessage> seen = {{1'000'000, a}, {3'000'000, b}, {5'000'000, c}, {7'000'000, d}};
  const std::vector<ReceivedFrame> received = {
      onWire(2'000'000, a),
      onWire(4'000'000, a),  // a repeat: not a second arrival of b
      onWire(4'500'000, b),
      // c was replaced by d before the bridge sent it: never arrives
      {4'600'000, "F9", "lfcr", {0xF9, 0xF9, 1, 0, 0, 0, 0x0A, 0x0D}},
      onWire(6'900'000, d),  // seen by the host's poll after it arrived
  };
  const std::vector<double> ms = deliveryLatencies(seen, received);
  ASSERT_EQ(ms.size(), 3u);
  EXPECT_DOUBLE_EQ(ms[0], 1.0);
  EXPECT_DOUBLE_EQ(ms[1], 1.5);
  EXPECT_DOUBLE_EQ(ms[2], 0.0);
}

TEST(RigMessage, SpreadGivesMedianAndWorst) {
  const Spread s = spreadOf({3.0, 1.0, 2.0, 10.0});
  EXPECT_EQ(s.count, 4u);
  EXPECT_DOUBLE_EQ(s.median, 2.5);
  EXPECT_DOUBLE_EQ(s.worst, 10.0);
  EXPECT_EQ(spreadOf({}).count, 0u);
}

}  // namespace
