// Cost of one cycle's profile selection and cue computation with realistic
// filter chains on all 46 profile channels.
#include <benchmark/benchmark.h>

#include <cmath>

#include "engine/gamesource.h"
#include "manual_clock.h"

namespace {

using kinevra::Gamesource;
using kinevra::kChannelCount;
using kinevra::test::ManualClock;
using kinevra::test::ScriptedLink;

// Three to five steps each, as a rig profile sets them.
const char* const kChains[] = {
    "GAIN(CROP(EMAHP(EMALP(VALUE;8);400);-1;1);1.5)",
    "CROP(EMALP(GAIN(VALUE;0.8);12);-0.9;0.9)",
    "MUL(EMAHP(EMALP(VALUE;5);300);2)",
    "ADD(GAIN(SINUS(VALUE;0.2;3);0.5);0.1)",
    "CROP(GAIN(NOISE(VALUE;0.3;200;7);1.2);-1;1)",
};

struct Rig {
  ManualClock clock;
  ScriptedLink link;
  Gamesource engine{clock, &link};
  double wave[1024];
  Rig() {
    for (int i = 0; i < 1024; ++i) wave[i] = 2.0 * std::sin(i * 0.0061);
    for (int p = 0; p < 2; ++p)
      for (int ch = 0; ch < kChannelCount; ++ch) engine.installFilterString(p, ch, kChains[(p * 7 + ch) % 5]);
    for (unsigned ch = 0; ch < 8; ++ch) engine.setInputDofLimit(ch, -3.0, 3.0);
    for (int i = 1; i < 6; ++i) engine.setBeltMix(0, i, 0.25);
  }
  void moveInputs(int cycle) {
    double* gd = engine.sources.frame.gameData;
    for (int k = 5; k < 46; ++k) gd[k] = wave[(cycle + 37 * k) & 1023];
  }
};

void BM_SelectProfileSteady(benchmark::State& state) {
  Rig rig;
  int cycle = 0;
  for (auto _ : state) {
    rig.moveInputs(++cycle);
    rig.engine.selectProfile();
  }
  benchmark::DoNotOptimize(rig.engine.sources.frame.cue[4]);
}
BENCHMARK(BM_SelectProfileSteady);

// Landings and take-offs back to back: a transition runs in every cycle.
void BM_SelectProfileTransitioning(benchmark::State& state) {
  Rig rig;
  int cycle = 0;
  for (auto _ : state) {
    rig.moveInputs(++cycle);
    rig.link.ground = (cycle / 100) % 2;
    rig.engine.selectProfile();
  }
  benchmark::DoNotOptimize(rig.engine.sources.frame.cue[4]);
}
BENCHMARK(BM_SelectProfileTransitioning);

// The input update alone, to subtract from the figures above.
void BM_InputUpdateOnly(benchmark::State& state) {
  Rig rig;
  int cycle = 0;
  for (auto _ : state) rig.moveInputs(++cycle);
  benchmark::DoNotOptimize(rig.engine.sources.frame.gameData[10]);
}
BENCHMARK(BM_InputUpdateOnly);

}  // namespace
