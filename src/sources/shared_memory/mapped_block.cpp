#include "sources/shared_memory/mapped_block.h"

#include "platform/console.h"

namespace kinevra {

using platform::consolePrintf;
using platform::SharedMemory;

// --- "$R3E" and "$pcars2$" ---

MappedBlockReader::MappedBlockReader(int gameId, Clock& clock, std::string_view name, std::size_t size)
    : GameReader(gameId, clock, GravityDirection::AddToAcceleration),
      name_(name),
      preparedName_(name),
      size_(size) {}

bool MappedBlockReader::probe() {
  if (!info().executables[0].empty() && !gameProcessRunning()) return false;
  return SharedMemory::exists(name_);
}

int MappedBlockReader::attach() {
  // A view still held from an earlier attach is given up first, so that a
  // fresh one is mapped instead of the attach failing for good.
  if (mapped) release();
  const bool needsProcess = !info().executables[0].empty();
  if (needsProcess && !gameProcessRunning()) return 0;
  if (needsProcess) consolePrintf("Found RRRE.exe, mapping shared memory...\n");
  if (!SharedMemory::exists(name_)) return 0;
  if (!block_.openExisting(name_)) {
    consolePrintf("Failed to open mapping");
    failed = 1;
    return 0;
  }
  if (!block_.mapRead(size_)) {
    consolePrintf("Failed to map buffer");
    block_.close();
    failed = 1;
    return 0;
  }
  block_.releaseHandle();
  failed = 0;
  consolePrintf("Memory mapped successfully\n");
  ready = 1;
  mapped = 1;
  return 1;
}

void MappedBlockReader::release() {
  mapped = 0;
  block_.close();
  ready = 0;
}

void MappedBlockReader::detach() { release(); }

bool MappedBlockReader::convert(ByteView, double*) { return false; }

int MappedBlockReader::update(double* gameData) {
  if (!mapped || !convert(viewOf(block_), gameData)) return 0;
  stepMeter(gameData);
  setGroundState(0);
  return finishUpdate(gameData);
}

}  // namespace kinevra
