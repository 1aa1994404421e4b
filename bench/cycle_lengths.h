#pragma once
// The distribution of a loop's measured cycle lengths (milliseconds), as
// benchmark counters: count, mean, min, p50, p99, p99.9, max and the cycles
// over 2.5 ms.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace kinevra::bench {

inline void reportCycleLengths(benchmark::State& state, std::vector<double> s) {
  if (s.empty()) return;
  std::sort(s.begin(), s.end());
  auto at = [&](double q) { return s[static_cast<std::size_t>(q * static_cast<double>(s.size() - 1))]; };
  double sum = 0;
  for (double v : s) sum += v;
  state.counters["cycles"] = static_cast<double>(s.size());
  state.counters["mean_ms"] = sum / static_cast<double>(s.size());
  state.counters["min_ms"] = s.front();
  state.counters["p50_ms"] = at(0.5);
  state.counters["p99_ms"] = at(0.99);
  state.counters["p999_ms"] = at(0.999);
  state.counters["max_ms"] = s.back();
  state.counters["over_2.5ms"] =
      static_cast<double>(std::count_if(s.begin(), s.end(), [](double v) { return v > 2.5; }));
}

}  // namespace kinevra::bench
