// What the cue computation may not do on the game-source thread: allocate,
// or race with host threads that change the settings meanwhile.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>

#include "allocation_counter.h"
#include "cue_fixture.h"

namespace kinevra {
namespace {

using test::CueFixture;

// Realistic chains of three to five steps, as a rig profile sets them.
const char* const kChains[] = {
    "GAIN(CROP(EMAHP(EMALP(VALUE;8);400);-1;1);1.5)",
    "CROP(EMALP(GAIN(VALUE;0.8);12);-0.9;0.9)",
    "MUL(EMAHP(EMALP(VALUE;5);300);2)",
    "ADD(GAIN(SINUS(VALUE;0.2;3);0.5);0.1)",
    "CROP(GAIN(NOISE(VALUE;0.3;200;7);1.2);-1;1)",
};

void installRealisticChains(CueFixture& f) {
  for (int p = 0; p < 2; ++p)
    for (int ch = 0; ch < kChannelCount; ++ch) f.install(p, ch, kChains[(p * 7 + ch) % 5]);
  f.openInputLimits();
  for (int i = 0; i < 8; ++i) f.engine.setBeltMix(0, i, 0.25);
}

TEST_F(CueFixture, MotionCyclesAllocateNothing) {
  installRealisticChains(*this);
  attachAndReady();
  clock.sleepsNs.reserve(100000);  // the test clock's own record of sleeps
  int cycle = 0;
  link.onRead = [&] {
    ++cycle;
    for (int k = 4; k < 46; ++k) frame.gameData[k] = std::sin(cycle * 0.01 + k);
    link.ground = (cycle / 150) % 3 == 2 ? -1 : (cycle / 150) % 2;  // landings, take-offs, no flag
  };
  long allocations = 0;
  {
    tAllocations = 0;
    tCounting = true;
    for (int i = 0; i < 3000; ++i) engine.loopPass();
    tCounting = false;
    allocations = tAllocations;
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(cycle, 3000);
  EXPECT_TRUE(std::isfinite(frame.cue[10]));
  // The counter does see allocations.
  tAllocations = 0;
  tCounting = true;
  auto chain = parseFilterString("VALUE");
  tCounting = false;
  EXPECT_GT(tAllocations, 0);
}

// A host thread changes every profile setting while the engine thread runs
// cycles (ThreadSanitizer checks the accesses in the tsan build).
TEST_F(CueFixture, HostSettingsDuringCyclesAreRaceFree) {
  installRealisticChains(*this);
  attachAndReady();
  int cycle = 0;
  link.onRead = [&] {  // on the engine thread, like a reader
    ++cycle;
    frame.gameData[gd::kRollPosition] = cycle % 90;
    frame.gameData[gd::kLongitudinalAccelG] = std::cos(cycle * 0.02);
    link.ground = (cycle / 100) % 2;
  };
  std::atomic<bool> stop{false};
  std::thread engineThread([&] {
    for (int i = 0; i < 3000; ++i) engine.loopPass();
    stop.store(true);
  });
  long rounds = 0;
  double seen = 0.0;
  double cues = 0.0;
  while (!stop.load()) {
    const int ch = static_cast<int>(rounds % kChannelCount);
    const int p = static_cast<int>(rounds % 2);
    engine.setActiveAxis(p, ch, rounds % 3 != 0);
    engine.setBeltMix(0, static_cast<int>(rounds % kBeltMixCount), 0.1 * (rounds % 7));
    engine.setInputDofLimit(static_cast<unsigned>(rounds % 12), -1.0 - rounds % 5, 1.0 + rounds % 5);
    if (rounds % 64 == 0) engine.installFilterString(p, ch, kChains[rounds % 5]);
    seen += engine.airTransitionStatus() + engine.groundTransitionStatus();
    seen += engine.activeProfile.load(std::memory_order_relaxed);
    for (int i = 0; i < kChannelCount; ++i) cues += loadShared(frame.cue[i]);
    ++rounds;
  }
  engineThread.join();
  EXPECT_EQ(cycle, 3000);
  EXPECT_GT(rounds, 0);
  EXPECT_TRUE(std::isfinite(seen));
  EXPECT_FALSE(std::isnan(cues));
}

}  // namespace
}  // namespace kinevra
