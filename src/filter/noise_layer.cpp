#include "filter/noise_layer.h"

#include <cmath>

namespace kinevra {

namespace {
// The phase advances by this much per evaluation.
constexpr float kPhaseStep = 2.0f;
// Largest float below 1: where a draw lands when the single-precision
// rounding of u * 2^-32 reaches 1.
constexpr float kBelowOne = 0x1.fffffep-1f;
}  // namespace

float UniformDistribution::fromOutput(std::uint32_t u) const {
  float h = static_cast<float>(u) * 0x1p-32f;
  // u near 2^32 rounds up to 2^32 in single precision; the draw must stay
  // below the upper bound.
  if (h >= 1.0f) h = kBelowOne;
  return a + (b - a) * h;
}

std::uint32_t NoiseLayer::seedFrom(float seed) {
  // The low 32 bits of the truncated value, computed exactly in double: a
  // float beyond the 64-bit range cannot go through an integer conversion.
  const double t = std::trunc(static_cast<double>(seed));
  double m = std::fmod(t, 4294967296.0);
  if (m < 0.0) m += 4294967296.0;
  return static_cast<std::uint32_t>(m);
}

NoiseLayer::NoiseLayer(float amplitude_, float period_, float seed)
    : amplitude(amplitude_),
      // A period below one phase step would let the phase outgrow it (an
      // interpolation factor above 1, or NaN for 0): it is held at one step,
      // a new target every evaluation.
      period(period_ < kPhaseStep ? kPhaseStep : period_),
      generator(seedFrom(seed)) {
  nextTarget = distribution(generator);
}

float NoiseLayer::sample() {
  phase = phase + kPhaseStep;
  if (phase >= period) {
    phase = phase - period;
    previousTarget = nextTarget;
    nextTarget = distribution(generator);
  }
  const float h = phase / period;
  return ((1.0f - h) * previousTarget + h * nextTarget) * amplitude;
}

}  // namespace kinevra
