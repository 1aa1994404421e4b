#pragma once
// Values converted from a game's block, held back until the whole set is
// known to be sound: a block written by another program may hold anything,
// and a NaN or infinity must never reach the cue computation. Nothing of a
// rejected set is written, so GameData keeps its last good values.
#include <array>
#include <cmath>
#include <cstddef>

namespace kinevra {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kRadToDeg = 180.0 / kPi;
// The acpmf pages give accelerations in g, taken as 9.81 m/s².
inline constexpr double kAcpmfGravity = 9.81;

class GameValues {
 public:
  static constexpr std::size_t kCapacity = 24;

  void set(int index, double v) {
    if (count_ < kCapacity) values_[count_++] = {index, v};
  }
  std::size_t size() const { return count_; }
  // The value set for index, or fallback.
  double value(int index, double fallback = 0.0) const {
    for (std::size_t i = 0; i < count_; ++i)
      if (values_[i].index == index) return values_[i].v;
    return fallback;
  }
  bool allFinite() const {
    for (std::size_t i = 0; i < count_; ++i)
      if (!std::isfinite(values_[i].v)) return false;
    return true;
  }
  // Writes the set into gameData when every value is a finite number; true
  // when it did.
  bool commit(double* gameData) const {
    if (count_ == 0 || !allFinite()) return false;
    for (std::size_t i = 0; i < count_; ++i) gameData[values_[i].index] = values_[i].v;
    return true;
  }

 private:
  struct Entry {
    int index;
    double v;
  };
  std::array<Entry, kCapacity> values_{};
  std::size_t count_ = 0;
};

}  // namespace kinevra
