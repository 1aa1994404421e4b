#pragma once
// gamesim's scripted flight: an aircraft on a 16-second circuit, in the same
// terms as the drive (drive.h). It rolls for take-off, lifts off, climbs,
// turns right and back left in coordinated turns, descends, lands and rolls
// out, and does it again.
//
//   0    - 3.5  s  on the ground: take-off roll, 15 -> 60 m/s; rotation from 2.5 s
//   3.5  s         lift-off: the gear leaves the ground
//   3.5  - 8    s  climbing at up to 6 m/s
//   6    - 10   s  a 12° right turn, banked to match
//   9    - 12.5 s  descending at up to 7.8 m/s; the flare from 11.5 s
//   10   - 12.5 s  a 12° left turn back onto the circuit's heading
//   12.5 s         touch-down
//   12.5 - 16   s  on the ground: rolling out, 60 -> 15 m/s
#include <cmath>

#include "drive.h"

namespace gamesim {

struct Flight {
  Motion motion;
  bool onGround;
  double altitude;  // m above the runway
  double gear;      // gear compression, 0 (in the air) to 1
};

namespace flight_detail {

using drive_detail::Bend;
using drive_detail::kPi;
using drive_detail::step;
using drive_detail::stepRate;

inline constexpr double kPeriod = 16.0;
inline constexpr double kLiftOff = 3.5, kTouchDown = 12.5;
inline constexpr double kHeading = 60.0;
inline constexpr Bend kRightTurn{6.0, 4.0, -12.0};
inline constexpr Bend kLeftTurn{10.0, 2.5, 12.0};

inline double wrapped(double t) {
  const double r = std::fmod(t, kPeriod);
  return r < 0 ? r + kPeriod : r;
}
inline double speed(double t) {
  t = wrapped(t);
  return 15.0 + 45.0 * step(t, 0.0, 4.0) - 45.0 * step(t, kTouchDown, kPeriod);
}
inline double accel(double t) {
  t = wrapped(t);
  return 45.0 * stepRate(t, 0.0, 4.0) - 45.0 * stepRate(t, kTouchDown, kPeriod);
}
inline double climbRate(double t) {
  t = wrapped(t);
  return 6.0 * (step(t, kLiftOff, 5.0) - step(t, 7.0, 8.0)) - 7.8 * (step(t, 9.0, 10.0) - step(t, 11.5, kTouchDown));
}
inline double climbAccel(double t) {
  t = wrapped(t);
  return 6.0 * (stepRate(t, kLiftOff, 5.0) - stepRate(t, 7.0, 8.0)) -
         7.8 * (stepRate(t, 9.0, 10.0) - stepRate(t, 11.5, kTouchDown));
}
inline double pitch(double t) {
  t = wrapped(t);
  return 8.0 * step(t, 2.5, 4.0) - 6.0 * step(t, 5.0, 7.0) - 5.0 * step(t, 9.5, 11.0) + 5.0 * step(t, 11.8, 12.5) -
         2.0 * step(t, kTouchDown, 13.5);
}
inline double yawRate(double t) {
  t = wrapped(t);
  return kRightTurn.rate(t) + kLeftTurn.rate(t);
}
// Banked so that the turn is coordinated: tan(bank) = v ω / g; a right turn
// banks right (roll negative: right side down).
inline double roll(double t) { return std::atan(speed(t) * yawRate(t) * kPi / 180.0 / 9.80665) * 180.0 / kPi; }

}  // namespace flight_detail

// The aircraft at time t (seconds; the circuit repeats).
inline Flight flightAt(double t) {
  namespace f = flight_detail;
  const double w = f::wrapped(t);
  Flight out{};
  Motion& m = out.motion;
  m.longitudinalSpeed = f::speed(w);
  m.longitudinalAccel = f::accel(w);
  m.verticalSpeed = f::climbRate(w);
  m.lateralSpeed = 0.0;
  // The turn's centripetal acceleration, in the banked aircraft's axes: the
  // lift carries it, so it points partly up.
  const double centripetal = -m.longitudinalSpeed * f::yawRate(w) * f::kPi / 180.0;
  const double bank = f::roll(w) * f::kPi / 180.0;
  m.lateralAccel = centripetal * std::cos(bank);
  m.verticalAccel = f::climbAccel(w) - centripetal * std::sin(bank);

  double yaw = f::kHeading + f::kRightTurn.turned(w) + f::kLeftTurn.turned(w);
  yaw = std::fmod(yaw + 180.0, 360.0);
  if (yaw <= 0) yaw += 360.0;
  m.yaw = yaw - 180.0;
  m.yawRate = f::yawRate(w);
  m.yawAccel = f::kRightTurn.accel(w) + f::kLeftTurn.accel(w);
  m.pitch = f::pitch(w);
  m.pitchRate = drive_detail::rateOf(f::pitch, w);
  m.pitchAccel = drive_detail::accelOf(f::pitch, w);
  m.roll = f::roll(w);
  m.rollRate = drive_detail::rateOf(f::roll, w);
  m.rollAccel = drive_detail::accelOf(f::roll, w);
  m.speed = m.longitudinalSpeed;
  m.rpm = 2200.0 + 300.0 * f::step(w, 0.0, 1.0) - 300.0 * f::step(w, f::kTouchDown, 13.0);

  out.onGround = w < f::kLiftOff || w >= f::kTouchDown;
  // Height: climbed up to here (the circuit's climbs and descents balance).
  double h = 0.0;
  constexpr int kSteps = 200;
  for (int i = 0; i < kSteps; ++i) h += f::climbRate((i + 0.5) * w / kSteps) * w / kSteps;
  out.altitude = out.onGround ? 0.0 : h;
  // The gear carries the aircraft's weight on the ground, less as the wings lift it.
  out.gear = out.onGround ? 0.2 + 0.6 * (1.0 - m.longitudinalSpeed / 60.0) : 0.0;
  return out;
}

}  // namespace gamesim
