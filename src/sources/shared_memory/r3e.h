#pragma once
// RaceRoom's "$R3E".
#include <climits>
#include <cstdint>

#include "sources/shared_memory/mapped_block.h"

namespace kinevra {

// RaceRoom's "$R3E", read by its version: the fields move as the block grows.
class R3eReader final : public MappedBlockReader {
 public:
  explicit R3eReader(Clock& clock);

 protected:
  // The game's pause, menu and replay flags, the block's existence, then one
  // copy of the player's fields.
  bool convert(ByteView block, double* gameData) override;

 private:
  // The last unsupported version reported, so that it is reported once.
  std::int32_t reportedMajor_ = INT_MIN, reportedMinor_ = INT_MIN;
};

}  // namespace kinevra
