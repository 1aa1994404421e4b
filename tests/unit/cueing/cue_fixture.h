#pragma once
// An engine on a manual clock with scripted telemetry, for the cue and
// profile tests: cycles are stepped by hand, no real time passes.
#include <gtest/gtest.h>

#include <string>

#include "engine/gamesource.h"
#include "filter/filter_compiler.h"
#include "manual_clock.h"
#include "sources/gravity.h"

namespace kinevra::test {

struct CueFixture : ::testing::Test {
  ManualClock clock;
  ScriptedLink link;
  Gamesource engine{clock, &link};
  TelemetryFrame& frame = engine.sources.frame;

  // Start-up, attach on the first pass, motion system ready.
  void attachAndReady() {
    engine.threadStartup();
    engine.loopPass();
    ASSERT_TRUE(engine.attached.load());
    engine.setMotionSystemReady(1);
  }
  void install(int profile, int channel, const std::string& text) {
    ASSERT_TRUE(engine.installFilterString(profile, channel, text.c_str())) << text;
  }
  // Limits that let every test input through unchanged.
  void openInputLimits() {
    for (unsigned ch = 0; ch < 8; ++ch) engine.setInputDofLimit(ch, -1000.0, 1000.0);
  }
};

// What a fresh chain of text gives on its n-th evaluation of x.
inline double nthEvaluation(const std::string& text, int n, double x) {
  auto chain = parseFilterString(text);
  double v = 0.0;
  for (int i = 0; i < n; ++i) v = chain->evaluate(x, 1.0, 1.0, 1.0);
  return v;
}

}  // namespace kinevra::test
