// The iRacing SDK block: which data line is copied when, and headers that
// lie. The lines are read by the reader from a real named block; malformed
// headers go straight to the format's functions (under the sanitizers, any
// read outside the block or copy past the line buffer is caught).
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "manual_clock.h"
#include "platform/named_event.h"
#include "platform/shared_memory.h"
#include "sources/gravity.h"
#include "sources/irsdk_format.h"
#include "sources/shared_memory_readers.h"
#include "sources/telemetry_frame.h"

namespace kinevra {
namespace {

// An SDK block built by hand: header, nine float variables (LatAccel first),
// three data lines.
class SdkBlock {
 public:
  static constexpr std::size_t kVarHeaders = 256, kLines = 4096, kLineSpacing = 1024;
  static constexpr const char* kNames[] = {"LatAccel",  "LongAccel", "VertAccel", "YawRate", "RollRate",
                                           "PitchRate", "Yaw",       "Roll",      "Pitch"};

  // size: at least 8192 bytes (room for the header, the variables and the lines).
  explicit SdkBlock(std::size_t size = 8192) : bytes(size, 0) {
    put<std::int32_t>(irsdk::kStatus, 1);
    put<std::int32_t>(irsdk::kNumVars, 9);
    put<std::int32_t>(irsdk::kVarHeaderOffset, kVarHeaders);
    put<std::int32_t>(irsdk::kNumBuf, 3);
    put<std::int32_t>(irsdk::kBufLen, 64);
    for (int i = 0; i < 9; ++i) {
      const std::size_t at = kVarHeaders + 144 * static_cast<std::size_t>(i);
      put<std::int32_t>(at, irsdk::kFloatType);
      put<std::int32_t>(at + 4, 4 * i);
      std::memcpy(bytes.data() + at + 16, kNames[i], std::strlen(kNames[i]));
    }
    for (int b = 0; b < 3; ++b) {
      put<std::int32_t>(bufferAt(b) + 4, static_cast<std::int32_t>(kLines + kLineSpacing * static_cast<std::size_t>(b)));
      setLateral(b, static_cast<float>(b + 1));
    }
  }
  template <class T>
  void put(std::size_t offset, T v) {
    std::memcpy(bytes.data() + offset, &v, sizeof v);
  }
  static std::size_t bufferAt(int b) { return irsdk::kVarBuf + 16 * static_cast<std::size_t>(b); }
  void setTicks(std::int32_t a, std::int32_t b, std::int32_t c) {
    put(bufferAt(0), a);
    put(bufferAt(1), b);
    put(bufferAt(2), c);
  }
  // LatAccel of one buffer's line (the variable at offset 0).
  void setLateral(int b, float v) { put(kLines + kLineSpacing * static_cast<std::size_t>(b), v); }
  ByteView view() const { return ByteView(bytes.data(), bytes.size()); }

  std::vector<std::uint8_t> bytes;
};

// The block published under the SDK's name, with the data-valid event, and a
// reader attached to it.
struct IrsdkLines : ::testing::Test {
  test::ManualClock clock;
  IrsdkReader reader{clock};
  platform::SharedMemory published;
  platform::NamedEvent event;
  std::uint8_t* view = nullptr;
  double g[kGameDataCount] = {};

