#pragma once
// The games' shared-memory blocks: names, sizes, and the view a reader sees.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "common/byte_view.h"
#include "platform/shared_memory.h"

namespace kinevra {

// Names and sizes of the blocks.
namespace blocks {
// Asks for a view of all of a block, whatever its size.
inline constexpr std::size_t kWholeBlock = SIZE_MAX;
inline constexpr std::string_view kAcpmfPhysics = "Local\\acpmf_physics";
inline constexpr std::size_t kAcpmfPhysicsSize = 712;
inline constexpr std::string_view kAcpmfGraphics = "Local\\acpmf_graphics";
inline constexpr std::size_t kAcpmfGraphicsSize = 1320;
inline constexpr std::size_t kAcpmfStatusOffset = 4;
inline constexpr std::int32_t kAcpmfLive = 2;
inline constexpr std::string_view kR3e = "$R3E";
inline constexpr std::size_t kR3eSize = 39320;  // versions 2.x; 3.5 has 43996 (mapped whole)
inline constexpr std::string_view kPcars2 = "$pcars2$";
inline constexpr std::size_t kPcars2Size = 20700;  // Automobilista 2; Project CARS 2 has 20576 (mapped whole)
inline constexpr std::string_view kIrsdk = "Local\\IRSDKMemMapFileName";
inline constexpr std::string_view kIrsdkEvent = "Local\\IRSDKDataValidEvent";
inline constexpr std::string_view kRf2 = "Local\\Kinevra_rf2_data";
inline constexpr std::size_t kRf2Size = 1888;
inline constexpr std::int32_t kRf2NotReady = 1234567890;
inline constexpr std::string_view kScs = "SCSTelemetryExample";
inline constexpr std::size_t kScsSize = 177;
}  // namespace blocks

// The view a block holds, bounded by what was really mapped.
inline ByteView viewOf(const platform::SharedMemory& m) { return ByteView(m.view(), m.viewSize()); }

// One copy of [begin, end) of a block, taken at once; false when the block
// does not hold it.
template <std::size_t N>
bool copyFields(ByteView block, std::size_t begin, std::array<std::uint8_t, N>& copy) {
  if (!block.contains(begin, N)) return false;
  std::memcpy(copy.data(), block.data() + begin, N);
  return true;
}

// Is the 32-bit flag at offset set (1)? False when the block does not hold it.
inline bool flagSet(ByteView block, std::size_t offset) {
  std::int32_t v = 0;
  return block.read(offset, &v) && v == 1;
}

}  // namespace kinevra
