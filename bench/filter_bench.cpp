// Cost of one chain evaluation on the engine thread, and of compiling a text.
#include <benchmark/benchmark.h>

#include <mutex>

#include "cueing/cue_profile.h"
#include "filter/filter_compiler.h"

namespace {

using kinevra::FilterSys;
using kinevra::parseFilterString;

constexpr const char* kRealistic = "GAIN(CROP(EMAHP(EMALP(VALUE;8);400);-1;1);1.5)";

void BM_EvaluateRealisticChain(benchmark::State& state) {
  auto chain = parseFilterString(kRealistic);
  double x = 0.0;
  for (auto _ : state) {
    x += 0.001;
    if (x > 1.0) x = -1.0;
    benchmark::DoNotOptimize(chain->evaluate(x, 1.0, 1.0, 1.0));
  }
}
BENCHMARK(BM_EvaluateRealisticChain);

// As the engine reaches it: through the profile's slot.
void BM_EvaluateProfileChannel(benchmark::State& state) {
  kinevra::CueProfile profile("Profil AIR");
  profile.chains[0].replace(parseFilterString(kRealistic));
  double x = 0.0;
  for (auto _ : state) {
    x += 0.001;
    if (x > 1.0) x = -1.0;
    benchmark::DoNotOptimize(profile.evaluateChannel(0, x));
  }
}
BENCHMARK(BM_EvaluateProfileChannel);

void BM_EvaluateNoiseAndSinus(benchmark::State& state) {
  auto chain = parseFilterString("ADD(SINUS(VALUE;1;2);0.5)");
  auto noise = parseFilterString("NOISE(VALUE;0.5;200;7)");
  for (auto _ : state) {
    benchmark::DoNotOptimize(chain->evaluate(0.1, 1.0, 1.0, 1.0));
    benchmark::DoNotOptimize(noise->evaluate(0.1, 1.0, 1.0, 1.0));
  }
}
BENCHMARK(BM_EvaluateNoiseAndSinus);

// For comparison: the same chain walked node by node from the tail, taking
// each node's link lock and a shared reference to the node before it.
void BM_EvaluateLockedWalkForComparison(benchmark::State& state) {
  auto chain = parseFilterString(kRealistic);
  double x = 0.0;
  for (auto _ : state) {
    x += 0.001;
    if (x > 1.0) x = -1.0;
    double v = x;
    std::shared_ptr<FilterSys> node = kinevra::getTail(chain);
    while (node) {
      v = node->applyStep(v, 1.0, 1.0, 1.0);
      std::shared_ptr<FilterSys> before;
      {
        std::lock_guard<std::mutex> lock(node->linkLock);
        before = node->prev.lock();
      }
      node = std::move(before);
    }
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_EvaluateLockedWalkForComparison);

void BM_CompileRealisticChain(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(parseFilterString(kRealistic));
}
BENCHMARK(BM_CompileRealisticChain);

}  // namespace
