// Profile selection: the air/ground cross-fade, retargeting, its end with
// the zeroing of the profile left behind, and the held state without a game
// flag. Also the host settings of the profiles.
#include <gtest/gtest.h>

#include "cue_fixture.h"

namespace kinevra {
namespace {

using test::CueFixture;

struct TransitionFixture : CueFixture {
  double& roll = frame.gameData[gd::kRollPosition];
  double air() const { return engine.airTransitionStatus(); }
  double ground() const { return engine.groundTransitionStatus(); }
  void expectAllZero(const double (&cues)[kChannelCount]) {
    for (int ch = 0; ch < kChannelCount; ++ch) EXPECT_EQ(cues[ch], 0.0) << ch;
  }
};

TEST_F(TransitionFixture, ACarGameNeverStartsATransition) {
  attachAndReady();
  for (int i = 0; i < 300; ++i) {
    roll = i;
    engine.loopPass();
  }
  EXPECT_FALSE(engine.transitionActive);
  EXPECT_EQ(engine.activeProfile.load(), 0);
  EXPECT_EQ(air(), 100.0);
  EXPECT_EQ(ground(), 0.0);
}

TEST_F(TransitionFixture, GroundStateRightAfterAttachFadesToGroundOverHundredCycles) {
  link.ground = 1;
  attachAndReady();
  roll = 10.0;
  engine.loopPass();
  EXPECT_TRUE(engine.transitionActive);
  EXPECT_EQ(engine.activeProfile.load(), 1);
  EXPECT_EQ(air(), 99.0);
  EXPECT_EQ(ground(), 1.0);
  EXPECT_EQ(frame.airCue[8], 10.0);  // computed with the weights before the step
  EXPECT_EQ(frame.groundCue[8], 0.0);

  engine.loopPass();
  EXPECT_EQ(air(), 98.0);
  EXPECT_EQ(ground(), 2.0);
  EXPECT_DOUBLE_EQ(frame.airCue[8], 9.9);
  EXPECT_DOUBLE_EQ(frame.groundCue[8], 0.1);

  for (int i = 3; i < 100; ++i) {
    engine.loopPass();
    ASSERT_TRUE(engine.transitionActive) << i;
  }
  EXPECT_NE(frame.airCue[8], 0.0);
  engine.loopPass();  // the 100th step passes full weight: the end
  EXPECT_FALSE(engine.transitionActive);
  EXPECT_EQ(engine.airWeight.load(), 0.0);
  EXPECT_EQ(engine.groundWeight.load(), 1.0);
  EXPECT_EQ(air(), 0.0);
  EXPECT_EQ(ground(), 100.0);
  expectAllZero(frame.airCue);
  EXPECT_NEAR(frame.groundCue[8], 9.9, 1e-9);  // computed before the last step

  engine.loopPass();  // steady on the ground
  EXPECT_FALSE(engine.transitionActive);
  EXPECT_EQ(frame.groundCue[8], 10.0);
  EXPECT_EQ(frame.airCue[8], 0.0);
}

TEST_F(TransitionFixture, TakeOffHalfwayThroughALandingClimbsFromWhereTheWeightsAre) {
  engine.activeProfile.store(1);
  engine.transitionActive = true;
  engine.airWeight.store(0.5);
  engine.groundWeight.store(0.5);
  roll = 4.0;
  link.ground = 0;
  for (int i = 1; i < 50; ++i) {
    engine.selectProfile();
    ASSERT_TRUE(engine.transitionActive) << i;
  }
  EXPECT_EQ(engine.activeProfile.load(), 0);
  EXPECT_NEAR(engine.airWeight.load(), 0.99, 1e-9);
  EXPECT_NE(frame.groundCue[8], 0.0);
  engine.selectProfile();  // the 50th
  EXPECT_FALSE(engine.transitionActive);
  EXPECT_EQ(engine.airWeight.load(), 1.0);
  EXPECT_EQ(engine.groundWeight.load(), 0.0);
  expectAllZero(frame.groundCue);
  EXPECT_NEAR(frame.airCue[8], 3.96, 1e-9);  // computed before the last step
}

TEST_F(TransitionFixture, WithoutAGameFlagTheWeightsHold) {
  // Steady air: the held state keeps air 1, ground 0.
  link.ground = -1;
  for (int i = 0; i < 200; ++i) {
    roll = i;
    engine.selectProfile();
  }
  EXPECT_TRUE(engine.transitionActive);
  EXPECT_EQ(engine.activeProfile.load(), -1);
  EXPECT_EQ(engine.airWeight.load(), 1.0);
  EXPECT_EQ(engine.groundWeight.load(), 0.0);
  EXPECT_EQ(frame.airCue[8], 199.0);  // the cues are still computed

  // Halfway through a landing: the flag goes, the weights freeze, then the
  // landing goes on from there when it is back.
  link.ground = 1;
  for (int i = 0; i < 40; ++i) engine.selectProfile();
  const double airAt = engine.airWeight.load();
  const double groundAt = engine.groundWeight.load();
  link.ground = -1;
  for (int i = 0; i < 500; ++i) engine.selectProfile();
  EXPECT_EQ(engine.airWeight.load(), airAt);
  EXPECT_EQ(engine.groundWeight.load(), groundAt);
  link.ground = 1;
  int cycles = 0;
  while (engine.transitionActive && cycles < 1000) {
    engine.selectProfile();
    ++cycles;
  }
  EXPECT_GE(cycles, 59);
  EXPECT_LE(cycles, 61);
  EXPECT_EQ(engine.groundWeight.load(), 1.0);

  // Steady ground: the held state keeps air 0, ground 1.
  link.ground = -1;
  for (int i = 0; i < 50; ++i) engine.selectProfile();
  EXPECT_EQ(engine.airWeight.load(), 0.0);
  EXPECT_EQ(engine.groundWeight.load(), 1.0);
  EXPECT_EQ(engine.groundTransitionStatus(), 100.0);
}

TEST_F(TransitionFixture, LostTelemetryResetsTheWeightsAndTheOpenTransitionEndsOnReturn) {
  link.ground = 1;
  attachAndReady();
  for (int i = 0; i < 20; ++i) engine.loopPass();
  engine.resetToSearching();
  EXPECT_TRUE(engine.transitionActive);  // left as it was
  EXPECT_EQ(engine.activeProfile.load(), 0);
  link.ground = 0;
  engine.loopPass();  // attach
  engine.loopPass();  // the first cycle passes full air weight and ends it
  EXPECT_FALSE(engine.transitionActive);
  EXPECT_EQ(engine.airWeight.load(), 1.0);
  EXPECT_EQ(engine.groundWeight.load(), 0.0);
  expectAllZero(frame.groundCue);
}

TEST_F(TransitionFixture, StatusIsTheTruncatedPercentWithinRange) {
  const std::pair<double, double> cases[] = {{0.999, 99.0}, {0.0049, 0.0}, {1.2, 100.0}, {-0.3, 0.0}, {0.5, 50.0}};
  for (auto [weight, pct] : cases) {
    engine.airWeight.store(weight);
    engine.groundWeight.store(weight);
    EXPECT_EQ(air(), pct) << weight;
    EXPECT_EQ(ground(), pct) << weight;
  }
}

TEST_F(CueFixture, ProfileSettersStoreOnlyInRange) {
  engine.setActiveAxis(1, 22, false);
  engine.setActiveAxis(0, 0, false);
  EXPECT_FALSE(engine.groundProfile.isActive(22));
  EXPECT_FALSE(engine.airProfile.isActive(0));
  engine.setActiveAxis(0, 0, true);
  EXPECT_TRUE(engine.airProfile.isActive(0));

  engine.setBeltMix(0, 42, 0.5);
  engine.setBeltMix(1, 0, -1.5);
  EXPECT_EQ(engine.airProfile.beltWeight(42), 0.5);
  EXPECT_EQ(engine.groundProfile.beltWeight(0), -1.5);

  for (auto [p, ch] : {std::pair{2, 0}, {-1, 0}, {0, 23}, {1, -1}}) {
    engine.threadStartup();  // drops the fade restarts posted so far
    engine.fade.store(1.0);
    ASSERT_EQ(engine.transitionStatus(), 100.0);
    engine.setActiveAxis(p, ch, false);
    EXPECT_EQ(engine.transitionStatus(), 0.0) << p << " " << ch;  // restarts the fade all the same
    engine.setBeltMix(p, ch == 23 ? 43 : ch, 9.0);
  }
  for (CueProfile* prof : {&engine.airProfile, &engine.groundProfile}) {
    for (int ch = 0; ch < kChannelCount; ++ch) {
      if (prof == &engine.groundProfile && ch == 22) continue;  // switched off above
      EXPECT_TRUE(prof->isActive(ch)) << ch;
    }
    for (int i = 0; i < kBeltMixCount; ++i) EXPECT_NE(prof->beltWeight(i), 9.0) << i;
  }
}

}  // namespace
}  // namespace kinevra
