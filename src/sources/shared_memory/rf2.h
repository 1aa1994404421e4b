#pragma once
// rFactor 2: the block of the engine's plug-in.
#include "sources/game_reader.h"
#include "sources/shared_memory/blocks.h"

namespace kinevra {

// The block the rFactor 2 plug-in publishes.
class Rf2Reader : public GameReader {
 public:
  explicit Rf2Reader(Clock& clock);

  bool probe() override;
  void releaseAfterFailedProbe() override { release(); }
  int attach() override { return mapStep(); }
  int update(double* gameData) override;
  void detach() override { release(); }

  // Maps the block when the game runs and the plug-in has made it ready.
  int mapStep();
  void release();

  int ready = 0;
  int mapped = 0;
  int failed = 0;
  double lastSimulationTime = 0.0;
  const platform::SharedMemory& block() const { return block_; }

 protected:
  // Converts the block when its simulation time has moved on and the
  // plug-in has not marked it not ready.
  virtual bool convert(ByteView block, double* gameData);

 private:
  platform::SharedMemory block_;
};

}  // namespace kinevra
