#include "sources/telemetry_sources.h"

namespace kinevra {

TelemetrySources::TelemetrySources() = default;
TelemetrySources::~TelemetrySources() = default;

// No game readers are registered yet: detection finds nothing, so nothing is
// ever attached, read or detached.
int TelemetrySources::detectGame() { return 0; }
int TelemetrySources::attachGame() { return 0; }
int TelemetrySources::readGameData() { return 0; }

int TelemetrySources::detachGame() {
  for (int id : kPriorityOrder) {
    if (gameFlags[id].load()) {
      gameFlags[id].store(0);
      return 1;
    }
  }
  return 0;
}

void TelemetrySources::clearGameFlags() {
  for (auto& f : gameFlags) f.store(0);
}

int TelemetrySources::gameId() const {
  for (int id : kPriorityOrder)
    if (gameFlags[id].load()) return id;
  return -1;
}

// No reader reports a ground state yet: every flagged game counts as airborne.
int TelemetrySources::groundState() const { return gameId() < 0 ? -1 : 0; }

}  // namespace kinevra
