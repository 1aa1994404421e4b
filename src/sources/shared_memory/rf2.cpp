#include "sources/shared_memory/rf2.h"

#include <array>

#include "platform/console.h"
#include "sources/block_formats.h"
#include "sources/game_values.h"

namespace kinevra {

using platform::consolePrintf;
using platform::SharedMemory;

// --- rFactor 2 plug-in block ---

Rf2Reader::Rf2Reader(Clock& clock) : GameReader(14, clock, GravityDirection::AddToAcceleration) {}

bool Rf2Reader::probe() { return gameProcessRunning() && SharedMemory::exists(blocks::kRf2); }

void Rf2Reader::release() {
  ready = 0;
  mapped = 0;
  block_.close();
}

int Rf2Reader::mapStep() {
  if (mapped || !gameProcessRunning() || !SharedMemory::exists(blocks::kRf2)) {
    // Mapped no longer means anything once cleared, so the view goes too.
    release();
    return 0;
  }
  if (!block_.openExisting(blocks::kRf2)) {
    consolePrintf("Failed to open mapping");
    failed = 1;
    return 0;
  }
  if (!block_.mapRead(blocks::kRf2Size)) {
    consolePrintf("Failed to map buffer");
    block_.close();
    failed = 1;
    return 0;
  }
  std::int32_t marker = 0;
  if (!viewOf(block_).read(rf2::kMarker, &marker) || marker == rf2::kNotReady) {
    // The plug-in has not filled the block yet; look again on a later pass.
    block_.close();
    failed = 1;
    return 0;
  }
  failed = 0;
  consolePrintf("Memory mapped successfully\n");
  ready = 1;
  mapped = 1;
  return 1;
}

bool Rf2Reader::convert(ByteView block, double* gameData) {
  std::array<std::uint8_t, rf2::kFieldsEnd> copy;
  if (!copyFields(block, 0, copy)) return false;
  const ByteView fields(copy.data(), copy.size());
  if (fields.get<std::int32_t>(rf2::kMarker) == rf2::kNotReady) return false;
  const double time = fields.get<double>(rf2::kSimulationTime);
  if (time < lastSimulationTime) {
    // A new session starts its clock again: from here on it counts.
    lastSimulationTime = time;
    return false;
  }
  if (!(time > lastSimulationTime)) return false;
  lastSimulationTime = time;
  GameValues values;
  return convertRf2(fields, &values) && values.commit(gameData);
}

int Rf2Reader::update(double* gameData) {
  if (!mapped || !convert(viewOf(block_), gameData)) return 0;
  stepMeter(gameData);
  setGroundState(0);
  return finishUpdate(gameData);
}

}  // namespace kinevra
