#pragma once
// Values converted from one datagram, held back until the whole set is known
// to be numbers: a datagram may hold anything, and a NaN or infinity (sent,
// or made by a conversion that overflowed) must never reach the cue
// computation. Nothing of a rejected set is written, so GameData keeps its
// last good values.
#include <array>
#include <cmath>
#include <cstdint>

#include "sources/telemetry_frame.h"

namespace kinevra {

class StagedValues {
 public:
  void set(int index, double v) {
    if (index < 0 || index >= kGameDataCount) return;
    values_[static_cast<std::size_t>(index)] = v;
    written_ |= std::uint64_t{1} << index;
  }
  bool has(int index) const { return index >= 0 && index < kGameDataCount && (written_ >> index & 1u); }
  double value(int index) const { return has(index) ? values_[static_cast<std::size_t>(index)] : 0.0; }
  bool empty() const { return written_ == 0; }
  bool allFinite() const {
    for (int i = 0; i < kGameDataCount; ++i)
      if (has(i) && !std::isfinite(values_[static_cast<std::size_t>(i)])) return false;
    return true;
  }
  // Writes the set into gameData when every value is a finite number; true
  // when it did (an empty set writes nothing and is sound).
  bool commit(double* gameData) const {
    if (!allFinite()) return false;
    for (int i = 0; i < kGameDataCount; ++i)
      if (has(i)) gameData[i] = values_[static_cast<std::size_t>(i)];
    return true;
  }

 private:
  std::array<double, kGameDataCount> values_{};
  std::uint64_t written_ = 0;
};

// Angles and g-values as the datagrams give them.
inline constexpr double kDegreesPerRadian = 180.0 / 3.141592653589793;
inline double degrees(double radians) { return radians * kDegreesPerRadian; }

}  // namespace kinevra
