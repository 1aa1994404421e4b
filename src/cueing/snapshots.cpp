// Snapshots for the host's live graphs: every motion cycle one calculation
// record (the cue channels after the fade) and one acceleration record (the
// telemetry handed to hosts), kept in short lists that the host drains.
#include <memory>
#include <new>

#include "engine/gamesource.h"

namespace kinevra {

namespace {
// The calculation record takes the air profile's own belt components and
// effects (channels 11..20), which the summed cue array leaves at 0.
constexpr int kFirstAirOnly = 11, kLastAirOnly = 20;
constexpr int kFirstHandedOutValue = 4;

template <std::size_t Width>
const double* takeAll(SnapshotList<Width>& list, std::mutex& lock, int* count) {
  if (!count) return nullptr;  // nothing taken: the records stay for a later call
  *count = 0;
  // Room for a full list, allocated before the lock so that the game-source
  // thread never waits on an allocation.
  std::unique_ptr<double[]> block(new double[kMaxSnapshots * Width]);
  std::size_t n = 0;
  {
    std::lock_guard<std::mutex> hold(lock);
    n = list.drainInto(block.get());
  }
  *count = static_cast<int>(n);
  if (n == 0) return nullptr;
  return block.release();
}
}  // namespace

void Gamesource::recordSnapshots() {
  const TelemetryFrame& f = sources.frame;  // written by this thread: plain reads
  SnapshotList<kChannelCount>::Record calc;
  for (int i = 0; i < kChannelCount; ++i) {
    const double v = (i >= kFirstAirOnly && i <= kLastAirOnly) ? f.airCue[i] : f.cue[i];
    calc[static_cast<std::size_t>(i)] = v;
    storeShared(positionSnapshot[static_cast<std::size_t>(i)], v);
  }
  {
    std::lock_guard<std::mutex> hold(calcLock);
    calcSnapshots.push(calc);
  }
  decltype(accelSnapshots)::Record accel;
  for (std::size_t i = 0; i < accel.size(); ++i) accel[i] = f.gameData[kFirstHandedOutValue + i];
  std::lock_guard<std::mutex> hold(accelLock);
  accelSnapshots.push(accel);
}

const double* Gamesource::takeCalculationSnapshots(int* count) {
  return takeAll(calcSnapshots, calcLock, count);
}

const double* Gamesource::takeAccelerationSnapshots(int* count) {
  return takeAll(accelSnapshots, accelLock, count);
}

void Gamesource::freeSnapshots(const double* snapshots) { delete[] snapshots; }

std::size_t Gamesource::calculationSnapshotCount() {
  std::lock_guard<std::mutex> hold(calcLock);
  return calcSnapshots.size();
}

std::size_t Gamesource::accelerationSnapshotCount() {
  std::lock_guard<std::mutex> hold(accelLock);
  return accelSnapshots.size();
}

}  // namespace kinevra
