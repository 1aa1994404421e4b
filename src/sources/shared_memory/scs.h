#pragma once
// Euro Truck Simulator 2 / American Truck Simulator: the plug-in block.
#include "sources/game_reader.h"
#include "sources/shared_memory/blocks.h"

namespace kinevra {

// The truck simulators' telemetry plug-in block. The plug-in refuses to
// start when its block exists already, so the library only ever opens it;
// like "$R3E" it keeps only the view and looks each cycle whether the block
// still exists, since nothing in the block says that the game has gone.
class ScsReader : public GameReader {
 public:
  explicit ScsReader(Clock& clock);

  bool probe() override;
  int attach() override;
  int update(double* gameData) override;
  void detach() override { block_.close(); }

  const platform::SharedMemory& block() const { return block_; }

 protected:
  // Converts the block while its first byte says the game sends.
  virtual bool convert(ByteView block, double* gameData);

 private:
  platform::SharedMemoryName preparedName_;
  platform::SharedMemory block_;
};

}  // namespace kinevra
