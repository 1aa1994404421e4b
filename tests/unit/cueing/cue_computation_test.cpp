// The cue computation: defaults, input limits, switched-off channels, the
// belt sum, the channel sums and one evaluation per chain and cycle.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "cue_fixture.h"

namespace kinevra {
namespace {

using test::CueFixture;
using test::nthEvaluation;

TEST_F(CueFixture, ProfilesStartActiveWithoutBeltMixOrInputRange) {
  EXPECT_EQ(engine.airProfile.name, "Profil AIR");
  EXPECT_EQ(engine.groundProfile.name, "Profil GROUND");
  for (CueProfile* p : {&engine.airProfile, &engine.groundProfile}) {
    for (int ch = 0; ch < kChannelCount; ++ch) EXPECT_TRUE(p->isActive(ch));
    for (int i = 0; i < kBeltMixCount; ++i) EXPECT_EQ(p->beltWeight(i), 0.0);
  }
  for (const DofLimit& l : engine.inputDofLimits) {
    EXPECT_EQ(l.low.load(), 0.0);
    EXPECT_EQ(l.high.load(), 0.0);
  }
}

TEST_F(CueFixture, DefaultsClampAccelerationsAndPassAttitudeAndSpeed) {
  double* gd = frame.gameData;
  gd[gd::kLateralAccelG] = 3.5;
  gd[gd::kLongitudinalAccelG] = -2.0;
  gd[gd::kVerticalAccelG] = 1.25;
  gd[gd::kYawSpeed] = 0.75;
  gd[gd::kRollSpeed] = 0.5;
  gd[gd::kPitchSpeed] = -0.25;
  gd[gd::kRollPosition] = 12.5;
  gd[gd::kPitchPosition] = -4.25;
  gd[32] = 88.0;  // speed
  engine.selectProfile();

  for (int ch = 0; ch < 8; ++ch) EXPECT_EQ(frame.airCue[ch], 0.0) << ch;  // limits {0, 0}
  EXPECT_EQ(frame.airCue[8], 12.5);
  EXPECT_EQ(frame.airCue[9], -4.25);
  EXPECT_EQ(frame.cue[4], frame.airCue[8] + frame.airCue[19]);
  EXPECT_EQ(frame.cue[4], 12.5);
  EXPECT_EQ(frame.cue[5], -4.25);
  EXPECT_EQ(frame.airCue[21], 88.0);
  EXPECT_EQ(frame.cue[21], 88.0);
  // Belt components are not clamped; the belt mix is 0, so the belt is 0.
  EXPECT_EQ(frame.airCue[11], -2.0);
  EXPECT_EQ(frame.airCue[12], 1.25);
  EXPECT_EQ(frame.airCue[13], 0.5);
  EXPECT_EQ(frame.airCue[14], -0.25);
  EXPECT_EQ(frame.gameData[gd::kBeltSum], 0.0);
  EXPECT_EQ(frame.cue[10], 0.0);
  for (double v : frame.groundCue) EXPECT_EQ(v, 0.0);  // ground weight 0
  for (int ch : {0, 1, 2, 3, 6, 7}) EXPECT_EQ(frame.cue[ch], 0.0) << ch;
}

TEST_F(CueFixture, InputLimitsClampBeforeTheChainAndWeightsScaleAfter) {
  engine.setInputDofLimit(0, -2.0, 2.0);
  double& lateral = frame.gameData[gd::kLateralAccelG];
  lateral = 3.5;
  engine.selectProfile();
  EXPECT_EQ(frame.airCue[0], 2.0);
  EXPECT_EQ(frame.cue[0], 2.0);
  EXPECT_EQ(frame.cue[6], 0.0);  // channel 6 reads the same input with its own limits

  engine.airWeight.store(0.25);
  engine.groundWeight.store(0.75);
  lateral = -7.0;
  engine.selectProfile();
  EXPECT_EQ(frame.airCue[0], -0.5);
  EXPECT_EQ(frame.groundCue[0], -1.5);
  EXPECT_EQ(frame.cue[0], -2.0);

  lateral = 1.5;  // inside the range: unchanged
  engine.selectProfile();
  EXPECT_EQ(frame.airCue[0], 0.375);

  lateral = std::numeric_limits<double>::quiet_NaN();  // no checks: NaN goes through
  engine.selectProfile();
  EXPECT_TRUE(std::isnan(frame.airCue[0]));
  EXPECT_TRUE(std::isnan(frame.cue[0]));
}

TEST_F(CueFixture, InputLimitSetterStoresOnlyWhereHostsMaySet) {
  engine.setInputDofLimit(7, -1.5, 2.5);
  engine.setInputDofLimit(8, 1.0, 2.0);
  engine.setInputDofLimit(9, 0.0, 0.0);
  engine.setInputDofLimit(12, 1.0, 2.0);
  engine.setInputDofLimit(UINT_MAX, 1.0, 2.0);
  EXPECT_EQ(engine.inputDofLimits[7].low.load(), -1.5);
  EXPECT_EQ(engine.inputDofLimits[7].high.load(), 2.5);
  for (int ch : {8, 9}) {
    EXPECT_EQ(engine.inputDofLimits[ch].low.load(), -360.0);
    EXPECT_EQ(engine.inputDofLimits[ch].high.load(), 360.0);
  }
  for (int ch = 10; ch < kChannelCount; ++ch) {
    EXPECT_EQ(engine.inputDofLimits[ch].low.load(), 0.0);
    EXPECT_EQ(engine.inputDofLimits[ch].high.load(), 0.0);
  }
}

TEST_F(CueFixture, SwitchedOffChannelIsZeroAndItsChainKeepsItsState) {
  const std::string text = "EMALP(ADD(VALUE;1);4)";  // any evaluation moves its state
  install(0, 3, text);
  openInputLimits();
  frame.gameData[gd::kYawSpeed] = -3.0;
  engine.setActiveAxis(0, 3, false);
  for (int i = 0; i < 10; ++i) {
    engine.selectProfile();
    EXPECT_EQ(frame.airCue[3], 0.0);
    EXPECT_FALSE(std::signbit(frame.airCue[3]));  // no factor applied to a sign
  }
  engine.setActiveAxis(0, 3, true);
  engine.selectProfile();
  // The chain's first evaluation ever: the ten cycles did not run it.
  EXPECT_EQ(frame.airCue[3], nthEvaluation(text, 1, -3.0));
  EXPECT_EQ(frame.airCue[3], -0.5);
}

TEST_F(CueFixture, EveryActiveChainRunsExactlyOncePerCycle) {
  // A chain whose output tells how often it ran, also on a 0 input.
  const std::string text = "EMALP(ADD(VALUE;1);4)";
  for (int p = 0; p < 2; ++p)
    for (int ch = 0; ch < kChannelCount; ++ch) install(p, ch, text);
  openInputLimits();
  for (int k = 0; k < 43; ++k) frame.gameData[4 + k] = 0.125 * (k + 1);
  engine.airWeight.store(0.5);
  engine.groundWeight.store(0.5);
  constexpr int kCycles = 7;
  for (int i = 0; i < kCycles; ++i) engine.selectProfile();

  auto input = [&](const ChannelRule& r) { return frame.gameData[4 + r.k]; };
  for (const ChannelRule& r : kMainTable) {
    EXPECT_EQ(frame.airCue[r.output], nthEvaluation(text, kCycles, input(r)) * 0.5) << r.output;
    EXPECT_EQ(frame.groundCue[r.output], nthEvaluation(text, kCycles, input(r)) * 0.5) << r.output;
  }
  for (const ChannelRule& r : kBeltTable) {
    if (r.output == kBeltChannel) continue;
    EXPECT_EQ(frame.airCue[r.output], nthEvaluation(text, kCycles, input(r))) << r.output;
  }
  EXPECT_EQ(frame.airCue[10], nthEvaluation(text, kCycles, 0.0));  // belt mix 0: sum 0
  for (const ChannelRule& r : kEffectTable)
    EXPECT_EQ(frame.airCue[r.output], nthEvaluation(text, kCycles, 0.125)) << r.output;
  EXPECT_EQ(frame.airCue[21], nthEvaluation(text, kCycles, input(kWindRule)));
  EXPECT_EQ(frame.airCue[22], 0.0);
  for (int ch = 10; ch < kChannelCount; ++ch) EXPECT_EQ(frame.groundCue[ch], 0.0) << ch;
}

TEST_F(CueFixture, BeltFiltersTheWeightedSumOfItsFilteredComponents) {
  install(0, 11, "GAIN(VALUE;2)");
  install(0, 10, "GAIN(VALUE;3)");
  double* gd = frame.gameData;
  gd[gd::kLongitudinalAccelG] = 1.5;
  gd[gd::kVerticalAccelG] = 2.0;
  gd[gd::kRollSpeed] = 4.0;
  gd[gd::kPitchSpeed] = 1.0;
  engine.setBeltMix(0, 1, 1.0);
  engine.selectProfile();
  EXPECT_EQ(gd[gd::kBeltSum], 3.0);  // this cycle's filtered longitudinal acceleration
  EXPECT_EQ(frame.airCue[10], 9.0);
  EXPECT_EQ(frame.cue[10], 9.0);

  gd[gd::kLongitudinalAccelG] = 0.5;
  engine.setBeltMix(0, 2, 0.5);
  engine.setBeltMix(0, 3, 100.0);  // not part of the belt
  engine.setBeltMix(0, 4, 0.25);
  engine.setBeltMix(0, 5, -2.0);
  engine.setBeltMix(1, 1, 50.0);  // the ground profile's mix is not read
  engine.airWeight.store(0.2);    // nor do the profile weights touch the belt
  engine.groundWeight.store(0.8);
  engine.selectProfile();
  EXPECT_EQ(gd[gd::kBeltSum], 1.0 * 1.0 + 2.0 * 0.5 + 4.0 * 0.25 + -2.0 * 1.0);
  EXPECT_EQ(frame.cue[10], 3.0 * gd[gd::kBeltSum]);

  engine.setActiveAxis(0, 11, false);  // a switched-off component adds nothing
  engine.selectProfile();
  EXPECT_EQ(gd[gd::kBeltSum], 0.0);
}

// Each channel's chain adds its own power of two, so every sum says exactly
// which contributions it holds.
TEST_F(CueFixture, CueChannelsSumTheirContributions) {
  auto bitOf = [](int profile, int ch) { return std::ldexp(1.0, profile * kChannelCount + ch); };
  for (int p = 0; p < 2; ++p)
    for (int ch = 0; ch < kChannelCount; ++ch)
      install(p, ch, "ADD(VALUE;" + std::to_string(bitOf(p, ch)) + ")");
  engine.airWeight.store(1.0);
  engine.groundWeight.store(1.0);
  engine.selectProfile();
  auto a = [&](int ch) { return bitOf(0, ch); };
  auto g = [&](int ch) { return bitOf(1, ch); };
  for (int ch = 0; ch < kChannelCount; ++ch) {
    EXPECT_EQ(frame.airCue[ch], ch == 22 ? 0.0 : a(ch)) << ch;  // 22 is never run
    EXPECT_EQ(frame.groundCue[ch], ch < 10 ? g(ch) : 0.0) << ch;
  }
  for (int ch = 0; ch < 4; ++ch) EXPECT_EQ(frame.cue[ch], a(15 + ch) + a(ch) + g(ch)) << ch;
  EXPECT_EQ(frame.cue[4], (g(6) + a(6)) + a(4) + (g(8) + a(8)) + a(19) + g(4));
  EXPECT_EQ(frame.cue[5], (g(7) + a(7)) + a(5) + (g(9) + a(9)) + a(20) + g(5));
  for (int ch = 6; ch < 10; ++ch) EXPECT_EQ(frame.cue[ch], g(ch) + a(ch)) << ch;
  EXPECT_EQ(frame.cue[10], a(10));
  EXPECT_EQ(frame.cue[21], a(21));
  for (int ch = 11; ch <= 20; ++ch) EXPECT_EQ(frame.cue[ch], 0.0) << ch;
  EXPECT_EQ(frame.cue[22], 0.0);
}

TEST_F(CueFixture, RulesOutsideTheTablesRangesAreRefused) {
  for (ChannelRule bad : {ChannelRule{23, 0, false}, ChannelRule{-1, 0, false}, ChannelRule{0, 43, true},
                          ChannelRule{0, -5, false}}) {
    try {
      engine.getActivedof(engine.airProfile, bad, 1.0);
      ADD_FAILURE() << bad.output << " " << bad.k;
    } catch (const std::out_of_range& e) {
      EXPECT_STREQ(e.what(), "Index out of range in getActivedof");
    }
  }
  frame.gameData[46] = 7.0;
  EXPECT_EQ(engine.getActivedof(engine.airProfile, ChannelRule{22, 42, false}, 2.0), 14.0);
}

TEST_F(CueFixture, TheMotionCycleComputesCuesBeforeItHoldsAndFadesThem) {
  attachAndReady();
  double& roll = frame.gameData[gd::kRollPosition];
  roll = 5.0;
  engine.loopPass();  // carries out the fade restart of becoming ready
  engine.fade.store(1.0);
  roll = 6.0;
  engine.loopPass();
  EXPECT_EQ(frame.cue[8], 6.0);

  // setActiveAxis restarts the fade: the cycle holds the cues it had before
  // computing new ones, and the fade starts from them.
  engine.setActiveAxis(1, 8, false);
  EXPECT_EQ(engine.transitionStatus(), 0.0);
  roll = 7.0;
  engine.loopPass();
  EXPECT_EQ(frame.heldCue[8], 6.0);
  EXPECT_EQ(frame.airCue[8], 7.0);
  EXPECT_EQ(frame.cue[8], 6.0);
}

}  // namespace
}  // namespace kinevra
