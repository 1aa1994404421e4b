// The noise generator: the generator and the draw bit for bit, the seed, and
// the NOISE step's ramps between targets.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

#include "filter/filter_compiler.h"
#include "filter/noise_layer.h"

namespace kinevra {
namespace {

std::uint32_t bitsOf(float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

TEST(NoiseGenerator, MatchesTheStandardMersenneTwister) {
  for (std::uint32_t seed : {0u, 1u, 5u, 5489u, 0x80000000u, 0xFFFFFFFFu}) {
    Mt19937 ours(seed);
    std::mt19937 reference(seed);
    for (int i = 0; i < 1500; ++i) ASSERT_EQ(ours(), static_cast<std::uint32_t>(reference())) << seed << " " << i;
  }
  Mt19937 standard;  // the standard's own check: the 10000th output of the default seed
  std::uint32_t v = 0;
  for (int i = 0; i < 10000; ++i) v = standard();
  EXPECT_EQ(v, 4123659995u);
}

TEST(NoiseGenerator, DrawStaysInsideMinusOneToOne) {
  UniformDistribution d;
  EXPECT_EQ(d.fromOutput(0), -1.0f);
  EXPECT_EQ(d.fromOutput(0x80000000u), 0.0f);
  EXPECT_EQ(d.fromOutput(0x40000000u), -0.5f);
  // Values that round to 2^32 in single precision stay below 1.
  EXPECT_EQ(d.fromOutput(0xFFFFFFFFu), 1.0f - 2 * 0x1p-24f);
  EXPECT_EQ(d.fromOutput(0xFFFFFF80u), 1.0f - 2 * 0x1p-24f);
  EXPECT_LT(d.fromOutput(0xFFFFFF7Fu), 1.0f);
  // -1 + 2 * (u * 2^-32), single precision, pinned to the bit on every target.
  Mt19937 g(7);
  const std::uint32_t expected[] = {bitsOf(-1.0f + 2.0f * (static_cast<float>(327741615u) * 0x1p-32f)),
                                    bitsOf(-1.0f + 2.0f * (static_cast<float>(976413892u) * 0x1p-32f))};
  std::mt19937 reference(7);
  EXPECT_EQ(static_cast<std::uint32_t>(reference()), 327741615u);
  EXPECT_EQ(static_cast<std::uint32_t>(reference()), 976413892u);
  EXPECT_EQ(bitsOf(d(g)), expected[0]);
  EXPECT_EQ(bitsOf(d(g)), expected[1]);
}

TEST(NoiseGenerator, SeedIsTheTruncatedValuesLow32Bits) {
  EXPECT_EQ(NoiseLayer::seedFrom(7.9f), 7u);
  EXPECT_EQ(NoiseLayer::seedFrom(-0.5f), 0u);
  EXPECT_EQ(NoiseLayer::seedFrom(-1.5f), 0xFFFFFFFFu);
  EXPECT_EQ(NoiseLayer::seedFrom(5e9f), static_cast<std::uint32_t>(static_cast<std::int64_t>(5e9f)));
  EXPECT_EQ(NoiseLayer::seedFrom(-5e9f), static_cast<std::uint32_t>(static_cast<std::int64_t>(-5e9f)));
  EXPECT_EQ(NoiseLayer::seedFrom(1e30f), 0u);  // beyond 64 bits: no undefined conversion
  EXPECT_EQ(NoiseLayer::seedFrom(-3e38f), 0u);
}

// The k-th target (k = 1, 2, ...) of a NOISE step seeded with seed.
float target(std::uint32_t seed, int k) {
  std::mt19937 reference(seed);
  std::uint32_t u = 0;
  for (int i = 0; i < k; ++i) u = static_cast<std::uint32_t>(reference());
  return -1.0f + 2.0f * (static_cast<float>(u) * 0x1p-32f);
}

TEST(NoiseStep, RampsToANewTargetEveryFiftyEvaluations) {
  auto chain = parseFilterString("NOISE(VALUE;1;100;5)");
  ASSERT_TRUE(chain->valid.load());
  const NoiseLayer& layer = *chain->noise;
  EXPECT_EQ(layer.amplitude, 1.0f);
  EXPECT_EQ(layer.period, 100.0f);
  EXPECT_EQ(layer.nextTarget, target(5, 1));

  const double first = chain->evaluate(10.0, 1.0, 1.0, 1.0);
  EXPECT_EQ(first, 10.0 + static_cast<double>(0.02f * target(5, 1)));
  for (int n = 2; n <= 250; ++n) {
    const double y = chain->evaluate(0.0, 1.0, 1.0, 1.0);
    if (n % 50 == 0) {
      EXPECT_EQ(y, static_cast<double>(target(5, n / 50))) << n;  // lands on the target
      EXPECT_EQ(layer.nextTarget, target(5, n / 50 + 1)) << n;
    } else {
      EXPECT_EQ(layer.nextTarget, target(5, n / 50 + 1)) << n;  // unchanged in between
    }
  }
}

TEST(NoiseStep, AmplitudeScalesAndSameSeedRepeats) {
  auto a = parseFilterString("NOISE(VALUE;0,5;200;7)");
  auto b = parseFilterString("noise(VALUE;0.5;200;7.9)");  // same seed after truncation
  auto c = parseFilterString("NOISE(VALUE;0.5;200;8)");
  bool differs = false;
  for (int n = 0; n < 1000; ++n) {
    const double x = 0.001 * n;
    const double ya = a->evaluate(x, 1.0, 1.0, 1.0);
    ASSERT_EQ(ya, b->evaluate(x, 1.0, 1.0, 1.0)) << n;
    ASSERT_LE(std::fabs(ya - x), 0.5 + 1e-9) << n;
    differs |= ya != c->evaluate(x, 1.0, 1.0, 1.0);
  }
  EXPECT_TRUE(differs);
}

TEST(NoiseStep, ShortOrNonPositivePeriodsGiveAFreshTargetEachEvaluation) {
  for (const char* text : {"NOISE(VALUE;2;0;3)", "NOISE(VALUE;2;-40;3)", "NOISE(VALUE;2;1;3)", "NOISE(VALUE;2;2;3)"}) {
    SCOPED_TRACE(text);
    auto chain = parseFilterString(text);
    ASSERT_TRUE(chain->valid.load());
    for (int k = 1; k <= 100; ++k) {
      const double y = chain->evaluate(0.0, 1.0, 1.0, 1.0);
      ASSERT_EQ(y, static_cast<double>(target(3, k) * 2.0f)) << k;
      ASSERT_LT(chain->noise->phase, chain->noise->period);
    }
  }
}

}  // namespace
}  // namespace kinevra
