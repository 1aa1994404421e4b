#include "sources/shared_memory/r3e.h"

#include <array>

#include "platform/console.h"
#include "sources/block_formats.h"
#include "sources/game_values.h"

namespace kinevra {

using platform::consolePrintf;

// --- "$R3E" ---

R3eReader::R3eReader(Clock& clock) : MappedBlockReader(4, clock, blocks::kR3e, blocks::kWholeBlock) {}

bool R3eReader::convert(ByteView block, double* gameData) {
  std::int32_t major = 0, minor = 0;
  if (!block.read(r3e::kVersionMajor, &major) || !block.read(r3e::kVersionMinor, &minor)) {
    ready = 0;
    return false;
  }
  const R3eLayout layout = r3eLayout(major, minor);
  if (!layout.supported) {
    // Another layout would be read as garbage motion: read nothing.
    if (major != reportedMajor_ || minor != reportedMinor_) {
      consolePrintf("Unsupported $R3E version %d.%d\n", major, minor);
      reportedMajor_ = major;
      reportedMinor_ = minor;
    }
    ready = 0;
    return false;
  }
  const std::size_t flags = layout.flagShift;
  if (!block.contains(0, r3e::kGameInReplay + flags + 4) || flagSet(block, r3e::kGamePaused + flags)) {
    ready = 0;
    return false;
  }
  ready = 1;
  if (flagSet(block, r3e::kGameInMenus + flags) || flagSet(block, r3e::kGameInReplay + flags)) {
    ready = 0;
    return false;
  }
  if (!blockStillExists()) {
    ready = 0;
    return false;
  }
  std::array<std::uint8_t, r3e::kPlayerFieldsEnd - r3e::kPlayerFieldsBegin> player;
  if (!copyFields(block, r3e::kPlayerFieldsBegin + layout.playerShift, player)) return false;
  GameValues values;
  return convertR3ePlayer(ByteView(player.data(), player.size()), &values) && values.commit(gameData);
}

}  // namespace kinevra
