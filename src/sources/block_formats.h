#pragma once
// The fields the engine reads from the games' shared-memory blocks, and their
// conversion into GameData values. Every function reads through a ByteView,
// so a block of any size or content is read only where it really has bytes;
// a block too short for the fields it must hold converts to nothing.
#include <cstddef>
#include <cstdint>

#include "common/byte_view.h"
#include "sources/game_values.h"

namespace kinevra {

// --- acpmf physics page ("Local\acpmf_physics") ---
namespace acpmf {
inline constexpr std::size_t kPacketId = 0;         // int32, new-data counter
inline constexpr std::size_t kAccG = 44;            // 3 floats, g: lateral, vertical, longitudinal
inline constexpr std::size_t kHeading = 208;        // float, rad
inline constexpr std::size_t kPitch = 212;          // float, rad
inline constexpr std::size_t kRoll = 216;           // float, rad
inline constexpr std::size_t kLocalAngularVel = 296;  // 3 floats, rad/s: pitch, yaw, roll
inline constexpr std::size_t kLocalVelocity = 568;  // 3 floats, m/s: lateral, vertical, longitudinal
inline constexpr std::size_t kFieldsEnd = 580;      // every field read lies before this byte
}  // namespace acpmf

// The page's fields as GameData values; false when the page is too short.
bool convertAcpmfPhysics(ByteView page, GameValues* out);

// --- "$R3E" (RaceRoom) ---
namespace r3e {
inline constexpr std::size_t kVersionMajor = 0;  // int32
inline constexpr std::size_t kVersionMinor = 4;  // int32
// The game's state flags (int32, 1 = set), where versions 2.x to 3.2 keep them.
inline constexpr std::size_t kGamePaused = 16, kGameInMenus = 20, kGameInReplay = 24;
// The player's fields (doubles), where versions 2.x to 3.2 keep them.
inline constexpr std::size_t kLocalVelocity = 96;          // x left, y up, z back; m/s
inline constexpr std::size_t kLocalAcceleration = 144;     // the same axes; m/s²
inline constexpr std::size_t kOrientation = 168;           // pitch, yaw, roll; rad
inline constexpr std::size_t kAngularAcceleration = 216;   // pitch, yaw, roll; rad/s²
inline constexpr std::size_t kLocalAngularVelocity = 264;  // pitch, yaw, roll; rad/s
// The part of the player's fields that is read, copied at once.
inline constexpr std::size_t kPlayerFieldsBegin = kLocalVelocity;
inline constexpr std::size_t kPlayerFieldsEnd = kLocalAngularVelocity + 24;
}  // namespace r3e

// Where one version of the block keeps its fields: how far the state flags
// and the player's fields lie behind their places in versions 2.x to 3.2.
struct R3eLayout {
  bool supported = false;
  std::size_t flagShift = 0;
  std::size_t playerShift = 0;
};
R3eLayout r3eLayout(std::int32_t major, std::int32_t minor);

// The player's fields from a copy of the bytes from r3e::kPlayerFieldsBegin
// (moved by the version's shift) to kPlayerFieldsEnd; false when it is short.
bool convertR3ePlayer(ByteView playerFields, GameValues* out);

// --- "$pcars2$" (Project CARS 2, Automobilista 2) ---
namespace pcars2 {
inline constexpr std::size_t kGameState = 8;  // int32
inline constexpr std::int32_t kInGamePlaying = 2;
inline constexpr std::size_t kOrientation = 6908;        // 3 floats, rad
inline constexpr std::size_t kLocalVelocity = 6920;      // 3 floats, m/s
inline constexpr std::size_t kAngularVelocity = 6944;    // 3 floats, rad/s
inline constexpr std::size_t kLocalAcceleration = 6956;  // 3 floats, m/s²
inline constexpr std::size_t kFieldsBegin = kOrientation;
inline constexpr std::size_t kFieldsEnd = 6968;
}  // namespace pcars2

// The fields from a copy of the bytes from pcars2::kFieldsBegin to kFieldsEnd.
bool convertPcars2(ByteView fields, GameValues* out);

// --- the rFactor 2 plug-in's block ("Local\Kinevra_rf2_data") ---
namespace rf2 {
inline constexpr std::size_t kMarker = 0;  // int32; kNotReady until the plug-in fills the block
inline constexpr std::int32_t kNotReady = 1234567890;
inline constexpr std::size_t kSimulationTime = 12;       // double, s
inline constexpr std::size_t kLocalVelocity = 184;       // 3 doubles: x left, y up, z back; m/s
inline constexpr std::size_t kLocalAcceleration = 208;   // 3 doubles, m/s²
inline constexpr std::size_t kOrientation = 232;         // 9 doubles, the rows of the matrix
inline constexpr std::size_t kLocalRotation = 304;       // 3 doubles: pitch, yaw, roll; rad/s
inline constexpr std::size_t kLocalRotationAccel = 328;  // 3 doubles, rad/s²
inline constexpr std::size_t kFieldsEnd = 352;
}  // namespace rf2

// Heading, pitch and roll in degrees from the plug-in's orientation matrix
// (row by row), through a quaternion.
struct Rf2Attitude {
  double yaw, pitch, roll;
};
Rf2Attitude rf2Attitude(const double (&m)[9]);

// The fields from a copy of the block's first rf2::kFieldsEnd bytes.
bool convertRf2(ByteView block, GameValues* out);

// --- the truck simulators' plug-in block ("SCSTelemetryExample"), packed ---
namespace scs {
inline constexpr std::size_t kRunning = 0;   // byte, not 0 while the game sends
inline constexpr std::size_t kHeading = 25;  // float, turns, 0 north, counter-clockwise
inline constexpr std::size_t kPitch = 29;    // float, turns
inline constexpr std::size_t kRoll = 33;     // float, turns
inline constexpr std::size_t kSpeed = 41;    // float, m/s
inline constexpr std::size_t kRpm = 45;      // float
inline constexpr std::size_t kLocalVelocity = 69;              // 3 floats: x right, y up, z back; m/s
inline constexpr std::size_t kLocalAngularVelocity = 81;       // 3 floats: pitch, yaw, roll; turns/s
inline constexpr std::size_t kLocalAcceleration = 93;          // 3 floats, m/s²
inline constexpr std::size_t kLocalAngularAcceleration = 105;  // 3 floats, turns/s²
inline constexpr std::size_t kFieldsEnd = 117;
}  // namespace scs

// The fields from a copy of the block's first scs::kFieldsEnd bytes.
bool convertScs(ByteView block, GameValues* out);

}  // namespace kinevra
