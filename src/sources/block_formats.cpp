#include "sources/block_formats.h"

#include "sources/gravity.h"

namespace kinevra {

namespace {

float f32(ByteView v, std::size_t offset) { return v.get<float>(offset); }

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

}  // namespace kinevra
