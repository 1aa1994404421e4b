#include "filter/filter_sys.h"

#include <algorithm>
#include <cmath>

namespace kinevra {

namespace {

constexpr double kTwoPi = 6.283185307179586;
// One evaluation is one engine cycle of 2 ms.
constexpr double kCycleSeconds = 0.002;

double logistic(double x, double limit, double slope) {
  double l = limit;
  if (std::fabs(l) < 1e-9) l = std::copysign(1e-9, l);
  const double scaled = l / 100.0;
  const double k = 0.0002 / (scaled * scaled);
  double t = slope * x;
  // A NaN input stays NaN, as through every other step.
  if (t < -1e6)
    t = -1e6;
  else if (t > 1e6)
    t = 1e6;
  const double m = std::exp(-k * l * t);
  return 2.0 * (l / (1.0 + m * (l / (0.5 * l) - 1.0)) - 0.5 * l);
}

// Triangle-wave fold into [-limit, limit] (reflection at the bounds), by
// formula so that it ends for every input.
double rollover(double x, double limit) {
  if (!std::isfinite(x)) return x;  // nothing to fold; no NaN is made up
  if (!(limit > 0.0)) return 0.0;   // an empty or single-point range
  if (x >= -limit && x <= limit) return x;
  const double period = 4.0 * limit;
  double y = std::fmod(x + limit, period);
  if (y < 0.0) y += period;
  y -= limit;
  return y <= limit ? y : 2.0 * limit - y;
}

double bitScale(double x, double range, double scale) {
  if (std::fabs(range) < 1e-9) return 0.0;
  if (std::isnan(x)) return x;
  if (x < 0.0) return 0.0;
  return (x < range ? x : range) / range * scale;
}

double bitScaleSigned(double x, double range, double scale) {
  if (std::fabs(range) < 1e-9) return 0.0;
  if (std::isnan(x)) return x;
  const double lowClamped = x > -range ? x : -range;
  return (lowClamped < range ? lowClamped : range) / range * scale;
}

// Stores an average's next value unless it is NaN or infinite. An average
// that once became NaN or infinite (a NaN or infinite input, or one beyond
// single precision) would stay so for good and freeze its channel: that
// cycle's answer carries it on, the memory does not.
void keepFinite(float& memory, float next) {
  if (std::isfinite(next)) memory = next;
}

}  // namespace

FilterSys::~FilterSys() {
  // We were the last owner of this node, so nothing else reaches it; each
  // following node is released here only while this loop is its last owner.
  std::shared_ptr<FilterSys> n = std::move(next);
  while (n && n.use_count() == 1) {
    std::shared_ptr<FilterSys> after;
    {
      std::lock_guard<std::mutex> lock(n->linkLock);
      after = std::move(n->next);
    }
    n = std::move(after);
  }
}

std::shared_ptr<FilterSys> FilterSys::nextNode() const {
  std::lock_guard<std::mutex> lock(linkLock);
  return next;
}

std::shared_ptr<FilterSys> FilterSys::prevNode() const {
  std::lock_guard<std::mutex> lock(linkLock);
  return prev.lock();
}

double FilterSys::evaluate(double x, double valueGain, double lowPassScale, double highPassScale) {
  if (!valid.load(std::memory_order_acquire)) return 0.0;
  for (FilterSys* node : order_) x = node->applyStep(x, valueGain, lowPassScale, highPassScale);
  return x;
}

double FilterSys::applyStep(double x, double valueGain, double lowPassScale, double highPassScale) {
  const double p1 = param1, p2 = param2, p3 = param3, p4 = param4;
  switch (kind) {
    case kValue:
      return x * valueGain;
    case kEmaLowPass: {
      double d = p1 * lowPassScale;
      if (std::fabs(d) < 1.0) d = 1.0;
      const float next = static_cast<float>(memory + (x - memory) / d);
      keepFinite(memory, next);
      return next;
    }
    case kEmaHighPass: {
      double d = p1 * highPassScale;
      if (std::fabs(d) < 1.0) d = 1.0;
      const float next = static_cast<float>(memory + (x - memory) / d);
      keepFinite(memory, next);
      return x - next;
    }
    case kMul:
    case kGain:
      return x * p1;
    case kLogistic:
      return logistic(x, p1, p2);
    case kCrop:
      if (std::isnan(x)) return x;
      return std::max(p1, std::min(p2, x));
    case kRollover:
      return rollover(x, p1);
    case kRemap:
      if (std::fabs(p2 - p1) > 1e-9) return (x - p1) * ((p4 - p3) / (p2 - p1)) + p3;
      return x;
    case kNoise:
      return noise ? x + noise->sample() : x;
    case kBitScale:
      return bitScale(x, p1, p2);
    case kBitScaleSigned:
      return bitScaleSigned(x, p1, p2);
    case kSinus: {
      memory = static_cast<float>(memory + p2 * kTwoPi * kCycleSeconds);
      // Wrapped both ways: a phase left to grow loses single-precision
      // resolution within hours.
      if (memory > kTwoPi || memory < -kTwoPi) memory = static_cast<float>(std::fmod(static_cast<double>(memory), kTwoPi));
      return p1 * static_cast<double>(std::sin(memory));
    }
    case kAbs:
      return std::fabs(x);
    case kSetValue:
      return p1;
    case kAdd:
      return x + p1;
    default:
      return x;
  }
}

std::shared_ptr<FilterSys> getTail(const std::shared_ptr<FilterSys>& head) {
  std::shared_ptr<FilterSys> node = head;
  while (node) {
    std::shared_ptr<FilterSys> after = node->nextNode();
    if (!after) break;
    node = std::move(after);
  }
  return node;
}

}  // namespace kinevra
