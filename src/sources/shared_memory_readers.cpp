#include "sources/shared_memory_readers.h"

#include <array>
#include <cstring>
#include <limits>

#include "platform/console.h"
#include "sources/block_formats.h"
#include "sources/game_values.h"

namespace kinevra {

using platform::consolePrintf;
using platform::SharedMemory;

// --- acpmf pages ---

AcpmfReader::AcpmfReader(int gameId, Clock& clock, bool withGraphics)
    : GameReader(gameId, clock, GravityDirection::AddToAcceleration), withGraphics_(withGraphics) {}

bool acpmfSessionLive(ByteView graphics) {
  std::int32_t status = 0;
  return graphics.read(blocks::kAcpmfStatusOffset, &status) && status == blocks::kAcpmfLive;
}

bool AcpmfReader::probe() {
  // The probes' own handles go with these locals, whatever the outcome.
  if (withGraphics_) {
    SharedMemory graphics;
    return graphics.createOrOpen(blocks::kAcpmfGraphics, blocks::kAcpmfGraphicsSize) &&
           graphics.mapRead(blocks::kWholeBlock) && acpmfSessionLive(viewOf(graphics));
  }
  bool mappable = false;
  {
    SharedMemory physics;
    mappable = physics.createOrOpen(blocks::kAcpmfPhysics, blocks::kAcpmfPhysicsSize) &&
               physics.mapRead(blocks::kAcpmfPhysicsSize) != nullptr;
  }
  return mappable && gameProcessRunning();
}

int AcpmfReader::attach() {
  detach();
  bool ok = physics_.createOrOpen(blocks::kAcpmfPhysics, blocks::kAcpmfPhysicsSize) &&
            physics_.mapRead(blocks::kAcpmfPhysicsSize) != nullptr;
  if (ok && withGraphics_) {
    // The page's size differs between the games' versions: all of it is
    // mapped, and only what it really holds is read.
    ok = graphics_.createOrOpen(blocks::kAcpmfGraphics, blocks::kAcpmfGraphicsSize) &&
         graphics_.mapRead(blocks::kWholeBlock) != nullptr && acpmfSessionLive(viewOf(graphics_));
  }
  if (ok) return 1;
  detach();
  return 0;
}

void AcpmfReader::detach() {
  physics_.close();
  graphics_.close();
}

bool AcpmfReader::convert(ByteView physics, double* gameData) {
  // One copy of what is read, so the counter and the values belong together
  // as far as a page the game rewrites in place allows.
  std::array<std::uint8_t, acpmf::kFieldsEnd> copy;
  if (!physics.contains(0, copy.size())) return false;
  std::memcpy(copy.data(), physics.data(), copy.size());
  const ByteView page(copy.data(), copy.size());
  const std::int32_t packet = page.get<std::int32_t>(acpmf::kPacketId);
  if (packet == lastPacket) return false;
  lastPacket = packet;
  GameValues values;
  return convertAcpmfPhysics(page, &values) && values.commit(gameData);
}

int AcpmfReader::update(double* gameData) {
  if (!physics_.view() || !convert(viewOf(physics_), gameData)) return 0;
  stepMeter(gameData);
  setGroundState(0);
  return finishUpdate(gameData);
}

// --- "$R3E" and "$pcars2$" ---

MappedBlockReader::MappedBlockReader(int gameId, Clock& clock, std::string_view name, std::size_t size)
    : GameReader(gameId, clock, GravityDirection::AddToAcceleration), name_(name), size_(size) {}

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

bool MappedBlockReader::blockStillExists() const { return SharedMemory::exists(name_); }

bool MappedBlockReader::convert(ByteView, double*) { return false; }

int MappedBlockReader::update(double* gameData) {
  if (!mapped || !convert(viewOf(block_), gameData)) return 0;
  stepMeter(gameData);
  setGroundState(0);
  return finishUpdate(gameData);
}

// --- iRacing SDK ---

IrsdkReader::IrsdkReader(Clock& clock) : GameReader(10, clock, GravityDirection::RemoveFromAcceleration) {}

bool IrsdkReader::probe() { return gameProcessRunning() && SharedMemory::exists(blocks::kIrsdk); }

bool IrsdkReader::startUp() {
  valid = false;
  if (!block_.isOpen()) {
    if (!block_.openExisting(blocks::kIrsdk)) return false;
    lastTick = INT_MAX;
  }
  if (!block_.view()) {
    // The whole block: its header says how large it is.
    if (!block_.mapRead(std::numeric_limits<std::size_t>::max())) return false;
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

bool IrsdkReader::convert(ByteView, double*) { return false; }

int IrsdkReader::update(double* gameData) {
  if (!attached || !convert(viewOf(block_), gameData)) return 0;
  stepMeter(gameData);
  setGroundState(0);
  return finishUpdate(gameData);
}

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
  if (!viewOf(block_).read(0, &marker) || marker == blocks::kRf2NotReady) {
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

bool Rf2Reader::convert(ByteView, double*) { return false; }

int Rf2Reader::update(double* gameData) {
  if (!mapped || !convert(viewOf(block_), gameData)) return 0;
  stepMeter(gameData);
  setGroundState(0);
  return finishUpdate(gameData);
}

// --- SCS plug-in block ---

ScsReader::ScsReader(Clock& clock) : GameReader(17, clock, GravityDirection::AddToAcceleration) {}

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
  if (block_.openExisting(blocks::kScs) && block_.mapRead(blocks::kScsSize)) return 1;
  block_.close();
  return 0;
}

bool ScsReader::convert(ByteView, double*) { return false; }

int ScsReader::update(double* gameData) {
  if (!block_.view() || !convert(viewOf(block_), gameData)) return 0;
  stepMeter(gameData);
  setGroundState(0);
  return finishUpdate(gameData);
}

}  // namespace kinevra
