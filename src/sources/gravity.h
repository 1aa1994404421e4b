#pragma once
// Splits gravity out of (or into) the accelerations of a GameData record from
// its roll and pitch angles.

namespace kinevra {

// GameData value indexes used across the readers.
namespace gd {
inline constexpr int kIntervalMs = 0, kGameTimeStep = 2, kGameTime = 3;
inline constexpr int kLateralSpeed = 5, kLateralAccel = 6, kLateralAccelG = 7, kLateralGravi = 8;
inline constexpr int kLongitudinalSpeed = 9, kLongitudinalAccel = 10, kLongitudinalAccelG = 11,
                     kLongitudinalGravi = 12;
inline constexpr int kVerticalSpeed = 13, kVerticalAccel = 14, kVerticalAccelG = 15, kVerticalGravi = 16;
inline constexpr int kYawPosition = 17, kYawSpeed = 18, kYawAccel = 19;
inline constexpr int kRollPosition = 20, kRollSpeed = 21, kRollAccel = 22;
inline constexpr int kPitchPosition = 23, kPitchSpeed = 24, kPitchAccel = 25;
inline constexpr int kBeltSum = 46;
}  // namespace gd

inline constexpr double kStandardGravity = 9.80665;

enum class GravityDirection {
  AddToAcceleration,       // the game's accelerations exclude gravity: accel_g = accel + gravi
  RemoveFromAcceleration,  // they include it: accel = accel_g - gravi
};

// Computes the three gravi values from roll and pitch (degrees) and completes
// the accelerations in the given direction. negateLongitudinal flips the
// longitudinal gravity (one game's pitch runs the other way).
void splitGravity(double* gameData, GravityDirection direction, bool negateLongitudinal = false);

}  // namespace kinevra
