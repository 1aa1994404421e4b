#include "sources/shared_memory/pcars2.h"

#include <array>

#include "sources/block_formats.h"
#include "sources/game_values.h"

namespace kinevra {

// --- "$pcars2$" ---

Pcars2Reader::Pcars2Reader(Clock& clock) : MappedBlockReader(9, clock, blocks::kPcars2, blocks::kWholeBlock) {}

bool Pcars2Reader::convert(ByteView block, double* gameData) {
  std::int32_t state = 0;
  if (!block.read(pcars2::kGameState, &state) || state != pcars2::kInGamePlaying) {
    ready = 0;
    return false;
  }
  ready = 1;
  if (!blockStillExists()) {
    ready = 0;
    return false;
  }
  std::array<std::uint8_t, pcars2::kFieldsEnd - pcars2::kFieldsBegin> fields;
  if (!copyFields(block, pcars2::kFieldsBegin, fields)) return false;
  GameValues values;
  return convertPcars2(ByteView(fields.data(), fields.size()), &values) && values.commit(gameData);
}

}  // namespace kinevra
