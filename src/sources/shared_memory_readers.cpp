#include "sources/shared_memory_readers.h"

#include <array>
#include <cstring>
#include <ctime>

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

namespace {

// One copy of [begin, end) of a block, taken at once; false when the block
// does not hold it.
template <std::size_t N>
bool copyFields(ByteView block, std::size_t begin, std::array<std::uint8_t, N>& copy) {
  if (!block.contains(begin, N)) return false;
  std::memcpy(copy.data(), block.data() + begin, N);
  return true;
}

bool flagSet(ByteView block, std::size_t offset) {
  std::int32_t v = 0;
  return block.read(offset, &v) && v == 1;
}

}  // namespace

R3eReader::R3eReader(Clock& clock) : MappedBlockReader(4, clock, blocks::kR3e, blocks::kWholeBlock) {}

bool R3eReader::convert(ByteView block, double* gameData) {
  std::int32_t major = 0, minor = 0;
  if (!block.read(r3e::kVersionMajor, &major) || !block.read(r3e::kVersionMinor, &minor)) {
    ready = 0;
    return false;
  }
  const R3eLayout layout = r3eLayout(major, minor);
  if (!layout.supported) {
    // Another layout would be read as garbage motion: read nothing.
    if (major != reportedMajor_ || minor != reportedMinor_) {
      consolePrintf("Unsupported $R3E version %d.%d\n", major, minor);
      reportedMajor_ = major;
      reportedMinor_ = minor;
    }
    ready = 0;
    return false;
  }
  const std::size_t flags = layout.flagShift;
  if (!block.contains(0, r3e::kGameInReplay + flags + 4) || flagSet(block, r3e::kGamePaused + flags)) {
    ready = 0;
    return false;
  }
  ready = 1;
  if (flagSet(block, r3e::kGameInMenus + flags) || flagSet(block, r3e::kGameInReplay + flags)) {
    ready = 0;
    return false;
  }
  if (!blockStillExists()) {
    ready = 0;
    return false;
  }
  std::array<std::uint8_t, r3e::kPlayerFieldsEnd - r3e::kPlayerFieldsBegin> player;
  if (!copyFields(block, r3e::kPlayerFieldsBegin + layout.playerShift, player)) return false;
  GameValues values;
  return convertR3ePlayer(ByteView(player.data(), player.size()), &values) && values.commit(gameData);
}

Pcars2Reader::Pcars2Reader(Clock& clock) : MappedBlockReader(9, clock, blocks::kPcars2, blocks::kWholeBlock) {}

bool Pcars2Reader::convert(ByteView block, double* gameData) {
  std::int32_t state = 0;
  if (!block.read(pcars2::kGameState, &state) || state != pcars2::kInGamePlaying) {
    ready = 0;
    return false;
  }
  ready = 1;
  if (!blockStillExists()) {
    ready = 0;
    return false;
  }
  std::array<std::uint8_t, pcars2::kFieldsEnd - pcars2::kFieldsBegin> fields;
  if (!copyFields(block, pcars2::kFieldsBegin, fields)) return false;
  GameValues values;
  return convertPcars2(ByteView(fields.data(), fields.size()), &values) && values.commit(gameData);
}

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
