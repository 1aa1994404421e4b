#include "sources/shared_memory/acpmf.h"

#include <array>
#include <atomic>
#include <cstring>

#include "sources/block_formats.h"
#include "sources/game_values.h"

namespace kinevra {

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
  // as far as a page the game rewrites in place allows: the game puts the
  // counter after the values, so a copy whose counter is no longer the page's
  // once the copy is done was taken while the page changed. It is taken
  // again (three tries; then the next cycle reads the page).
  std::array<std::uint8_t, acpmf::kFieldsEnd> copy;
  if (!physics.contains(0, copy.size())) return false;
  bool steady = false;
  for (int attempt = 0; attempt < 3 && !steady; ++attempt) {
    std::memcpy(copy.data(), physics.data(), copy.size());
    std::atomic_thread_fence(std::memory_order_acquire);
    steady = std::memcmp(copy.data() + acpmf::kPacketId, physics.data() + acpmf::kPacketId, sizeof(std::int32_t)) == 0;
  }
  if (!steady) return false;
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

}  // namespace kinevra
