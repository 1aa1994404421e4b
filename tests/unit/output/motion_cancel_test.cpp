// Motion cancel: the smoothed pose in the shared block, read back through a
// mapping of its own as a VR tool would; the settings; switching off while
// the engine thread publishes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "output_fixture.h"
#include "platform/shared_memory.h"

namespace kinevra {
namespace {

using test::OutputFixture;

// The pose as another program sees it.
struct PoseReader {
  platform::SharedMemory block;
  const double* pose = nullptr;
  bool open(const std::string& name) {
    if (!block.openExisting(name, false)) return false;
    pose = static_cast<const double*>(block.mapRead(kPoseMappingSize));
    return pose != nullptr && block.viewSize() == kPoseMappingSize;
  }
  double at(int k) const {
    double v = 0.0;
    std::memcpy(&v, pose + k, sizeof v);
    return v;
  }
};

TEST_F(OutputFixture, SettersNeedMotionCancelOn) {
  EXPECT_FALSE(engine->setGainMotionCancel(2.0));
  EXPECT_FALSE(engine->setFilterMotionCancel(10.0));
  EXPECT_EQ(engine->motionCancelGain.load(), 1.0);
  EXPECT_EQ(engine->motionCancelFilter.load(), 60.0);

  engine->activateMotionCancel(true);
  EXPECT_TRUE(engine->setFilterMotionCancel(10.0));
  EXPECT_TRUE(engine->setGainMotionCancel(2.0));
  EXPECT_EQ(engine->motionCancelFilter.load(), 10.0);
  // Values that would turn the pose into NaN or make it swing are refused.
  EXPECT_FALSE(engine->setFilterMotionCancel(0.0));
  EXPECT_FALSE(engine->setFilterMotionCancel(0.5));
  EXPECT_FALSE(engine->setFilterMotionCancel(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(engine->setFilterMotionCancel(std::numeric_limits<double>::infinity()));
  EXPECT_FALSE(engine->setGainMotionCancel(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(engine->setGainMotionCancel(-std::numeric_limits<double>::infinity()));
  EXPECT_EQ(engine->motionCancelFilter.load(), 10.0);
  EXPECT_EQ(engine->motionCancelGain.load(), 2.0);
  EXPECT_TRUE(engine->setFilterMotionCancel(1.0));
  EXPECT_TRUE(engine->setGainMotionCancel(-0.5));

  // Switching on again resets the filter and keeps the gain.
  engine->setFilterMotionCancel(10.0);
  engine->activateMotionCancel(true);
  EXPECT_EQ(engine->motionCancelFilter.load(), 60.0);
  EXPECT_EQ(engine->motionCancelGain.load(), -0.5);

  engine->activateMotionCancel(false);
  EXPECT_FALSE(engine->setGainMotionCancel(1.0));
  EXPECT_EQ(engine->motionCancelGain.load(), -0.5);
}

TEST_F(OutputFixture, PoseIsSmoothedTowardsTheCue) {
  start();
  engine->activateMotionCancel(true);
  PoseReader reader;
  ASSERT_TRUE(reader.open(engine->poseMappingName));
  input[gd::kLateralAccelG] = 6.0;
  cycle();
  EXPECT_DOUBLE_EQ(reader.at(0), 0.1);  // 6 / 60
  double previous = reader.at(0);
  for (int i = 0; i < 1000; ++i) {
    cycle();
    ASSERT_GT(reader.at(0), previous);
    ASSERT_LT(reader.at(0), 6.0);
    previous = reader.at(0);
  }
  EXPECT_NEAR(reader.at(0), 6.0, 1e-6);
  // The other five axes saw nothing.
  for (int k = 1; k < 6; ++k) EXPECT_EQ(reader.at(k), 0.0) << k;
  // Only the first 48 bytes are the engine's.
  const auto* bytes = reinterpret_cast<const unsigned char*>(reader.pose);
  for (std::size_t i = 48; i < kPoseMappingSize; ++i) ASSERT_EQ(bytes[i], 0) << i;
}

// Each axis of the pose, with a gain and no smoothing: roll and pitch add
// the tilt and attitude channels to their own.
TEST_F(OutputFixture, PoseAxes) {
  start();
  for (int ch = 6; ch < 10; ++ch) engine->setActiveAxis(0, ch, true);
  engine->activateMotionCancel(true);
  ASSERT_TRUE(engine->setFilterMotionCancel(1.0));
  ASSERT_TRUE(engine->setGainMotionCancel(2.0));
  PoseReader reader;
  ASSERT_TRUE(reader.open(engine->poseMappingName));
  input[gd::kLateralAccelG] = 0.5;        // cue 0 and the roll tilt (6)
  input[gd::kLongitudinalAccelG] = 0.25;  // cue 1 and the pitch tilt (7)
  input[gd::kVerticalAccelG] = 1.0;
  input[gd::kYawSpeed] = 3.0;
  input[gd::kRollSpeed] = 4.0;
  input[gd::kPitchSpeed] = 5.0;
  input[gd::kRollPosition] = 10.0;  // attitude 8
  input[gd::kPitchPosition] = 20.0;  // attitude 9
  // The axes switched on restart the fade: its first cycle counts nothing,
  // the second ends it (the test's fade is instant), the third is live.
  cycle(3);
  const double* c = frame.cue;
  EXPECT_DOUBLE_EQ(reader.at(0), 1.0);
  EXPECT_DOUBLE_EQ(reader.at(1), 0.5);
  EXPECT_DOUBLE_EQ(reader.at(2), 2.0);
  EXPECT_DOUBLE_EQ(reader.at(3), 6.0);
  EXPECT_DOUBLE_EQ(reader.at(4), 2.0 * ((c[4] + c[6]) + c[8]));
  EXPECT_DOUBLE_EQ(reader.at(5), 2.0 * ((c[5] + c[7]) + c[9]));
  EXPECT_DOUBLE_EQ(c[4], 0.5 + 4.0 + 10.0 + 0.0);  // cue 4 already holds 6 and 8 once
  EXPECT_DOUBLE_EQ(reader.at(4), 2.0 * (14.5 + 0.5 + 10.0));
}

// A NaN or an infinity on a cue leaves that axis of the smoothed pose where
// it was instead of poisoning it for good.
TEST_F(OutputFixture, NonFiniteCueHoldsThePoseAxis) {
  start();
  engine->activateMotionCancel(true);
  PoseReader reader;
  ASSERT_TRUE(reader.open(engine->poseMappingName));
  input[gd::kLateralAccelG] = 6.0;
  input[gd::kYawSpeed] = 1.0;
  cycle(10);
  const double held = reader.at(0);
  input[gd::kLateralAccelG] = std::numeric_limits<double>::quiet_NaN();
  cycle(3);
  EXPECT_EQ(reader.at(0), held);
  EXPECT_GT(reader.at(3), 0.0);
  input[gd::kLateralAccelG] = std::numeric_limits<double>::infinity();
  cycle(3);
  EXPECT_EQ(reader.at(0), held);
  input[gd::kLateralAccelG] = 6.0;
  cycle();
  EXPECT_GT(reader.at(0), held);
  EXPECT_TRUE(std::isfinite(reader.at(0)));
}

// The pose is written only while motion cancel is on. Switching off leaves
// the block with its last values for a program that still holds it; the
// search for a game opens the block again, without publishing.
TEST_F(OutputFixture, SwitchingOffStopsPublishing) {
  start();
  PoseReader reader;
  ASSERT_TRUE(reader.open(engine->poseMappingName));  // opened by the start-up search
  input[gd::kLateralAccelG] = 6.0;
  cycle(5);
  EXPECT_EQ(reader.at(0), 0.0);

  engine->activateMotionCancel(true);
  cycle(5);
  const double last = reader.at(0);
  EXPECT_GT(last, 0.0);
  engine->activateMotionCancel(false);
  cycle(5);
  EXPECT_EQ(reader.at(0), last);

  engine->resetToSearching();
  PoseReader again;
  EXPECT_TRUE(again.open(engine->poseMappingName));
}

// A host thread switches motion cancel on and off and changes its settings
// while the engine thread runs cycles that publish: the engine never writes
// to a released view (AddressSanitizer) and nothing races (ThreadSanitizer).
TEST_F(OutputFixture, SwitchingOffWhilePublishingIsSafe) {
  start();
  input[gd::kLateralAccelG] = 6.0;
  engine->activateMotionCancel(true);
  std::atomic<bool> stop{false};
  std::thread engineThread([&] {
    while (!stop.load()) cycle();
  });
  for (int i = 0; i < 2000; ++i) {
    engine->activateMotionCancel(i % 2 == 0);
    engine->setGainMotionCancel(1.0 + (i % 3));
    engine->setFilterMotionCancel(2.0 + (i % 5));
    unsigned char copy[36];
    engine->copyOutputData(copy);
  }
  engine->activateMotionCancel(false);
  stop.store(true);
  engineThread.join();
  EXPECT_GT(cycles, 0);
}

}  // namespace
}  // namespace kinevra
