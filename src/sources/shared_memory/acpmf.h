#pragma once
// Assetto Corsa and its successors: the acpmf pages.
#include <cstdint>

#include "sources/game_reader.h"
#include "sources/shared_memory/blocks.h"

namespace kinevra {

// acpmf pages: the physics page (GameIds 3 and 16) and, for GameId 3, the
// graphics page whose status says whether a session is live. The library
// creates the pages when the game has not (as the game does), so these are
// opened with create-or-open.
class AcpmfReader : public GameReader {
 public:
  AcpmfReader(int gameId, Clock& clock, bool withGraphics);

  bool probe() override;
  int attach() override;
  int update(double* gameData) override;
  void detach() override;

  // The last packet counter seen.
  std::int32_t lastPacket = 0;
  const platform::SharedMemory& physics() const { return physics_; }
  const platform::SharedMemory& graphics() const { return graphics_; }

 protected:
  // Converts the physics page when it holds a new packet (its counter
  // changed); true when it did. A page too short for the fields, or whose
  // values are not all numbers, converts to nothing.
  virtual bool convert(ByteView physics, double* gameData);

 private:
  bool withGraphics_;
  platform::SharedMemory physics_;
  platform::SharedMemory graphics_;
};

// Is the graphics page's status "live"? False for a view too short to hold it.
bool acpmfSessionLive(ByteView graphics);

}  // namespace kinevra
