// Gravity split, the interval meter and the game table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "manual_clock.h"
#include "sources/game_table.h"
#include "sources/gravity.h"
#include "sources/interval_meter.h"

namespace kinevra {
namespace {

TEST(SplitGravity, LevelRollAndPitchGiveTheBodyFrameGravity) {
  double g[47] = {};
  splitGravity(g, GravityDirection::AddToAcceleration);
  EXPECT_NEAR(g[gd::kLateralGravi], 0.0, 1e-12);
  EXPECT_NEAR(g[gd::kLongitudinalGravi], 0.0, 1e-12);
  EXPECT_DOUBLE_EQ(g[gd::kVerticalGravi], 9.80665);

  g[gd::kRollPosition] = 90.0;
  splitGravity(g, GravityDirection::AddToAcceleration);
  EXPECT_NEAR(g[gd::kLateralGravi], 9.80665, 1e-12);
  EXPECT_NEAR(g[gd::kVerticalGravi], 0.0, 1e-12);
}

TEST(SplitGravity, AddsGravityToAccelerationsThatExcludeIt) {
  double g[47] = {};
  g[gd::kPitchPosition] = 30.0;
  g[gd::kLongitudinalAccel] = 1.0;
  g[gd::kVerticalAccel] = -0.5;
  g[gd::kYawPosition] = 123.0;  // heading plays no part
  splitGravity(g, GravityDirection::AddToAcceleration);
  EXPECT_NEAR(g[gd::kLongitudinalGravi], 4.903325, 1e-9);
  EXPECT_NEAR(g[gd::kLongitudinalAccelG], 5.903325, 1e-9);
  EXPECT_NEAR(g[gd::kVerticalAccelG], -0.5 + 9.80665 * std::cos(30.0 * 3.141592653589793 / 180.0), 1e-9);
  EXPECT_EQ(g[gd::kLongitudinalAccel], 1.0);  // the game's own value is kept
}

TEST(SplitGravity, RemovesGravityFromAccelerationsThatIncludeIt) {
  double g[47] = {};
  g[gd::kPitchPosition] = 30.0;
  g[gd::kLongitudinalAccelG] = 4.903325;
  splitGravity(g, GravityDirection::RemoveFromAcceleration);
  EXPECT_NEAR(g[gd::kLongitudinalAccel], 0.0, 1e-9);
  EXPECT_EQ(g[gd::kLongitudinalAccelG], 4.903325);
}

TEST(SplitGravity, OneGameCountsPitchTheOtherWay) {
  double g[47] = {};
  g[gd::kPitchPosition] = 30.0;
  splitGravity(g, GravityDirection::AddToAcceleration, true);
  EXPECT_NEAR(g[gd::kLongitudinalGravi], -4.903325, 1e-9);
}

TEST(IntervalMeter, ReportsMillisecondsBetweenSteps) {
  test::ManualClock clock;
  clock.readStepNs = 0;
  IntervalMeter meter(clock);
  clock.advanceUs(16667);
  EXPECT_NEAR(meter.step(), 16.667, 1e-9);
  clock.advanceUs(5000);
  EXPECT_NEAR(meter.step(), 5.0, 1e-9);
  EXPECT_NEAR(meter.meanTicks, (166670.0 / 200.0) + (50000.0 - 166670.0 / 200.0) / 200.0, 1e-6);
}

TEST(GameTable, NamesFitTheHostsBufferAndIdsMatchTheirSlots) {
  std::size_t longest = 0;
  for (int id = 0; id < kGameCount; ++id) {
    EXPECT_EQ(gameInfo(id).id, id);
    ASSERT_NE(gameDisplayName(id), nullptr);
    longest = std::max(longest, std::strlen(gameDisplayName(id)));
  }
  EXPECT_EQ(longest, 20u);  // "PCAR2/Automobilista2": a 21-byte buffer holds every name
  EXPECT_STREQ(gameDisplayName(9), "PCAR2/Automobilista2");
  EXPECT_EQ(gameDisplayName(-1), nullptr);
  EXPECT_EQ(gameDisplayName(18), nullptr);
  bool seen[kGameCount] = {};
  for (int id : kPriorityOrder) seen[id] = true;
  for (bool s : seen) EXPECT_TRUE(s);
}

}  // namespace
}  // namespace kinevra
