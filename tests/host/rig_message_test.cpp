// The rig message as the demo reads it back, and how it pairs the game's
// updates with what the controller received.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

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

// Updates a (twice read), b, c, d, e and the twins f1/f2 with one key; the
// controller gets messages late, repeated, out of the bridge's slot, one it
// cannot place and one two cycles of other telemetry share.
TEST(RigMessage, LatencyRunsFromEachUpdateToItsFirstMessageAtTheController) {
  const UpdateKey a{1, 10, 0}, b{2, 10, 0}, c{3, 10, 0}, d{4, 10, 0}, e{5, 10, 0}, f{6, 10, 0};
  const std::vector<UpdateStamp> stamps = {{1'000'000, a}, {3'000'000, b}, {5'000'000, c},
                                           {7'000'000, d}, {8'000'000, e}, {9'000'000, f},
                                           {9'500'000, f}};
  const std::vector<CycleRecord> cycles = {
      {a, {0.1f}}, {a, {0.15f}},  // a read by two cycles: its first message counts
      {b, {0.2f}}, {c, {0.3f}},   // c's message is replaced before it is sent
      {d, {0.4f}}, {e, {0.5f}},
      {d, {0.5f}},  // e's message has the axes of a cycle of d: it tells nothing
      {f, {0.6f}}};
  const std::vector<ReceivedFrame> received = {
      onWire(2'500'000, message(0.1f, 0, 0)),
      onWire(3'000'000, message(0.15f, 0, 0)),
      onWire(4'000'000, message(0.1f, 0, 0)),  // a repeat
      {4'100'000, "F9", "lfcr", {0xF9, 0xF9, 1, 0, 0, 0, 0x0A, 0x0D}},
      onWire(4'500'000, message(0.2f, 0, 0)),
      onWire(4'600'000, message(0.25f, 0, 0)),  // no cycle computed it
      onWire(9'000'000, message(0.4f, 0, 0)),
      onWire(9'100'000, message(0.5f, 0, 0)),
      onWire(9'900'000, message(0.6f, 0, 0)),  // f's key is not its own
  };
  std::vector<double> ms = updateLatencies(stamps, cycles, received);
  std::sort(ms.begin(), ms.end());
  ASSERT_EQ(ms.size(), 3u);  // a, b, d
  EXPECT_DOUBLE_EQ(ms[0], 1.5);
  EXPECT_DOUBLE_EQ(ms[1], 1.5);
  EXPECT_DOUBLE_EQ(ms[2], 2.0);

  UpdateStamp s;
  ASSERT_TRUE(parseStampLine("123456 0.5 -0 13.25\r", s));
  EXPECT_EQ(s.ns, 123456);
  EXPECT_EQ(s.key, (UpdateKey{0.5f, 0.0f, 13.25f}));
  EXPECT_FALSE(parseStampLine("123456 0.5 nan 1", s));
  EXPECT_FALSE(parseStampLine("123456 0.5 1", s));
  EXPECT_FALSE(parseStampLine("123456 0.5 1 2 3", s));
  EXPECT_FALSE(parseStampLine("x 0.5 1 2", s));
}

TEST(RigMessage, SpreadGivesMedianAndWorst) {
  const Spread s = spreadOf({3.0, 1.0, 2.0, 10.0});
  EXPECT_EQ(s.count, 4u);
  EXPECT_DOUBLE_EQ(s.median, 2.5);
  EXPECT_DOUBLE_EQ(s.p99, 10.0);
  EXPECT_DOUBLE_EQ(s.worst, 10.0);
  std::vector<double> many(200);
  for (std::size_t i = 0; i < many.size(); ++i) many[i] = static_cast<double>(i + 1);
  EXPECT_DOUBLE_EQ(spreadOf(many).p99, 198.0);
  EXPECT_EQ(spreadOf({}).count, 0u);
}

}  // namespace
