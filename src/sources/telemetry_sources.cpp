#include "sources/telemetry_sources.h"

#include "platform/console.h"
#include "sources/flightsim_reader.h"
#include "sources/network/beamng.h"
#include "sources/network/condor.h"
#include "sources/network/dcs.h"
#include "sources/network/dirt_rally2.h"
#include "sources/network/f1.h"
#include "sources/network/lfs.h"
#include "sources/network/nolimits2.h"
#include "sources/network/wrc.h"
#include "sources/network/xplane.h"
#include "sources/probes.h"
#include "sources/shared_memory_readers.h"
#include "sources/tcp_reader.h"
#include "sources/udp_reader.h"

namespace kinevra {

namespace {

// Pause between two detection tests.
constexpr int kDetectionPauseMs = 10;

std::unique_ptr<GameReader> makeReader(int id, Clock& clock) {
  switch (id) {
    case 0:
      return std::make_unique<XPlaneReader>(clock);
    case 1:
      return std::make_unique<DcsReader>(clock);
    case 5:
      return std::make_unique<DirtRally2Reader>(clock);
    case 6:
      return std::make_unique<CondorReader>(clock);
    case 7:
      return std::make_unique<F1Reader>(clock);
    case 2:
    case 15:
      return std::make_unique<FlightSimReader>(id, clock);
    case 3:
      return std::make_unique<AcpmfReader>(id, clock, true);
    case 16:
      return std::make_unique<AcpmfReader>(id, clock, false);
    case 4:
      return std::make_unique<R3eReader>(clock);
    case 9:
      return std::make_unique<Pcars2Reader>(clock);
    case 8:
      return std::make_unique<NoLimits2Reader>(clock);
    case 10:
      return std::make_unique<IrsdkReader>(clock);
    case 14:
      return std::make_unique<Rf2Reader>(clock);
    case 17:
      return std::make_unique<ScsReader>(clock);
    case 11:
      return std::make_unique<WrcReader>(clock);
    case 12:
      return std::make_unique<BeamngReader>(clock);
    case 13:
      return std::make_unique<LfsReader>(clock);
    default:
      return std::make_unique<UdpReader>(id, clock, udpReaderSetup(id));
  }
}

}  // namespace

TelemetrySources::TelemetrySources(Clock& clock) : clock_(&clock) {
  for (int id = 0; id < kGameCount; ++id) readers_[static_cast<std::size_t>(id)] = makeReader(id, clock);
}

TelemetrySources::~TelemetrySources() = default;

void TelemetrySources::setReader(int id, std::unique_ptr<GameReader> reader) {
  if (id < 0 || id >= kGameCount || !reader || reader->gameId() != id) return;
  readers_[static_cast<std::size_t>(id)] = std::move(reader);
}

int TelemetrySources::detectGame() {
  bool first = true;
  for (int id : kPriorityOrder) {
    if (!first) clock_->sleepMs(kDetectionPauseMs);
    first = false;
    GameReader& r = reader(id);
    bool found = false;
    try {
      found = r.probe();
    } catch (...) {
      // A test that cannot complete (out of memory, say) finds nothing.
      found = false;
    }
    if (found) {
      if (id == 4) platform::consolePrintf("Found RRRE.exe, mapping shared memory...\n");
      gameFlags[static_cast<std::size_t>(id)].store(1);
      return 1;
    }
    gameFlags[static_cast<std::size_t>(id)].store(0);
    try {
      r.releaseAfterFailedProbe();
    } catch (...) {
    }
  }
  return 0;
}

int TelemetrySources::firstFlagged() const {
  for (int id : kPriorityOrder)
    if (gameFlags[static_cast<std::size_t>(id)].load()) return id;
  return -1;
}

int TelemetrySources::attachGame() {
  const int id = firstFlagged();
  if (id < 0) return 0;
  try {
    return reader(id).attach() == 1 ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int TelemetrySources::readGameData() {
  for (int id : kPriorityOrder) {
    if (!gameFlags[static_cast<std::size_t>(id)].load()) continue;
    try {
      if (reader(id).update(frame.gameData) == 1) return 1;
    } catch (...) {
      // No new data from a reader that failed; the next flagged one may try.
    }
  }
  return 0;
}

int TelemetrySources::detachGame() {
  const int id = firstFlagged();
  if (id < 0) return 0;
  try {
    reader(id).detach();
  } catch (...) {
  }
  gameFlags[static_cast<std::size_t>(id)].store(0);
  return 1;
}

void TelemetrySources::clearGameFlags() {
  for (auto& f : gameFlags) f.store(0);
}

int TelemetrySources::gameId() const { return firstFlagged(); }

int TelemetrySources::groundState() const {
  const int id = firstFlagged();
  return id < 0 ? -1 : readers_[static_cast<std::size_t>(id)]->groundState();
}

}  // namespace kinevra
