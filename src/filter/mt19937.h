#pragma once
// The 32-bit Mersenne Twister (MT19937) with the standard seeding recurrence
// and tempering. Written out here rather than taken from <random> so that the
// state is exactly 624 32-bit words on every target (std::mt19937 keeps
// uint_fast32_t words, 64-bit on Linux) and the NOISE step owns every bit of
// its arithmetic.
#include <cstdint>

namespace kinevra {

class Mt19937 {
 public:
  static constexpr std::uint32_t kDefaultSeed = 5489u;

  explicit Mt19937(std::uint32_t seed = kDefaultSeed) { this->seed(seed); }

  void seed(std::uint32_t s) {
    state_[0] = s;
    for (int i = 1; i < kN; ++i)
      state_[i] = 1812433253u * (state_[i - 1] ^ (state_[i - 1] >> 30)) + static_cast<std::uint32_t>(i);
    index_ = kN;
  }

  std::uint32_t operator()() {
    if (index_ >= kN) twist();
    std::uint32_t y = state_[index_++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9d2c5680u;
    y ^= (y << 15) & 0xefc60000u;
    y ^= y >> 18;
    return y;
  }

 private:
  static constexpr int kN = 624;
  static constexpr int kM = 397;

  void twist() {
    for (int i = 0; i < kN; ++i) {
      const std::uint32_t y = (state_[i] & 0x80000000u) | (state_[(i + 1) % kN] & 0x7fffffffu);
      state_[i] = state_[(i + kM) % kN] ^ (y >> 1) ^ ((y & 1u) ? 0x9908b0dfu : 0u);
    }
    index_ = 0;
  }

  std::uint32_t state_[kN];
  int index_ = kN;
};

}  // namespace kinevra
