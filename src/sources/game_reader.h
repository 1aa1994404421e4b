#pragma once
// One game's reader: its channel to the game (socket, mapped blocks or client
// connection), its detection test, and the steps every update shares.
#include <atomic>

#include "common/clock.h"
#include "sources/game_table.h"
#include "sources/gravity.h"
#include "sources/interval_meter.h"

namespace kinevra {

class GameReader {
 public:
  GameReader(int gameId, Clock& clock, GravityDirection gravity, bool negateLongitudinal = false);
  virtual ~GameReader() = default;
  GameReader(const GameReader&) = delete;
  GameReader& operator=(const GameReader&) = delete;

  int gameId() const { return gameId_; }
  const GameInfo& info() const { return gameInfo(gameId_); }

  // The game's detection test: true when the game counts as running. What the
  // test opened is released again, except what attach takes over (the
  // flight-simulator connection).
  virtual bool probe() = 0;
  // Releases what a failed detection test may have left in the reader.
  virtual void releaseAfterFailedProbe() {}
  // Opens the channel: 1 when it is open and ready, 0 otherwise.
  virtual int attach() = 0;
  // New telemetry into gameData (47 values): 1 when something new was
  // written, 0 when there was nothing (the record is then left as it was,
  // apart from the interval of readers that time every call).
  virtual int update(double* gameData) = 0;
  // Releases the channel.
  virtual void detach() = 0;

  // 1 while the aircraft stands on the ground; only flight readers set it.
  int groundState() const { return groundState_.load(std::memory_order_relaxed); }
  void setGroundState(int state) { groundState_.store(state, std::memory_order_relaxed); }

  IntervalMeter meter;

 protected:
  // Steps the interval meter and stores the interval (interval_ms).
  void stepMeter(double* gameData);
  // The common tail of an update that wrote new values: completes the
  // accelerations with gravity in this game's direction. Always 1.
  int finishUpdate(double* gameData);
  // Does one of the game's executables run? Tried in the table's order.
  bool gameProcessRunning() const;

 private:
  int gameId_;
  GravityDirection gravity_;
  bool negateLongitudinal_;
  std::atomic<int> groundState_{0};
};

}  // namespace kinevra
