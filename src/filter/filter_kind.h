#pragma once
// The step kinds of a filter chain, numbered as stored in a node, and their
// keywords (the step's name in a chain text).
#include <cstdint>
#include <string_view>

namespace kinevra {

enum FilterKind : std::int32_t {
  kValue = 0,
  kEmaLowPass = 1,
  kEmaHighPass = 2,
  kMul = 3,
  kGain = 4,
  kLogistic = 5,
  kCrop = 6,
  kRollover = 7,
  kRemap = 8,
  kNoise = 9,
  kBitScale = 10,
  kBitScaleSigned = 11,
  kSinus = 12,
  kAbs = 13,
  kSetValue = 14,
  kAdd = 15,
};

inline constexpr int kFilterKindCount = 16;

// The keyword of a kind; "UNKNOWN" outside 0..15.
std::string_view filterKindName(std::int32_t kind);

// How many numbers follow the inner expression in the text of a step.
int filterKindArity(std::int32_t kind);

}  // namespace kinevra
