#include "sources/shared_memory/scs.h"

#include <array>

#include "sources/block_formats.h"
#include "sources/game_values.h"

namespace kinevra {

using platform::SharedMemory;

// --- SCS plug-in block ---

ScsReader::ScsReader(Clock& clock)
    : GameReader(17, clock, GravityDirection::AddToAcceleration), preparedName_(blocks::kScs) {}

bool ScsReader::probe() {
  bool mappable = false;
  {
    SharedMemory block;
    mappable = block.openExisting(blocks::kScs) && block.mapRead(blocks::kScsSize) != nullptr;
  }
  return mappable && gameProcessRunning();
}

int ScsReader::attach() {
  block_.close();
  if (block_.openExisting(blocks::kScs) && block_.mapRead(blocks::kScsSize)) {
    block_.releaseHandle();
    return 1;
  }
  block_.close();
  return 0;
}

bool ScsReader::convert(ByteView block, double* gameData) {
  std::array<std::uint8_t, scs::kFieldsEnd> copy;
  if (!copyFields(block, 0, copy) || copy[scs::kRunning] == 0 || !preparedName_.exists()) return false;
  GameValues values;
  return convertScs(ByteView(copy.data(), copy.size()), &values) && values.commit(gameData);
}

int ScsReader::update(double* gameData) {
  if (!block_.view() || !convert(viewOf(block_), gameData)) return 0;
  stepMeter(gameData);
  setGroundState(0);
  return finishUpdate(gameData);
}

}  // namespace kinevra
