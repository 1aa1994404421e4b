#pragma once
// An engine on a manual clock with scripted telemetry and a controller link
// of its own, for the output-stage tests. The inputs reach the rig channels
// one to one: input limits are open, the ground profile's main channels and
// the air profile's tilt and attitude channels (6..9) are off, the fade-in
// is instant, so
//   cue[0] lateral_accel_g, cue[1] longitu_accel_g, cue[2] vertica_accel_g,
//   cue[3] yaw_speed, cue[4] roll_speed, cue[5] pitch_speed,
//   cue[10] longitu_accel_g (belt mix 1 on it), cue[21] speed.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <limits>
#include <memory>
#include <string>

#include "cueing/output_data.h"
#include "engine/gamesource.h"
#include "link/link_state.h"
#include "manual_clock.h"
#include "sources/gravity.h"

namespace kinevra::test {

inline constexpr int kSpeed = 32;  // GameData value of the speed (the wind's input)

// A pose block name of this test alone, so that parallel runs never meet.
inline std::string uniquePoseName() {
  static std::atomic<int> serial{0};
  return "Local\\motionRigPose-test-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
         std::to_string(serial++);
}

struct OutputFixture : ::testing::Test {
  ManualClock clock;
  ScriptedLink link;
  std::unique_ptr<LinkState> controller = std::make_unique<LinkState>(clock);
  std::unique_ptr<Gamesource> engine = std::make_unique<Gamesource>(clock, &link, controller.get());
  TelemetryFrame& frame = engine->sources.frame;
  std::array<double, kGameDataCount> input{};
  int cycles = 0;

  OutputFixture() { engine->poseMappingName = uniquePoseName(); }

  // Attached, ready, the fade done; the link takes output as if a bridge ran.
  void start() {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    for (unsigned ch = 0; ch < 8; ++ch) engine->setInputDofLimit(ch, -kInf, kInf);
    for (int ch = 0; ch < 10; ++ch) engine->setActiveAxis(1, ch, false);
    for (int ch = 6; ch < 10; ++ch) engine->setActiveAxis(0, ch, false);
    engine->setBeltMix(0, 1, 1.0);
    for (int ch = 0; ch < kRigChannels; ++ch) engine->setRigDofLimit(ch, -1000.0, 1000.0);
    link.onRead = [this] {
      ++cycles;
      for (int k = 5; k < kGameDataCount - 1; ++k) frame.gameData[k] = input[static_cast<std::size_t>(k)];
      frame.gameData[gd::kLateralSpeed] = cycles;  // never stale
    };
    controller->bridgeRunning = true;
    engine->fadeDurationMs = 1e-9;
    engine->threadStartup();
    engine->loopPass();  // attaches
    ASSERT_TRUE(engine->attached.load());
    engine->setMotionSystemReady(1);
    engine->loopPass();  // the fade restarts (that cycle counts nothing towards it)
    engine->loopPass();  // and ends
    ASSERT_EQ(engine->transitionStatus(), 100.0);
  }

  void cycle(int n = 1) {
    for (int i = 0; i < n; ++i) engine->loopPass();
  }

  OutputMessage message() const { return engine->outputData.load(); }
  float channel(int i) const {
    return output::floatLittleEndian(&message()[kRigChannelOffset + 4 * static_cast<std::size_t>(i)]);
  }
  std::array<std::uint8_t, 4> field(std::size_t offset) const {
    const auto m = message();
    return {m[offset], m[offset + 1], m[offset + 2], m[offset + 3]};
  }
};

}  // namespace kinevra::test
