#include "sources/shared_memory/irsdk.h"

#include <cstring>
#include <ctime>

#include "sources/block_formats.h"
#include "sources/game_values.h"

namespace kinevra {

using platform::SharedMemory;

// --- iRacing SDK ---

IrsdkReader::IrsdkReader(Clock& clock)
    : GameReader(10, clock, GravityDirection::RemoveFromAcceleration), line_(std::make_unique<IrsdkLine>()) {}

bool IrsdkReader::probe() { return gameProcessRunning() && SharedMemory::exists(blocks::kIrsdk); }

bool IrsdkReader::startUp() {
  valid = false;
  if (!block_.isOpen()) {
    if (!block_.openExisting(blocks::kIrsdk)) return false;
    lastTick = INT_MAX;
  }
  if (!block_.view()) {
    // The whole block: its header says how large it is.
    if (!block_.mapRead(blocks::kWholeBlock)) return false;
    lastTick = INT_MAX;
  }
  if (!event_.isOpen()) {
    if (!event_.openExisting(blocks::kIrsdkEvent)) return false;
    lastTick = INT_MAX;
  }
  valid = true;
  return true;
}

void IrsdkReader::release() {
  event_.close();
  block_.close();
  lastTick = INT_MAX;
  valid = false;
  mapped = false;
  attached = false;
}

int IrsdkReader::attach() {
  if (!attached && gameProcessRunning() && SharedMemory::exists(blocks::kIrsdk)) {
    if (!startUp()) {
      // Nothing half-open stays behind; the next attach starts afresh.
      release();
      return 0;
    }
    mapped = true;
    attached = true;
    return 1;
  }
  release();
  return 0;
}

bool IrsdkReader::convert(ByteView block, double* gameData) {
  if (irsdkStep(block, lastTick, *line_) != IrsdkStep::Copied) return false;
  lastUpdateTime = static_cast<std::int64_t>(std::time(nullptr));
  GameValues values;
  return convertIrsdkLine(block, *line_, &values) && values.commit(gameData);
}

int IrsdkReader::update(double* gameData) {
  if (!attached) return 0;
  std::memset(line_->bytes.data(), 0xFF, irsdk::kPrefill);
  if (valid || startUp()) convert(viewOf(block_), gameData);
  // Every cycle counts as an update, new line or not.
  stepMeter(gameData);
  setGroundState(0);
  return finishUpdate(gameData);
}

}  // namespace kinevra
