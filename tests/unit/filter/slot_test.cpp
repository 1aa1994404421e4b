// Chains in their slots: installation while another thread evaluates, who
// releases what, and evaluation without heap allocation.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "cueing/cue_profile.h"
#include "filter/filter_compiler.h"
#include "filter/filter_slot.h"
#include "allocation_counter.h"

namespace kinevra {
namespace {

TEST(FilterSlot, EvaluatingSideHoldsItsChainUntilItAsksAgain) {
  FilterSlot slot;
  EXPECT_EQ(slot.current(), nullptr);
  EXPECT_EQ(slot.load(), nullptr);

  auto first = parseFilterString("GAIN(VALUE;2)");
  std::weak_ptr<FilterSys> firstAlive = first;
  slot.replace(first);
  first.reset();
  ASSERT_NE(slot.current(), nullptr);
  EXPECT_EQ(slot.current()->evaluate(1.0, 1.0, 1.0, 1.0), 2.0);

  slot.replace(parseFilterString("GAIN(VALUE;3)"));
  EXPECT_EQ(slot.load()->param1, 3.0f);
  EXPECT_FALSE(firstAlive.expired());  // still held by the evaluating side
  EXPECT_EQ(slot.current()->evaluate(1.0, 1.0, 1.0, 1.0), 3.0);
  // Let go of by the evaluating side, but released only by the next installation.
  EXPECT_FALSE(firstAlive.expired());
  slot.replace(parseFilterString("GAIN(VALUE;4)"));
  EXPECT_TRUE(firstAlive.expired());

  // Installed but never evaluated: released by the installation that replaces it.
  std::weak_ptr<FilterSys> skipped = slot.load();
  slot.replace(parseFilterString("GAIN(VALUE;5)"));
  EXPECT_TRUE(skipped.expired());
  EXPECT_EQ(slot.current()->evaluate(1.0, 1.0, 1.0, 1.0), 5.0);
}

TEST(FilterSlot, ProfileStartsWithPassThroughChains) {
  CueProfile profile("Profil AIR");
  EXPECT_EQ(profile.name, "Profil AIR");
  for (int ch = 0; ch < kChannelCount; ++ch) {
    auto chain = profile.chains[static_cast<std::size_t>(ch)].load();
    ASSERT_TRUE(chain && chain->valid.load());
    EXPECT_EQ(chain->name, "VALUE");
    EXPECT_EQ(chain->nextNode(), nullptr);
    EXPECT_EQ(profile.evaluateChannel(ch, -2.5), -2.5);
  }
  EXPECT_EQ(profile.evaluateChannel(23, 1.0), 0.0);
  EXPECT_EQ(profile.evaluateChannel(-1, 1.0), 0.0);
  profile.chains[4].replace(parseFilterString("FOO"));  // an invalid head contributes 0
  EXPECT_EQ(profile.evaluateChannel(4, 1.0), 0.0);
}

// Each variant gives a result that identifies it: input 1 gives 2, 3, ...
const char* const kVariants[] = {"GAIN(VALUE;2)", "ADD(VALUE;2)", "CROP(GAIN(EMALP(VALUE;1);4);-9;9)",
                                 "ABS(ADD(NOISE(VALUE;0;50;3);-6))", "SETVALUE(VALUE;6)"};

TEST(FilterSlot, ReplacingWhileAnotherThreadEvaluates) {
  CueProfile profile("Profil GROUND");
  std::vector<std::shared_ptr<FilterSys>> compiled;
  std::atomic<bool> done{false};
  std::atomic<long> evaluations{0};
  std::atomic<long> wrong{0};

  std::thread engine([&] {
    while (!done.load()) {
      for (int ch = 0; ch < 3; ++ch) {
        const double y = profile.evaluateChannel(ch, 1.0);
        if (!(y == 1.0 || y == 2.0 || y == 3.0 || y == 4.0 || y == 5.0 || y == 6.0)) ++wrong;
      }
      ++evaluations;
    }
  });
  std::vector<std::weak_ptr<FilterSys>> replaced;
  for (int i = 0; i < 20000; ++i) {
    auto chain = parseFilterString(kVariants[i % 5]);
    if (i % 500 == 0) replaced.push_back(chain);
    profile.chains[static_cast<std::size_t>(i % 3)].replace(std::move(chain));
  }
  // Let the evaluating thread see the final chains at least once.
  const long seen = evaluations.load();
  while (evaluations.load() < seen + 2) std::this_thread::yield();
  done.store(true);
  engine.join();

  EXPECT_EQ(wrong.load(), 0);
  // Once replaced again, every earlier chain is gone.
  for (int ch = 0; ch < 3; ++ch) profile.chains[static_cast<std::size_t>(ch)].replace(parseFilterString("VALUE"));
  for (auto& w : replaced) EXPECT_TRUE(w.expired());
}

TEST(FilterEvaluation, AllocatesNothing) {
  auto realistic = parseFilterString("GAIN(CROP(EMAHP(EMALP(VALUE;8);400);-1;1);1.5)");
  std::string text = "VALUE";
  for (const char* step : {"EMALP(;2)", "EMAHP(;3)", "MUL(;2)", "GAIN(;2)", "LOGISTIC(;1;1)", "CROP(;-1;1)",
                           "ROLLOVER(;1)", "REMAP(;0;1;0;2)", "NOISE(;1;10;4)", "BITSCALE(;10;255)",
                           "BITSCALESIGNED(;10;127)", "SINUS(;1;1)", "ABS()", "SETVALUE(;0)", "ADD(;1)"}) {
    const std::string s = step;
    const std::size_t open = s.find('(');
    text = s.substr(0, open + 1) + text + s.substr(open + 1);
  }
  auto everyStep = parseFilterString(text);
  ASSERT_TRUE(realistic->valid.load() && everyStep->valid.load());
  CueProfile profile("Profil AIR");
  profile.chains[0].replace(parseFilterString("EMALP(VALUE;3)"));
  double sink = 0.0;
  {
    CountAllocations counter;
    for (int i = 0; i < 5000; ++i) {
      const double x = std::sin(i * 0.01);
      sink += realistic->evaluate(x, 1.0, 1.0, 1.0);
      sink += everyStep->evaluate(x, 1.0, 1.0, 1.0);
      sink += profile.evaluateChannel(i % kChannelCount, x);  // picks up the new chain of channel 0
    }
    EXPECT_EQ(counter.count(), 0);
  }
  EXPECT_TRUE(std::isfinite(sink));
  // The counter does see allocations.
  CountAllocations counter;
  auto again = parseFilterString("VALUE");
  EXPECT_GT(counter.count(), 0);
}

}  // namespace
}  // namespace kinevra
