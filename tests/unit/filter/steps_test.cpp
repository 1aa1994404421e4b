// The arithmetic of every step, the order in which a chain applies them, and
// the running state they keep.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "filter/filter_compiler.h"

namespace kinevra {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::nan("");

// A compiled chain, evaluated with the engine's scale factors.
struct Chain {
  explicit Chain(const char* text) : head(parseFilterString(text)) { EXPECT_TRUE(head->valid.load()) << text; }
  double operator()(double x) { return head->evaluate(x, 1.0, 1.0, 1.0); }
  std::shared_ptr<FilterSys> head;
};

double once(const char* text, double x) { return Chain(text)(x); }

TEST(FilterSteps, InvalidChainYieldsZeroAndKeepsNoState) {
  auto head = parseFilterString("EMALP(VALUE;0.5)");
  ASSERT_FALSE(head->valid.load());
  for (double x : {0.0, 1.0, -7.5, kInf, kNaN}) EXPECT_EQ(head->evaluate(x, 1.0, 1.0, 1.0), 0.0);
  EXPECT_EQ(head->memory, 0.0f);
  // A node that is not a head carries no flag either.
  auto chain = parseFilterString("GAIN(VALUE;2)");
  EXPECT_EQ(chain->nextNode()->evaluate(3.0, 1.0, 1.0, 1.0), 0.0);
}

TEST(FilterSteps, ValueAndScaleFactors) {
  EXPECT_EQ(once("VALUE", 3.25), 3.25);
  auto value = parseFilterString("VALUE");
  EXPECT_EQ(value->evaluate(3.0, 2.0, 1.0, 1.0), 6.0);
  // EMALP's N is scaled by lowPassScale, EMAHP's by highPassScale; below 1 it counts as 1.
  auto lp = parseFilterString("EMALP(VALUE;2)");
  EXPECT_EQ(lp->evaluate(1.0, 1.0, 2.0, 9.0), 0.25);
  auto lpFloor = parseFilterString("EMALP(VALUE;2)");
  EXPECT_EQ(lpFloor->evaluate(1.0, 1.0, 0.1, 1.0), 1.0);
  auto hp = parseFilterString("EMAHP(VALUE;2)");
  EXPECT_EQ(hp->evaluate(1.0, 1.0, 9.0, 2.0), 0.75);
}

TEST(FilterSteps, ExponentialAveragesInSinglePrecision) {
  Chain lp("EMALP(VALUE;4)");
  EXPECT_EQ(lp(1.0), 0.25);
  EXPECT_EQ(lp(1.0), 0.4375);
  EXPECT_EQ(lp(1.0), 0.578125);
  Chain hp("EMAHP(VALUE;4)");
  EXPECT_EQ(hp(1.0), 0.75);
  EXPECT_EQ(hp(1.0), 0.5625);

  EXPECT_EQ(once("EMALP(VALUE;1)", 0.1), static_cast<double>(0.1f));
  EXPECT_EQ(once("EMAHP(VALUE;1)", 0.1), 0.1 - static_cast<double>(0.1f));
  EXPECT_NE(once("EMAHP(VALUE;1)", 0.1), 0.0);
  EXPECT_EQ(once("EMAHP(VALUE;1)", 0.5), 0.0);

  // Two chains from one text keep separate state.
  Chain a("EMALP(VALUE;2)"), b("EMALP(VALUE;2)");
  a(1.0);
  a(1.0);
  EXPECT_EQ(b(1.0), 0.5);
}

TEST(FilterSteps, SimpleArithmetic) {
  EXPECT_EQ(once("GAIN(VALUE;1,5)", 2.0), 3.0);
  EXPECT_EQ(once("MUL(VALUE;-2)", 2.5), -5.0);
  EXPECT_EQ(once("ADD(VALUE;0.5)", 2.0), 2.5);
  EXPECT_EQ(once("SETVALUE(VALUE;7)", 123.0), 7.0);
  EXPECT_EQ(once("SETVALUE(VALUE;7)", kNaN), 7.0);
  EXPECT_EQ(once("ABS(VALUE)", -4.5), 4.5);
  // Parameters are single precision.
  EXPECT_EQ(once("GAIN(VALUE;0.1)", 1.0), static_cast<double>(0.1f));
}

TEST(FilterSteps, Crop) {
  EXPECT_EQ(once("CROP(VALUE;-1;1)", 5.0), 1.0);
  EXPECT_EQ(once("CROP(VALUE;-1;1)", -5.0), -1.0);
  EXPECT_EQ(once("CROP(VALUE;-1;1)", 0.25), 0.25);
  for (double x : {-5.0, 0.0, 5.0}) EXPECT_EQ(once("CROP(VALUE;1;-1)", x), 1.0);  // low above high
  EXPECT_TRUE(std::isnan(once("CROP(VALUE;-1;1)", kNaN)));
}

TEST(FilterSteps, Logistic) {
  Chain f("LOGISTIC(VALUE;1;1)");
  EXPECT_EQ(f(0.0), 0.0);
  EXPECT_NEAR(f(1e-4), 1e-4, 1e-12);
  EXPECT_NEAR(f(100.0), 1.0, 1e-12);
  EXPECT_NEAR(f(-100.0), -1.0, 1e-12);
  EXPECT_EQ(f(1e300), 1.0);  // the argument is clamped, not overflowed
  // A soft limiter: L * tanh(s * x / L).
  Chain g("LOGISTIC(VALUE;20;2,5)");
  for (double x : {-30.0, -3.0, 0.7, 4.0, 50.0}) EXPECT_NEAR(g(x), 20.0 * std::tanh(2.5 * x / 20.0), 1e-9) << x;
  // A zero limit stays finite.
  for (double x : {-1.0, 0.0, 1.0}) EXPECT_TRUE(std::isfinite(once("LOGISTIC(VALUE;0;1)", x)));
  EXPECT_TRUE(std::isnan(f(kNaN)));
}

// Reflection at the bounds, done the slow way.
double reflect(double x, double limit) {
  for (int i = 0; i < 1000 && (x > limit || x < -limit); ++i) x = x > 0 ? 2 * limit - x : -2 * limit - x;
  return x;
}

TEST(FilterSteps, Rollover) {
  Chain f("ROLLOVER(VALUE;1)");
  EXPECT_EQ(f(1.5), 0.5);
  EXPECT_EQ(f(3.5), -0.5);
  EXPECT_EQ(f(-1.5), -0.5);
  EXPECT_EQ(f(0.3), 0.3);
  EXPECT_EQ(f(1.0), 1.0);
  EXPECT_EQ(f(-1.0), -1.0);
  EXPECT_EQ(f(3.0), -1.0);
  EXPECT_EQ(f(5.0), 1.0);
  EXPECT_EQ(f(0.1), 0.1);  // inside the range: passed through exactly
  Chain g("ROLLOVER(VALUE;2,5)");
  for (double x : {-23.0, -7.75, -2.6, 2.6, 3.0, 9.9, 14.0, 41.3}) EXPECT_NEAR(g(x), reflect(x, 2.5), 1e-12) << x;
  // Any input ends inside the range.
  for (double x : {1e300, -1e300, 1e17 + 3.0, std::numeric_limits<double>::max()}) {
    const double y = f(x);
    EXPECT_TRUE(y >= -1.0 && y <= 1.0) << x;
  }
}

TEST(FilterSteps, RolloverDegenerateLimitsAndNonFiniteInputs) {
  for (const char* text : {"ROLLOVER(VALUE;0)", "ROLLOVER(VALUE;-2)"}) {
    for (double x : {0.0, 0.5, -3.0, 1e300}) EXPECT_EQ(once(text, x), 0.0) << text << " " << x;
  }
  EXPECT_EQ(once("ROLLOVER(VALUE;1)", kInf), kInf);
  EXPECT_EQ(once("ROLLOVER(VALUE;1)", -kInf), -kInf);
  EXPECT_TRUE(std::isnan(once("ROLLOVER(VALUE;1)", kNaN)));
}

TEST(FilterSteps, Remap) {
  Chain f("REMAP(VALUE;0;10;0;1)");
  EXPECT_EQ(f(5.0), 0.5);
  EXPECT_EQ(f(20.0), 2.0);  // no clamping
  EXPECT_EQ(f(-10.0), -1.0);
  Chain inverted("REMAP(VALUE;-1;1;100;-100)");
  EXPECT_EQ(inverted(0.5), -50.0);
  EXPECT_EQ(once("REMAP(VALUE;0;10;3;3)", 7.0), 3.0);
}

TEST(FilterSteps, BitScale) {
  Chain f("BITSCALE(VALUE;10;255)");
  EXPECT_EQ(f(5.0), 127.5);
  EXPECT_EQ(f(-3.0), 0.0);
  EXPECT_EQ(f(20.0), 255.0);
  Chain s("BITSCALESIGNED(VALUE;10;127)");
  EXPECT_EQ(s(-20.0), -127.0);
  EXPECT_EQ(s(5.0), 63.5);
  EXPECT_EQ(s(20.0), 127.0);
  EXPECT_EQ(once("BITSCALE(VALUE;0;255)", 5.0), 0.0);
  EXPECT_EQ(once("BITSCALESIGNED(VALUE;0;127)", -5.0), 0.0);
  EXPECT_EQ(f(7.3), 7.3 / 10.0 * 255.0);  // scaled, not made an integer
  EXPECT_TRUE(std::isnan(f(kNaN)));
  EXPECT_TRUE(std::isnan(s(kNaN)));
}

TEST(FilterSteps, SinusIgnoresItsInputAndWrapsItsPhase) {
  const double step = 6.283185307179586 * 0.002;
  Chain a("SINUS(VALUE;2;1)"), b("SINUS(VALUE;2;1)");
  const double first = a(0.0);
  EXPECT_EQ(first, 2.0 * static_cast<double>(std::sin(static_cast<float>(step))));
  EXPECT_EQ(b(123.0), first);
  // One cycle per second at 500 evaluations per second: the phase passes
  // 2*pi near the 500th evaluation and wraps; the wave goes on smoothly.
  float highest = 0.0f;
  for (int n = 2; n <= 2000; ++n) {
    const double y = a(0.0);
    highest = std::max(highest, a.head->memory);
    ASSERT_LE(a.head->memory, 6.283185307179586) << n;
    ASSERT_NEAR(y, 2.0 * std::sin(step * n), 2e-3) << n;
  }
  EXPECT_GT(highest, 6.2f);
  // Running backwards: the phase stays bounded as well.
  Chain back("SINUS(VALUE;1;-3)");
  for (int n = 1; n <= 5000; ++n) {
    const double y = back(0.0);
    ASSERT_GE(back.head->memory, -6.283185307179586) << n;
    ASSERT_NEAR(y, std::sin(-3.0 * step * n), 5e-3) << n;
  }
}

TEST(FilterSteps, ChainAppliesTheInnermostStepFirst) {
  EXPECT_EQ(once("ADD(ABS(VALUE);1)", -3.0), 4.0);
  EXPECT_EQ(once("ABS(ADD(VALUE;1))", -3.0), 2.0);
  EXPECT_EQ(once("CROP(GAIN(VALUE;2);-1;1)", 0.75), 1.0);
  EXPECT_EQ(once("GAIN(CROP(VALUE;-1;1);2)", 0.75), 1.5);
  Chain lowPassThenGain("GAIN(EMALP(VALUE;10);2)");
  EXPECT_NEAR(lowPassThenGain(1.0), 0.2, 1e-7);
  EXPECT_NEAR(lowPassThenGain(1.0), 2.0 * (0.1f + (1.0 - 0.1f) / 10.0), 1e-7);
  EXPECT_EQ(lowPassThenGain.head->nextNode()->memory, static_cast<float>(0.1f + (1.0 - 0.1f) / 10.0));
}

TEST(FilterSteps, NonFiniteInputsPropagate) {
  for (const char* text : {"VALUE", "GAIN(VALUE;2)", "ADD(VALUE;1)", "ABS(VALUE)", "CROP(VALUE;-1;1)",
                           "REMAP(VALUE;0;1;0;2)", "NOISE(VALUE;1;100;3)", "LOGISTIC(VALUE;1;1)"}) {
    EXPECT_TRUE(std::isnan(once(text, kNaN))) << text;
  }
}

// Garbage telemetry (a NaN, an infinity, or a finite value beyond single
// precision) passes through the averages for its own cycle only: their memory
// is left as it was, so the channel follows the game again at once instead of
// staying NaN for good.
TEST(FilterSteps, AveragesRecoverFromNonFiniteAndHugeInputs) {
  for (const char* text : {"EMALP(VALUE;4)", "EMAHP(VALUE;4)", "GAIN(EMAHP(EMALP(VALUE;8);600);0.05)"}) {
    Chain hit(text), clean(text);
    for (double x : {0.5, -0.25}) EXPECT_EQ(hit(x), clean(x)) << text;
    EXPECT_TRUE(std::isnan(hit(kNaN))) << text;
    EXPECT_FALSE(std::isfinite(hit(kInf))) << text;
    EXPECT_FALSE(std::isfinite(hit(-kInf))) << text;
    EXPECT_FALSE(std::isfinite(hit(1e300))) << text;
    for (double x : {1.0, 2.0, -3.0, 0.0}) {
      const double h = hit(x);
      EXPECT_TRUE(std::isfinite(h)) << text;
      EXPECT_EQ(h, clean(x)) << text;
    }
  }
  // Values within single precision are taken as they come, however large.
  Chain lp("EMALP(VALUE;1)");
  EXPECT_EQ(lp(3e38), static_cast<double>(3e38f));
  EXPECT_EQ(lp(-3e38), static_cast<double>(-3e38f));
}

}  // namespace
}  // namespace kinevra
