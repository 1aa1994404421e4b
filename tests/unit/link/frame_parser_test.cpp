// Cutting, checking and queuing of frames received from the controller.
#include <gtest/gtest.h>

#include <atomic>

#include "frame_builder.h"
#include "link/frame_parser.h"
#include "link/link_state.h"

namespace kinevra {
namespace {

using test::append;
using test::Bytes;
using test::makeFrame;
using test::normalForm;
using test::Trailer;

struct Parser : ::testing::Test {
  MessageQueue queue{kRxQueueEntries};
  std::atomic<std::int32_t> autoMessageCrc{0};
  Bytes buffer;

  bool run() { return extractFrames(buffer, queue, autoMessageCrc); }
  std::vector<Bytes> queued() {
    std::vector<Bytes> all;
    queue.drain(all);
    return all;
  }
};

// --- Version report ---

TEST_F(Parser, VersionReportOf328SetsAutoMessageCrcAnd327DoesNot) {
  buffer = {0xF9, 0xF9, 0x02, 0x00, 0x1B, 0x03, 0x0A, 0x0D};  // 3 * 100 + 27
  EXPECT_TRUE(run());
  EXPECT_EQ(autoMessageCrc.load(), 0);
  buffer = {0xF9, 0xF9, 0x02, 0x00, 0x1C, 0x03, 0x0A, 0x0D};  // 3 * 100 + 28
  EXPECT_TRUE(run());
  EXPECT_EQ(autoMessageCrc.load(), 1);
  // Never cleared by an older report.
  buffer = {0xF9, 0xF9, 0x02, 0x00, 0x00, 0x01, 0x0A, 0x0D};
  EXPECT_TRUE(run());
  EXPECT_EQ(autoMessageCrc.load(), 1);
  EXPECT_EQ(queue.size(), 3u);
}

TEST_F(Parser, VersionBytesAreSignedAndOnlyByteTwoEqualTwoCounts) {
  // byte 5 = 0x04, byte 4 = 0xE4 (-28): 400 - 28 = 372 -> report.
  buffer = {0xF9, 0xF9, 0x02, 0x00, 0xE4, 0x04, 0x0A, 0x0D};
  run();
  EXPECT_EQ(autoMessageCrc.load(), 1);

  std::atomic<std::int32_t> other{0};
  // byte 5 = 0x83 (-125): a negative version never reports.
  Bytes b = {0xF9, 0xF9, 0x02, 0x00, 0x7F, 0x83, 0x0A, 0x0D};
  extractFrames(b, queue, other);
  EXPECT_EQ(other.load(), 0);
  // A high version in an F9 frame that is not a version report.
  b = {0xF9, 0xF9, 0x01, 0x00, 0x1C, 0x05, 0x0A, 0x0D};
  extractFrames(b, queue, other);
  EXPECT_EQ(other.load(), 0);
}

TEST_F(Parser, CrcTrailerFrameIsQueuedInNormalFormAndReportsItsVersion) {
  buffer = {0xF9, 0xF9, 0x02, 0x00, 0x1C, 0x03, 0xC1, 0x04};
  EXPECT_TRUE(run());
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(autoMessageCrc.load(), 1);
  const auto q = queued();
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0], (Bytes{0xF9, 0xF9, 0x02, 0x00, 0x1C, 0x03, 0x0A, 0x0D}));
}

// --- Every kind, both trailers ---

TEST_F(Parser, EveryKindIsAcceptedByItsTrailersAndBytesLeaveTheBuffer) {
  Bytes expected;
  for (const SerialFrame& kind : kSerialFrames) {
    const Bytes crcFrame = makeFrame(kind.kind, Trailer::Crc);
    append(buffer, crcFrame);
    append(expected, normalForm(crcFrame));
    if (kind.acceptsLfCr) {
      const Bytes lfcr = makeFrame(kind.kind, Trailer::LfCr, 0x40);
      append(buffer, lfcr);
      append(expected, lfcr);
    }
  }
  EXPECT_TRUE(run());
  EXPECT_TRUE(buffer.empty());
  Bytes got;
  for (const Bytes& f : queued()) {
    ASSERT_GE(f.size(), 8u);
    EXPECT_EQ(f[f.size() - 2], 0x0A);
    EXPECT_EQ(f[f.size() - 1], 0x0D);
    append(got, f);
  }
  EXPECT_EQ(got, expected);
}

TEST_F(Parser, FbFrameEndingInLfCrWithoutItsCrcIsDropped) {
  Bytes fb = makeFrame(0xFB, Trailer::LfCr);
  ASSERT_NE(crc16(fb.data(), 76), 0x0D0A);
  buffer = fb;
  EXPECT_FALSE(run());
  EXPECT_EQ(queue.size(), 0u);
  // Dropped byte by byte until fewer than 8 remain.
  EXPECT_LT(buffer.size(), 8u);
}

TEST_F(Parser, FaFrameOf465BytesIsQueuedWhole) {
  buffer = makeFrame(0xFA, Trailer::LfCr);
  ASSERT_EQ(buffer.size(), 465u);
  const Bytes frame = buffer;
  EXPECT_TRUE(run());
  EXPECT_TRUE(buffer.empty());
  const auto q = queued();
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0], frame);
}

// --- Resynchronisation ---