  void SetUp() override {
    ASSERT_TRUE(published.createOrOpen(blocks::kIrsdk, 8192));
    view = static_cast<std::uint8_t*>(published.mapWrite(8192));
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(event.create(blocks::kIrsdkEvent));
    publish(SdkBlock());
    ASSERT_TRUE(reader.startUp());
    reader.attached = true;
  }
  void publish(const SdkBlock& b) { std::memcpy(view, b.bytes.data(), b.bytes.size()); }
  // Lateral acceleration including gravity, as the SDK gave it.
  double lateral() const { return -g[gd::kLateralAccelG]; }
};

TEST_F(IrsdkLines, NewestBufferIsCopiedTheLowerOnATie) {
  SdkBlock b;
  b.setTicks(7, 9, 9);
  publish(b);
  reader.lastTick = 8;
  EXPECT_EQ(reader.update(g), 1);
  EXPECT_EQ(reader.lastTick, 9);
  EXPECT_FLOAT_EQ(lateral(), 2.0f);  // buffer 1's line
  EXPECT_GT(reader.lastUpdateTime, 0);
  // Gravity comes out of the accelerations that include it.
  EXPECT_DOUBLE_EQ(g[gd::kLateralAccel], g[gd::kLateralAccelG] - g[gd::kLateralGravi]);
  EXPECT_DOUBLE_EQ(g[gd::kVerticalGravi], kStandardGravity);
}

TEST_F(IrsdkLines, TickThatFallsIsTakenWithoutCopyingAndTheNextOneCopies) {
  SdkBlock b;
  b.setTicks(500, 499, 498);
  publish(b);
  // Nothing seen yet: the first tick is only taken.
  EXPECT_EQ(reader.update(g), 1);
  EXPECT_EQ(reader.lastTick, 500);
  EXPECT_EQ(lateral(), 0.0);
  b.setTicks(501, 499, 498);
  publish(b);
  EXPECT_EQ(reader.update(g), 1);
  EXPECT_FLOAT_EQ(lateral(), 1.0f);

  // The game restarted its counters: every buffer is new but lower.
  b.setTicks(3, 2, 1);
  b.setLateral(0, 7.0f);
  publish(b);
  EXPECT_EQ(reader.update(g), 1);  // still an update, but nothing copied
  EXPECT_EQ(reader.lastTick, 3);
  EXPECT_FLOAT_EQ(lateral(), 1.0f);
  EXPECT_EQ(reader.update(g), 1);  // equal: nothing either
  EXPECT_FLOAT_EQ(lateral(), 1.0f);

  b.setTicks(3, 4, 1);
  b.setLateral(1, 8.0f);
  publish(b);
  EXPECT_EQ(reader.update(g), 1);
  EXPECT_EQ(reader.lastTick, 4);
  EXPECT_FLOAT_EQ(lateral(), 8.0f);
}

TEST_F(IrsdkLines, DisconnectedGameForgetsItsTickAndStillCounts) {
  SdkBlock b;
  b.setTicks(10, 11, 12);
  publish(b);
  reader.lastTick = 5;
  EXPECT_EQ(reader.update(g), 1);
  EXPECT_EQ(reader.lastTick, 12);
  b.put<std::int32_t>(irsdk::kStatus, 0);
  publish(b);
  EXPECT_EQ(reader.update(g), 1);
  EXPECT_EQ(reader.lastTick, INT_MAX);
}

TEST_F(IrsdkLines, MissingVariableWritesNothingFromTheLine) {
  SdkBlock b;
  std::memcpy(b.bytes.data() + SdkBlock::kVarHeaders + 144 * 8 + 16, "Pitcx", 5);  // no "Pitch"
  b.setTicks(1, 2, 3);
  publish(b);
  reader.lastTick = 0;
  g[gd::kLateralAccelG] = -42.0;
  EXPECT_EQ(reader.update(g), 1);
  EXPECT_EQ(reader.lastTick, 3);  // the line was taken ...
  EXPECT_EQ(g[gd::kLateralAccelG], -42.0);  // ... but none of its values
}

// Runs one copy and conversion of a (hand-made, possibly lying) block.
struct Outcome {
  IrsdkStep step;
  bool converted;
  GameValues values;
};
Outcome readOnce(const SdkBlock& b, std::int32_t lastTick = 0) {
  // The block exactly as large as its bytes, so that the sanitizers see any
  // read past it.
  std::vector<std::uint8_t> exact(b.bytes);
  const ByteView view(exact.data(), exact.size());
  auto line = std::make_unique<IrsdkLine>();
  Outcome o{irsdkStep(view, lastTick, *line), false, {}};
  if (o.step == IrsdkStep::Copied) o.converted = convertIrsdkLine(view, *line, &o.values);
  return o;
}

TEST(IrsdkHeader, LyingHeadersReadNothingOutsideTheBlock) {
  SdkBlock good;
  good.setTicks(1, 2, 3);
  ASSERT_TRUE(readOnce(good).converted);

  struct Lie {
    const char* what;
    std::size_t offset;
    std::int32_t value;
    IrsdkStep step;
  };
  const Lie lies[] = {
      {"no buffers", irsdk::kNumBuf, 0, IrsdkStep::NoData},
      {"more buffers than the header holds", irsdk::kNumBuf, 5, IrsdkStep::NoData},
      {"a negative count of buffers", irsdk::kNumBuf, -1, IrsdkStep::NoData},
      {"an empty line", irsdk::kBufLen, 0, IrsdkStep::NoData},
      {"a negative line length", irsdk::kBufLen, -64, IrsdkStep::NoData},
      {"a line longer than the block", irsdk::kBufLen, INT_MAX, IrsdkStep::NoData},
      {"a line before the block", SdkBlock::bufferAt(2) + 4, -4, IrsdkStep::NoData},
      {"a line past the block", SdkBlock::bufferAt(2) + 4, 8190, IrsdkStep::NoData},
      {"variable headers past the block", irsdk::kVarHeaderOffset, 8100, IrsdkStep::Copied},
      {"variable headers before the block", irsdk::kVarHeaderOffset, -144, IrsdkStep::Copied},
      {"more variables than the block holds", irsdk::kNumVars, INT_MAX, IrsdkStep::Copied},
      {"a variable outside its line", SdkBlock::kVarHeaders + 4, 62, IrsdkStep::Copied},
      {"a variable at a negative offset", SdkBlock::kVarHeaders + 4, -4, IrsdkStep::Copied},
      {"a variable that is not a float", SdkBlock::kVarHeaders, 5, IrsdkStep::Copied},
  };
  for (const Lie& lie : lies) {
    SCOPED_TRACE(lie.what);
    SdkBlock b = good;
    b.put(lie.offset, lie.value);
    const Outcome o = readOnce(b);
    EXPECT_EQ(o.step, lie.step);
    // "More variables" still finds the nine real ones before the block ends.
    if (std::string(lie.what) != "more variables than the block holds") {
      EXPECT_FALSE(o.converted);
    }
  }

  // A header cut off by the end of the block.
  SdkBlock tiny = good;
  tiny.bytes.resize(60);
  EXPECT_EQ(readOnce(tiny).step, IrsdkStep::NoData);
  // Names of the full 32 bytes with no end: compared, never run past.
  SdkBlock unterminated = good;
  std::memset(unterminated.bytes.data() + SdkBlock::kVarHeaders + 16, 'L', 32);
  EXPECT_FALSE(readOnce(unterminated).converted);
}

TEST(IrsdkHeader, LineLongerThanTheCopyBufferIsCopiedAsFarAsItReaches) {
  SdkBlock b(42000);
  b.put<std::int32_t>(irsdk::kBufLen, 12000);
  for (int i = 0; i < 3; ++i) b.put<std::int32_t>(SdkBlock::bufferAt(i) + 4, 4096 + 12000 * i);
  b.setTicks(1, 1, 5);
  // The last float that fits the copy, and the rest at the start.
  b.put<std::int32_t>(SdkBlock::kVarHeaders + 4, 9996);
  b.put<float>(4096 + 24000 + 9996, 3.5f);
  Outcome o = readOnce(b);
  ASSERT_EQ(o.step, IrsdkStep::Copied);
  ASSERT_TRUE(o.converted);
  EXPECT_FLOAT_EQ(o.values.value(gd::kLateralAccelG), -3.5f);

  // A variable beyond the copied part counts as missing.
  b.put<std::int32_t>(SdkBlock::kVarHeaders + 4, 10000);
  o = readOnce(b);
  EXPECT_EQ(o.step, IrsdkStep::Copied);
  EXPECT_FALSE(o.converted);
}

}  // namespace
}  // namespace kinevra
