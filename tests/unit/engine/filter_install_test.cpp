// Installing filter chains into the engine's profiles (setcheckFilterstring):
// the slots, the fade restart and output suspension, and installation from a
// host thread while the game-source thread evaluates.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>

#include "engine/gamesource.h"
#include "manual_clock.h"

namespace kinevra {
namespace {

using test::ManualClock;
using test::ScriptedLink;

struct FilterInstall : ::testing::Test {
  ManualClock clock;
  ScriptedLink link;
  Gamesource engine{clock, &link};

  void attachAndReady() {
    engine.threadStartup();
    engine.loopPass();
    ASSERT_TRUE(engine.attached.load());
    engine.setMotionSystemReady(1);
    engine.loopPass();
  }
};

TEST_F(FilterInstall, ProfilesStartWithPassThroughChains) {
  EXPECT_EQ(engine.airProfile.name, "Profil AIR");
  EXPECT_EQ(engine.groundProfile.name, "Profil GROUND");
  EXPECT_EQ(engine.profileAt(0), &engine.airProfile);
  EXPECT_EQ(engine.profileAt(1), &engine.groundProfile);
  EXPECT_EQ(engine.profileAt(2), nullptr);
  EXPECT_EQ(engine.profileAt(-1), nullptr);
  for (int p = 0; p < 2; ++p) {
    for (int ch = 0; ch < kChannelCount; ++ch) {
      auto chain = engine.profileAt(p)->chains[static_cast<std::size_t>(ch)].load();
      ASSERT_TRUE(chain->valid.load());
      EXPECT_EQ(chain->kind, kValue);
      EXPECT_EQ(engine.evaluateChannel(p, ch, 0.625), 0.625);
    }
  }
  EXPECT_EQ(engine.evaluateChannel(2, 0, 1.0), 0.0);
  EXPECT_EQ(engine.evaluateChannel(0, 23, 1.0), 0.0);
}

TEST_F(FilterInstall, AValidTextReplacesOneSlotAndResumesOutput) {
  attachAndReady();
  EXPECT_FALSE(engine.outputSuspended.load());
  auto before = engine.groundProfile.chains[7].load();

  EXPECT_TRUE(engine.installFilterString(1, 7, "GAIN(VALUE;3)"));
  EXPECT_FALSE(engine.outputSuspended.load());
  EXPECT_EQ(engine.transitionStatus(), 0.0);  // the fade-in restarts
  EXPECT_NE(engine.groundProfile.chains[7].load(), before);
  EXPECT_EQ(engine.evaluateChannel(1, 7, 2.0), 6.0);
  EXPECT_EQ(engine.evaluateChannel(1, 6, 2.0), 2.0);  // the neighbours are untouched
  EXPECT_EQ(engine.evaluateChannel(0, 7, 2.0), 2.0);

  // The game-source thread carries out the restart on its next cycle.
  engine.fade.store(1.0);
  engine.loopPass();
  EXPECT_LT(engine.fade.load(), 0.01);
}

TEST_F(FilterInstall, ARefusedTextKeepsTheOldChainAndSuspendsOutput) {
  attachAndReady();
  ASSERT_TRUE(engine.installFilterString(0, 3, "ADD(VALUE;1)"));
  auto installed = engine.airProfile.chains[3].load();

  for (const char* bad : {"ADD(VALUE;1", "EMALP(VALUE;0.5)", "", "value"}) {
    SCOPED_TRACE(bad);
    ASSERT_TRUE(engine.installFilterString(0, 3, "ADD(VALUE;1)"));
    engine.loopPass();  // the restart is carried out
    EXPECT_FALSE(engine.installFilterString(0, 3, bad));
    EXPECT_TRUE(engine.outputSuspended.load());
    EXPECT_EQ(engine.transitionStatus(), 0.0);
    EXPECT_EQ(engine.evaluateChannel(0, 3, 1.0), 2.0);
  }
  EXPECT_FALSE(engine.installFilterString(0, 3, nullptr));
  EXPECT_TRUE(engine.outputSuspended.load());

  // The output stays suspended through motion cycles until an install succeeds.
  for (int i = 0; i < 5; ++i) engine.loopPass();
  EXPECT_TRUE(engine.outputSuspended.load());
  EXPECT_TRUE(engine.installFilterString(0, 3, "VALUE"));
  EXPECT_FALSE(engine.outputSuspended.load());
}

TEST_F(FilterInstall, SlotsThatDoNotExistAreRefused) {
  struct Target {
    int profile, channel;
  };
  for (Target t : {Target{2, 0}, Target{-1, 0}, Target{0, 23}, Target{1, -1}}) {
    SCOPED_TRACE(std::to_string(t.profile) + "/" + std::to_string(t.channel));
    engine.outputSuspended.store(false);
    EXPECT_FALSE(engine.installFilterString(t.profile, t.channel, "GAIN(VALUE;5)"));
    EXPECT_TRUE(engine.outputSuspended.load());
  }
  for (int p = 0; p < 2; ++p)
    for (int ch = 0; ch < kChannelCount; ++ch) EXPECT_EQ(engine.evaluateChannel(p, ch, 1.0), 1.0);
}

TEST_F(FilterInstall, HostInstallsWhileTheGameSourceThreadEvaluates) {
  std::atomic<bool> done{false};
  std::atomic<long> passes{0};
  std::atomic<long> wrong{0};
  std::thread gameSource([&] {
    while (!done.load()) {
      for (int p = 0; p < 2; ++p) {
        for (int ch = 0; ch < kChannelCount; ++ch) {
          const double y = engine.evaluateChannel(p, ch, 1.0);
          // Every text below maps 1 to a value in [1, 2].
          if (!(y >= 1.0 && y <= 2.0)) ++wrong;
        }
      }
      ++passes;
    }
  });
  const char* texts[] = {"GAIN(VALUE;2)", "ADD(EMALP(VALUE;1);1)", "CROP(NOISE(VALUE;0.5;100;9);1;2)",
                         "ADD(ABS(ROLLOVER(SINUS(VALUE;1;3);1));1)", "VALUE"};
  int installed = 0;
  for (int i = 0; i < 4000; ++i) {
    const int p = i % 2, ch = (i / 2) % kChannelCount;
    installed += engine.installFilterString(p, ch, texts[i % 5]) ? 1 : 0;
  }
  const long seen = passes.load();
  while (passes.load() < seen + 2) std::this_thread::yield();
  done.store(true);
  gameSource.join();
  EXPECT_EQ(installed, 4000);
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_FALSE(engine.outputSuspended.load());
}

}  // namespace
}  // namespace kinevra
