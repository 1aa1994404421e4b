#include "sources/gravity.h"

#include <cmath>

namespace kinevra {

void splitGravity(double* g, GravityDirection direction, bool negateLongitudinal) {
  constexpr double kPi = 3.141592653589793;
  const double r = g[gd::kRollPosition] * kPi / 180.0;
  const double p = g[gd::kPitchPosition] * kPi / 180.0;
  g[gd::kLateralGravi] = kStandardGravity * std::cos(p) * std::sin(r);
  g[gd::kLongitudinalGravi] = (negateLongitudinal ? -kStandardGravity : kStandardGravity) * std::sin(p);
  g[gd::kVerticalGravi] = kStandardGravity * std::cos(p) * std::cos(r);

  const int axes[3][3] = {{gd::kLateralAccel, gd::kLateralAccelG, gd::kLateralGravi},
                          {gd::kLongitudinalAccel, gd::kLongitudinalAccelG, gd::kLongitudinalGravi},
                          {gd::kVerticalAccel, gd::kVerticalAccelG, gd::kVerticalGravi}};
  for (const auto& a : axes) {
    if (direction == GravityDirection::AddToAcceleration)
      g[a[1]] = g[a[0]] + g[a[2]];
    else
      g[a[0]] = g[a[1]] - g[a[2]];
  }
}

}  // namespace kinevra
