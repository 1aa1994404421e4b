#pragma once
// One motion profile of the engine: its name, which cue channels it computes,
// the weights of the belt mix and the filter chain of each of the 23 cue
// channels (each "VALUE" at construction). Host threads change the flags,
// weights and chains while the game-source thread computes with them; each
// flag and weight is a value of its own (relaxed atomics), so a reader never
// sees one half-written.
#include <array>
#include <atomic>
#include <string>

#include "filter/filter_slot.h"
#include "sources/telemetry_frame.h"

namespace kinevra {

// Belt-mix weights per profile (indexes as the items of the handed-out
// telemetry; the belt sum reads only 1, 2, 4 and 5 of the air profile).
inline constexpr int kBeltMixCount = 43;

struct CueProfile {
  explicit CueProfile(std::string profileName);
  CueProfile(const CueProfile&) = delete;
  CueProfile& operator=(const CueProfile&) = delete;

  // Game-source thread: runs channel's chain on x with the engine's scale
  // factors (1.0 each); 0 for an invalid chain or a channel outside 0..22.
  double evaluateChannel(int channel, double x);

  bool isActive(int channel) const {
    return active[static_cast<std::size_t>(channel)].load(std::memory_order_relaxed);
  }
  double beltWeight(int index) const {
    return beltMix[static_cast<std::size_t>(index)].load(std::memory_order_relaxed);
  }

  std::string name;
  std::array<std::atomic<bool>, kChannelCount> active;  // all true at construction
  std::array<std::atomic<double>, kBeltMixCount> beltMix;  // all 0 at construction
  std::array<FilterSlot, kChannelCount> chains;
};

// A {low, high} pair of a channel's limits. Host threads set it and the
// game-source thread reads it; the two halves are separate atomics, so a
// pair may be seen half-updated for one cycle, never a torn double.
struct DofLimit {
  std::atomic<double> low{0.0};
  std::atomic<double> high{0.0};

  void set(double lo, double hi) {
    low.store(lo, std::memory_order_relaxed);
    high.store(hi, std::memory_order_relaxed);
  }
};

}  // namespace kinevra
