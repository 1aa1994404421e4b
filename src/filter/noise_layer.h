#pragma once
// Value noise for the NOISE step: linear ramps between random targets in
// [-1, 1) that change every `period` phase units (the phase grows by 2 per
// evaluation, so at one evaluation per 2 ms cycle the period is in ms).
// Everything is single precision and the draw is written out, so both
// targets produce the same bits for the same seed.
#include <cstdint>

#include "filter/mt19937.h"

namespace kinevra {

// Uniform draw over [-1, 1) from one 32-bit generator output.
struct UniformDistribution {
  float a = -1.0f;
  float b = 1.0f;
  float operator()(Mt19937& g) const { return fromOutput(g()); }
  // a + (b - a) * (u * 2^-32) in single precision, kept below b.
  float fromOutput(std::uint32_t u) const;
};

class NoiseLayer {
 public:
  // The seed is the single-precision value truncated toward zero; its low 32
  // bits seed the generator.
  NoiseLayer(float amplitude, float period, float seed);

  // Advances one evaluation and returns the noise sample to add.
  float sample();

  // The generator seed taken from a step's seed number.
  static std::uint32_t seedFrom(float seed);

  float amplitude;
  float period;  // at least 2 (see the constructor)
  float phase = 0.0f;
  float previousTarget = 0.0f;
  float nextTarget;
  Mt19937 generator;
  UniformDistribution distribution;
};

}  // namespace kinevra
