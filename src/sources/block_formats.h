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

}  // namespace kinevra
