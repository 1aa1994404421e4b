#include "sources/gravity.h"

#include <cmath>

#include "sources/telemetry_frame.h"

namespace kinevra {

void splitGravity(double* g, GravityDirection direction, bool negateLongitudinal) {
  constexpr double kPi = 3.141592653589793;
  const double r = g[gd::kRollPosition] * kPi / 180.0;
  const double p = g[gd::kPitchPosition] * kPi / 180.0;
  // Host threads read GameData while this thread writes it.
  storeShared(g[gd::kLateralGravi], kStandardGravity * std::cos(p) * std::sin(r));
  storeShared(g[gd::kLongitudinalGravi], (negateLongitudinal ? -kStandardGravity : kStandardGravity) * std::sin(p));
  storeShared(g[gd::kVerticalGravi], kStandardGravity * std::cos(p) * std::cos(r));

  const int axes[3][3] = {{gd::kLateralAccel, gd::kLateralAccelG, gd::kLateralGravi},
                          {gd::kLongitudinalAccel, gd::kLongitudinalAccelG, gd::kLongitudinalGravi},
                          {gd::kVerticalAccel, gd::kVerticalAccelG, gd::kVerticalGravi}};
  for (const auto& a : axes) {
    if (direction == GravityDirection::AddToAcceleration)
      storeShared(g[a[1]], g[a[0]] + g[a[2]]);
    else
      storeShared(g[a[0]], g[a[1]] - g[a[2]]);
  }
}

}  // namespace kinevra
