#pragma once
// The telemetry frame: GameData (47 normalised values) followed by the cue
// arrays of the motion cycle. The game-source thread writes it; host threads
// read it, through the exports or straight through the pointers they were
// handed. Values that our own code reads on host threads are stored and
// loaded with relaxed atomic accesses (plain moves on x86-64).
#include <atomic>
#include <cstddef>

namespace kinevra {

inline constexpr int kGameDataCount = 47;
inline constexpr int kChannelCount = 23;

struct TelemetryFrame {
  double gameData[kGameDataCount] = {};
  double cue[kChannelCount] = {};
  double previousInputs[kChannelCount] = {};
  double heldCue[kChannelCount] = {};
  double airCue[kChannelCount] = {};
  double groundCue[kChannelCount] = {};
};

// Relaxed atomic access to one value of a frame array shared with host threads.
inline void storeShared(double& slot, double v) {
  std::atomic_ref<double>(slot).store(v, std::memory_order_relaxed);
}
inline double loadShared(const double& slot) {
  return std::atomic_ref<double>(const_cast<double&>(slot)).load(std::memory_order_relaxed);
}

}  // namespace kinevra
