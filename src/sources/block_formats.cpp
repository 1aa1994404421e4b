#include "sources/block_formats.h"

#include <algorithm>
#include <cmath>

#include "sources/gravity.h"

namespace kinevra {

namespace {

float f32(ByteView v, std::size_t offset) { return v.get<float>(offset); }
double f64(ByteView v, std::size_t offset) { return v.get<double>(offset); }

constexpr int kSpeedValue = 32, kRpmValue = 31;

}  // namespace

bool convertAcpmfPhysics(ByteView page, GameValues* out) {
  using namespace acpmf;
  if (!page.contains(0, kFieldsEnd)) return false;
  out->set(gd::kLateralAccel, f32(page, kAccG) * kAcpmfGravity);
  out->set(gd::kVerticalAccel, -(f32(page, kAccG + 4) * kAcpmfGravity));
  out->set(gd::kLongitudinalAccel, f32(page, kAccG + 8) * kAcpmfGravity);
  out->set(gd::kYawPosition, -(f32(page, kHeading) * kRadToDeg));
  out->set(gd::kPitchPosition, f32(page, kPitch) * kRadToDeg);
  out->set(gd::kRollPosition, -(f32(page, kRoll) * kRadToDeg));
  out->set(gd::kPitchSpeed, f32(page, kLocalAngularVel) * kRadToDeg);
  out->set(gd::kYawSpeed, f32(page, kLocalAngularVel + 4) * kRadToDeg);
  out->set(gd::kRollSpeed, f32(page, kLocalAngularVel + 8) * kRadToDeg);
  out->set(gd::kLateralSpeed, f32(page, kLocalVelocity));
  out->set(gd::kVerticalSpeed, f32(page, kLocalVelocity + 4));
  out->set(gd::kLongitudinalSpeed, f32(page, kLocalVelocity + 8));
  return true;
}

R3eLayout r3eLayout(std::int32_t major, std::int32_t minor) {
  if (minor < 0) return {};
  if (major == 2) return {true, 0, 0};
  if (major != 3) return {};
  if (minor <= 2) return {true, 0, 0};
  // 3.3 put the game mode in front of the flags; 3.4 a user id in front of
  // the player's fields.
  if (minor == 3) return {true, 4, 4};
  return {true, 4, 8};
}

bool convertR3ePlayer(ByteView p, GameValues* out) {
  using namespace r3e;
  constexpr std::size_t b = kPlayerFieldsBegin;
  if (!p.contains(0, kPlayerFieldsEnd - b)) return false;
  out->set(gd::kLateralSpeed, -f64(p, kLocalVelocity - b));
  out->set(gd::kVerticalSpeed, f64(p, kLocalVelocity + 8 - b));
  out->set(gd::kLongitudinalSpeed, -f64(p, kLocalVelocity + 16 - b));
  out->set(gd::kLateralAccel, -f64(p, kLocalAcceleration - b));
  out->set(gd::kVerticalAccel, f64(p, kLocalAcceleration + 8 - b));
  out->set(gd::kLongitudinalAccel, -f64(p, kLocalAcceleration + 16 - b));
  out->set(gd::kPitchPosition, f64(p, kOrientation - b) * kRadToDeg);
  out->set(gd::kYawPosition, -(f64(p, kOrientation + 8 - b) * kRadToDeg));
  out->set(gd::kRollPosition, f64(p, kOrientation + 16 - b) * kRadToDeg);
  out->set(gd::kPitchAccel, f64(p, kAngularAcceleration - b) * kRadToDeg);
  out->set(gd::kYawAccel, -(f64(p, kAngularAcceleration + 8 - b) * kRadToDeg));
  out->set(gd::kRollAccel, f64(p, kAngularAcceleration + 16 - b) * kRadToDeg);
  // The car's own angular velocity: pitch and roll rates stay right at any heading.
  out->set(gd::kPitchSpeed, f64(p, kLocalAngularVelocity - b) * kRadToDeg);
  out->set(gd::kYawSpeed, -(f64(p, kLocalAngularVelocity + 8 - b) * kRadToDeg));
  out->set(gd::kRollSpeed, f64(p, kLocalAngularVelocity + 16 - b) * kRadToDeg);
  return true;
}

bool convertPcars2(ByteView p, GameValues* out) {
  using namespace pcars2;
  constexpr std::size_t b = kFieldsBegin;
  if (!p.contains(0, kFieldsEnd - b)) return false;
  out->set(gd::kYawPosition, -(f32(p, kOrientation - b) * kRadToDeg));
  out->set(gd::kRollPosition, f32(p, kOrientation + 4 - b) * kRadToDeg);
  out->set(gd::kPitchPosition, f32(p, kOrientation + 8 - b) * kRadToDeg);
  out->set(gd::kLateralSpeed, f32(p, kLocalVelocity - b));
  out->set(gd::kLongitudinalSpeed, f32(p, kLocalVelocity + 4 - b));
  out->set(gd::kVerticalSpeed, f32(p, kLocalVelocity + 8 - b));
  out->set(gd::kYawSpeed, -(f32(p, kAngularVelocity - b) * kRadToDeg));
  out->set(gd::kRollSpeed, f32(p, kAngularVelocity + 4 - b) * kRadToDeg);
  out->set(gd::kPitchSpeed, f32(p, kAngularVelocity + 8 - b) * kRadToDeg);
  out->set(gd::kLateralAccel, f32(p, kLocalAcceleration - b));
  out->set(gd::kLongitudinalAccel, f32(p, kLocalAcceleration + 4 - b));
  out->set(gd::kVerticalAccel, f32(p, kLocalAcceleration + 8 - b));
  return true;
}

Rf2Attitude rf2Attitude(const double (&m)[9]) {
  const double m00 = m[0], m01 = m[1], m02 = m[2];
  const double m10 = m[3], m11 = m[4], m12 = m[5];
  const double m20 = m[6], m21 = m[7], m22 = m[8];
  double w, x, y, z;
  const double t = m00 + m11 + m22 + 1.0;
  if (t > 0.0625) {
    const double s = std::sqrt(t);
    w = s / 2.0;
    x = (m21 - m12) * 0.5 / s;
    y = (m02 - m20) * 0.5 / s;
    z = (m10 - m01) * 0.5 / s;
  } else if (m11 < m00 && m00 > m22) {
    const double s = std::sqrt(m00 + 1.0 - m11 - m22);
    x = s / 2.0;
    y = (m10 + m01) * 0.5 / s;
    z = (m20 + m02) * 0.5 / s;
    w = (m21 - m12) * 0.5 / s;
  } else if (m11 > m22) {
    const double s = std::sqrt(m11 + 1.0 - m00 - m22);
    y = s / 2.0;
    x = (m10 + m01) * 0.5 / s;
    z = (m21 + m12) * 0.5 / s;
    w = (m02 - m20) * 0.5 / s;
  } else {
    const double s = std::sqrt(m22 + 1.0 - m00 - m11);
    z = s / 2.0;
    x = (m02 + m20) * 0.5 / s;
    y = (m21 + m12) * 0.5 / s;
    w = (m10 - m01) * 0.5 / s;
  }
  Rf2Attitude a;
  a.yaw = -(std::atan2(2.0 * (y * w - x * z), 1.0 - 2.0 * (y * y + z * z)) * kRadToDeg);
  // Rounding can carry the sine of a true rotation a hair past 1; anything
  // further is no rotation, and its roll is not a number.
  double sine = 2.0 * (y * x + w * z);
  if (std::fabs(sine) > 1.0 && std::fabs(sine) < 1.0 + 1e-9) sine = sine > 0 ? 1.0 : -1.0;
  a.roll = std::asin(sine) * kRadToDeg;
  a.pitch = std::atan2(2.0 * (w * x - y * z), 1.0 - 2.0 * (x * x + z * z)) * kRadToDeg;
  return a;
}

bool convertRf2(ByteView p, GameValues* out) {
  using namespace rf2;
  if (!p.contains(0, kFieldsEnd)) return false;
  out->set(gd::kLateralSpeed, -f64(p, kLocalVelocity));
  out->set(gd::kVerticalSpeed, f64(p, kLocalVelocity + 8));
  out->set(gd::kLongitudinalSpeed, -f64(p, kLocalVelocity + 16));
  out->set(gd::kLateralAccel, -f64(p, kLocalAcceleration));
  out->set(gd::kVerticalAccel, f64(p, kLocalAcceleration + 8));
  out->set(gd::kLongitudinalAccel, -f64(p, kLocalAcceleration + 16));
  double m[9];
  for (std::size_t i = 0; i < 9; ++i) m[i] = f64(p, kOrientation + 8 * i);
  const Rf2Attitude a = rf2Attitude(m);
  out->set(gd::kYawPosition, a.yaw);
  out->set(gd::kRollPosition, a.roll);
  out->set(gd::kPitchPosition, a.pitch);
  out->set(gd::kPitchSpeed, f64(p, kLocalRotation) * kRadToDeg);
  out->set(gd::kYawSpeed, -(f64(p, kLocalRotation + 8) * kRadToDeg));
  out->set(gd::kRollSpeed, f64(p, kLocalRotation + 16) * kRadToDeg);
  out->set(gd::kPitchAccel, f64(p, kLocalRotationAccel) * kRadToDeg);
  out->set(gd::kYawAccel, -(f64(p, kLocalRotationAccel + 8) * kRadToDeg));
  out->set(gd::kRollAccel, f64(p, kLocalRotationAccel + 16) * kRadToDeg);
  return true;
}

namespace {

// Turns to degrees in single precision, limited to [low, high]. A value that
// is not a number stays one, so that the whole set is refused.
float degreesLimited(float turns, float sign, float low, float high) {
  if (!std::isfinite(turns)) return turns;
  return std::clamp(turns * 360.0f * sign, low, high);
}

}  // namespace

bool convertScs(ByteView p, GameValues* out) {
  using namespace scs;
  if (!p.contains(0, kFieldsEnd)) return false;
  out->set(gd::kYawPosition, degreesLimited(f32(p, kHeading), 1.0f, 0.0f, 360.0f));
  out->set(gd::kPitchPosition, degreesLimited(f32(p, kPitch), 1.0f, -90.0f, 90.0f));
  out->set(gd::kRollPosition, degreesLimited(f32(p, kRoll), -1.0f, -180.0f, 180.0f));
  out->set(kSpeedValue, f32(p, kSpeed));
  out->set(kRpmValue, f32(p, kRpm));
  out->set(gd::kLateralSpeed, f32(p, kLocalVelocity));
  out->set(gd::kVerticalSpeed, f32(p, kLocalVelocity + 4));
  out->set(gd::kLongitudinalSpeed, -f32(p, kLocalVelocity + 8));
  out->set(gd::kPitchSpeed, f32(p, kLocalAngularVelocity) * 360.0f);
  out->set(gd::kYawSpeed, f32(p, kLocalAngularVelocity + 4) * 360.0f);
  out->set(gd::kRollSpeed, -(f32(p, kLocalAngularVelocity + 8) * 360.0f));
  out->set(gd::kLateralAccel, f32(p, kLocalAcceleration));
  out->set(gd::kVerticalAccel, f32(p, kLocalAcceleration + 4));
  out->set(gd::kLongitudinalAccel, -f32(p, kLocalAcceleration + 8));
  out->set(gd::kPitchAccel, f32(p, kLocalAngularAcceleration) * 360.0f);
  out->set(gd::kYawAccel, f32(p, kLocalAngularAcceleration + 4) * 360.0f);
  out->set(gd::kRollAccel, -(f32(p, kLocalAngularAcceleration + 8) * 360.0f));
  return true;
}

}  // namespace kinevra
