#pragma once
// Project CARS 2 and Automobilista 2: "$pcars2$".
#include "sources/shared_memory/mapped_block.h"

namespace kinevra {

// Project CARS 2 and Automobilista 2: "$pcars2$", whose size differs between the two.
class Pcars2Reader final : public MappedBlockReader {
 public:
  explicit Pcars2Reader(Clock& clock);

 protected:
  // The game's state (playing), the block's existence, then one copy of the fields.
  bool convert(ByteView block, double* gameData) override;
};

}  // namespace kinevra
