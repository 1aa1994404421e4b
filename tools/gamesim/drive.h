#pragma once
// gamesim's scripted drive: a car on a 14-second loop, described in the
// engine's own terms (the GameData conventions), which each game's publisher
// turns into that game's units, axes and signs.
//
//   lateral + right, longitudinal + forward, vertical + up: speeds in m/s,
//   accelerations in m/s² without gravity;
//   yaw: the heading in degrees, counter-clockwise seen from above, 0 north,
//   in (-180, 180]; pitch + nose up; roll + left side down; rates in deg/s
//   and deg/s².
//
// The loop:
//   0   - 3.5 s  straight on, heading 25° (west of north), 30 -> 36 m/s
//   3.5 - 7.5 s  braking hard down to 11.5 m/s, the nose dives
//   5   - 10  s  a 90° right-hand corner, trail-braked: the heading crosses
//                north near 6.9 s and the body rolls outward (to the left)
//   6.75 - 7.25 s a bump: the car rises and falls 4 cm, pitching over it
//   10  - 14  s  out through a 90° left-hand bend, back to 30 m/s and 25°
// At 7.0 s everything happens at once: braking, turning right just past
// north, and on the crest of the bump.
#include <cmath>

namespace gamesim {

struct Motion {
  double lateralSpeed, longitudinalSpeed, verticalSpeed;
  double lateralAccel, longitudinalAccel, verticalAccel;
  double yaw, yawRate, yawAccel;
  double pitch, pitchRate, pitchAccel;
  double roll, rollRate, rollAccel;
  double speed;  // m/s
  double rpm;
};

namespace drive_detail {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kPeriod = 14.0;

// Smooth step from 0 (at a) to 1 (at b), and its derivative.
inline double step(double t, double a, double b) {
  if (t <= a) return 0.0;
  if (t >= b) return 1.0;
  const double x = (t - a) / (b - a);
  return x * x * (3.0 - 2.0 * x);
}
inline double stepRate(double t, double a, double b) {
  if (t <= a || t >= b) return 0.0;
  const double x = (t - a) / (b - a);
  return 6.0 * x * (1.0 - x) / (b - a);
}

inline double wrapped(double t) {
  const double r = std::fmod(t, kPeriod);
  return r < 0 ? r + kPeriod : r;
}

inline double forwardSpeed(double t) {
  t = wrapped(t);
  return 30.0 + 6.0 * step(t, 0.0, 3.5) - 24.5 * step(t, 3.5, 7.5) + 18.5 * step(t, 10.0, 14.0);
}
inline double forwardAccel(double t) {
  t = wrapped(t);
  return 6.0 * stepRate(t, 0.0, 3.5) - 24.5 * stepRate(t, 3.5, 7.5) + 18.5 * stepRate(t, 10.0, 14.0);
}

// A bend of `angle` degrees over [a, a + d): the rate rises and falls as sin².
struct Bend {
  double a, d, angle;
  double rate(double t) const {
    if (t < a || t >= a + d) return 0.0;
    const double s = std::sin(kPi * (t - a) / d);
    return 2.0 * angle / d * s * s;
  }
  double accel(double t) const {
    if (t < a || t >= a + d) return 0.0;
    return 2.0 * angle / d * (kPi / d) * std::sin(2.0 * kPi * (t - a) / d);
  }
  double turned(double t) const {
    if (t < a) return 0.0;
    if (t >= a + d) return angle;
    const double u = t - a;
    return 2.0 * angle / d * (u / 2.0 - d / (4.0 * kPi) * std::sin(2.0 * kPi * u / d));
  }
};
inline constexpr Bend kRightHander{5.0, 5.0, -90.0};
inline constexpr Bend kLeftHander{10.0, 4.0, 90.0};
inline constexpr double kStartHeading = 25.0;

inline double yawRate(double t) {
  t = wrapped(t);
  return kRightHander.rate(t) + kLeftHander.rate(t);
}
inline double lateralAccel(double t) {
  // Centripetal: a right turn (negative yaw rate) pushes the car to the right.
  return -forwardSpeed(t) * yawRate(t) * kPi / 180.0;
}

// The bump: height 0.04 sin²(k u) over half a second.
inline constexpr double kBumpStart = 6.75, kBumpLength = 0.5, kBumpHeight = 0.04;
inline double bumpPhase(double t) {
  t = wrapped(t);
  return (t > kBumpStart && t < kBumpStart + kBumpLength) ? t - kBumpStart : -1.0;
}

inline double pitch(double t) {
  const double u = bumpPhase(t);
  const double overBump = u < 0 ? 0.0 : 0.8 * std::sin(2.0 * kPi * u / kBumpLength);
  return 0.12 * forwardAccel(t) + overBump;
}
inline double roll(double t) { return 0.35 * lateralAccel(t); }

template <class F>
double rateOf(F f, double t) {
  constexpr double h = 1e-4;
  return (f(t + h) - f(t - h)) / (2.0 * h);
}
template <class F>
double accelOf(F f, double t) {
  constexpr double h = 1e-3;
  return (f(t + h) - 2.0 * f(t) + f(t - h)) / (h * h);
}

}  // namespace drive_detail

// Where the car is and how it moves at time t (seconds; the loop repeats).
inline Motion driveAt(double t) {
  namespace d = drive_detail;
  Motion m{};
  const double w = d::wrapped(t);
  m.longitudinalSpeed = d::forwardSpeed(w);
  m.longitudinalAccel = d::forwardAccel(w);
  m.lateralAccel = d::lateralAccel(w);
  m.lateralSpeed = -0.04 * m.lateralAccel;  // a slight slide to the outside
  const double u = d::bumpPhase(w);
  const double k = d::kPi / d::kBumpLength;
  m.verticalSpeed = u < 0 ? 0.0 : d::kBumpHeight * k * std::sin(2.0 * k * u);
  m.verticalAccel = u < 0 ? 0.0 : 2.0 * d::kBumpHeight * k * k * std::cos(2.0 * k * u);

  double yaw = d::kStartHeading + d::kRightHander.turned(w) + d::kLeftHander.turned(w);
  yaw = std::fmod(yaw + 180.0, 360.0);
  if (yaw <= 0) yaw += 360.0;
  m.yaw = yaw - 180.0;
  m.yawRate = d::yawRate(w);
  m.yawAccel = d::kRightHander.accel(w) + d::kLeftHander.accel(w);

  m.pitch = d::pitch(w);
  m.pitchRate = d::rateOf(d::pitch, w);
  m.pitchAccel = d::accelOf(d::pitch, w);
  m.roll = d::roll(w);
  m.rollRate = d::rateOf(d::roll, w);
  m.rollAccel = d::accelOf(d::roll, w);

  m.speed = std::hypot(m.longitudinalSpeed, m.lateralSpeed);
  m.rpm = 2000.0 + 140.0 * m.longitudinalSpeed;
  return m;
}

}  // namespace gamesim