TEST_F(Parser, GarbageBeforeAFrameIsDroppedAndTheFrameFound) {
  buffer = {0x00, 0xF9, 0x37};
  const Bytes f = makeFrame(0xF8, Trailer::Crc);
  append(buffer, f);
  EXPECT_TRUE(run());
  EXPECT_TRUE(buffer.empty());
  const auto q = queued();
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0], normalForm(f));
}

TEST_F(Parser, CorruptedFrameIsDroppedAndTheNextValidOneFound) {
  Bytes bad = makeFrame(0xFB, Trailer::Crc);
  bad[30] ^= 0x04;  // one flipped bit
  const Bytes good = makeFrame(0xF9, Trailer::Crc);
  buffer = bad;
  append(buffer, good);
  EXPECT_TRUE(run());
  EXPECT_TRUE(buffer.empty());
  const auto q = queued();
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0], normalForm(good));
}

TEST_F(Parser, MarkerPairInsideGarbageWaitsThenResynchronises) {
  // An F8 F8 pair in garbage is taken for a frame start: the parser waits for
  // 38 bytes, then finds no valid trailer and moves on one byte at a time.
  buffer = {0xF8, 0xF8, 1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_FALSE(run());
  EXPECT_EQ(buffer.size(), 10u);
  const Bytes f = makeFrame(0xF9, Trailer::LfCr);
  Bytes more(21, 0x55);  // so the F9 frame's LF CR does not land on bytes 36..37
  append(more, f);
  append(buffer, more);
  EXPECT_TRUE(run());
  EXPECT_TRUE(buffer.empty());
  const auto q = queued();
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0], f);
}

TEST_F(Parser, RunOfMarkerBytesBeforeACrcFrameOfTheSameKind) {
  // Every position of the run looks like a frame start and fails its check;
  // the frame behind it must still be recognised by its CRC.
  Bytes expected;
  for (const SerialFrame& kind : kSerialFrames) {
    buffer.insert(buffer.end(), 5, kind.kind);
    const Bytes f = makeFrame(kind.kind, Trailer::Crc, 0x23);
    append(buffer, f);
    append(expected, normalForm(f));
  }
  EXPECT_TRUE(run());
  EXPECT_TRUE(buffer.empty());
  Bytes got;
  for (const Bytes& f : queued()) append(got, f);
  EXPECT_EQ(got, expected);
}

// --- Waiting for more input ---

TEST_F(Parser, PartialF8FrameWaitsUntilAll38BytesArrive) {
  buffer = {1, 2, 3, 4, 5, 6, 7};  // fewer than 8 bytes wait, garbage or not
  EXPECT_FALSE(run());
  EXPECT_EQ(buffer.size(), 7u);
  buffer.clear();
  const Bytes f = makeFrame(0xF8, Trailer::Crc);
  buffer.assign(f.begin(), f.begin() + 12);  // F8 F8 and 10 more bytes
  EXPECT_FALSE(run());
  EXPECT_EQ(buffer.size(), 12u);
  buffer.insert(buffer.end(), f.begin() + 12, f.end() - 1);  // 37 bytes
  EXPECT_FALSE(run());
  EXPECT_EQ(buffer.size(), 37u);
  buffer.push_back(f.back());
  EXPECT_TRUE(run());
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(queue.size(), 1u);
}

TEST_F(Parser, EndlessGarbageLeavesLessThanOneFrameBehind) {
  std::uint32_t x = 12345;
  for (int round = 0; round < 200; ++round) {
    for (int i = 0; i < 300; ++i) {
      x = x * 1103515245u + 12345u;
      std::uint8_t b = static_cast<std::uint8_t>(x >> 24);
      // Plenty of marker pairs, so the parser keeps waiting and resyncing.
      if ((x & 7) == 0) b = 0xFA;
      buffer.push_back(b);
    }
    run();
    ASSERT_LT(buffer.size(), kLongestFrame);
  }
  EXPECT_EQ(queue.size(), 0u);
}

// --- Queue limit ---

TEST_F(Parser, FullReceiveQueueLosesTheFrameButConsumesItsBytes) {
  const Bytes f = makeFrame(0xF9, Trailer::LfCr);
  for (std::size_t i = 0; i < 151; ++i) append(buffer, f);
  EXPECT_TRUE(run());
  EXPECT_EQ(queue.size(), 151u);
  // 151 entries: a further valid frame is used up, reported, but not queued.
  buffer = makeFrame(0xF8, Trailer::Crc);
  EXPECT_TRUE(run());
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(queue.size(), 151u);
  Message front;
  ASSERT_TRUE(queue.take(front));
  EXPECT_EQ(front, f);
}

TEST_F(Parser, DatagramScanReportsHowMuchWasUsed) {
  Bytes datagram = makeFrame(0xF9, Trailer::Crc);
  const Bytes tail = {0xF8, 0xF8, 1, 2, 3, 4, 5, 6, 7, 8};
  append(datagram, tail);
  bool accepted = false;
  EXPECT_EQ(scanFrames(datagram, queue, autoMessageCrc, accepted), 8u);
  EXPECT_TRUE(accepted);
  EXPECT_EQ(queue.size(), 1u);
  EXPECT_EQ(scanFrames({}, queue, autoMessageCrc, accepted), 0u);
  EXPECT_FALSE(accepted);
}

}  // namespace
}  // namespace kinevra
