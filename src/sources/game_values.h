#pragma once
// Values converted from a game's block or datagram, held back until the
// whole set is known to be sound: what another program wrote may hold
// anything, and a NaN or infinity must never reach the cue computation.
// Nothing of a rejected set is written, so GameData keeps its last good values.
#include <array>
#include <bitset>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "sources/telemetry_frame.h"

namespace kinevra {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kRadToDeg = 180.0 / kPi;
// The acpmf pages give accelerations in g, taken as 9.81 m/s².
inline constexpr double kAcpmfGravity = 9.81;

class GameValues {
 public:
  // Sets (or, set again, replaces) the value for GameData index; others are ignored.
  void set(int index, double v) {
    if (index < 0 || index >= kGameDataCount) return;
    values_[static_cast<std::size_t>(index)] = v;
    written_ |= std::uint64_t{1} << index;
  }
  bool has(int index) const { return index >= 0 && index < kGameDataCount && ((written_ >> index) & 1u) != 0; }
  std::size_t size() const { return static_cast<std::size_t>(std::bitset<kGameDataCount>(written_).count()); }
  // The value set for index, or fallback.
  double value(int index, double fallback = 0.0) const {
    return has(index) ? values_[static_cast<std::size_t>(index)] : fallback;
  }
  bool allFinite() const {
    for (int i = 0; i < kGameDataCount; ++i)
      if (has(i) && !std::isfinite(values_[static_cast<std::size_t>(i)])) return false;
    return true;
  }
  // Writes the set into gameData when it holds values and every one is a
  // finite number; true when it did.
  bool commit(double* gameData) const { return size() != 0 && writeIfFinite(gameData); }
  // The same, except that an empty set is sound (writes nothing, true): a
  // datagram that carries no values is still news of the game.
  bool writeIfFinite(double* gameData) const {
    if (!allFinite()) return false;
    for (int i = 0; i < kGameDataCount; ++i)
      if (has(i)) storeShared(gameData[i], values_[static_cast<std::size_t>(i)]);  // hosts read GameData
    return true;
  }

 private:
  std::array<double, kGameDataCount> values_{};
  std::uint64_t written_ = 0;
};

inline double degrees(double radians) { return radians * kRadToDeg; }

}  // namespace kinevra
