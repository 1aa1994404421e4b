// NoLimits 2 replies of any content, length and order: the input is cut
// into receives (each led by a length byte and an interval byte) that go
// through the reply conversion one after the other, with its state kept. No
// read outside a receive, and every value it writes, and its state, stay
// finite whatever the quaternions hold.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sources/network/nolimits2.h"
#include "sources/telemetry_frame.h"

using namespace kinevra;

namespace {

void expectFinite(const double* g, const NoLimits2State& s) {
  for (int i = 0; i < kGameDataCount; ++i)
    if (!std::isfinite(g[i])) std::abort();
  for (double v : s.previous)
    if (!std::isfinite(v)) std::abort();
  for (int i = 0; i < 3; ++i)
    if (!std::isfinite(s.rates[i]) || !std::isfinite(s.accels[i]) || !std::isfinite(s.speeds[i])) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  NoLimits2State state;
  double g[kGameDataCount] = {};
  std::size_t at = 0;
  while (at + 2 <= size) {
    // Receives of up to 1000 bytes: the length byte counts in steps of 4.
    const std::size_t want = std::size_t(data[at]) * 4;
    const double intervalMs = data[at + 1] * 40.0;
    at += 2;
    const std::size_t n = want < size - at ? want : size - at;
    const std::vector<std::uint8_t> received(data + at, data + at + n);
    at += n;
    g[gd::kIntervalMs] = intervalMs;
    convertNoLimits2Reply(received.empty() ? nullptr : received.data(), received.size(), g, state);
    expectFinite(g, state);
  }
  return 0;
}
