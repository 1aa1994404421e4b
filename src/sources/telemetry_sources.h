#pragma once
// The engine's telemetry sources: the game flags, one reader per game, and
// the telemetry frame they fill. Detection, attach, read and detach all run on
// the game-source thread.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "common/clock.h"
#include "sources/game_reader.h"
#include "sources/game_table.h"
#include "sources/telemetry_frame.h"
#include "sources/telemetry_link.h"

namespace kinevra {

class TelemetrySources final : public TelemetryLink {
 public:
  // The pauses between detection tests are taken on clock, and the readers'
  // interval meters read it.
  explicit TelemetrySources(Clock& clock = systemClock());
  ~TelemetrySources() override;

  // One pass over the games in priority order, 10 ms apart; sets the flag of
  // the first game whose test passes and returns 1, or clears the flags of
  // all and returns 0.
  int detectGame() override;
  int attachGame() override;
  int readGameData() override;
  int detachGame() override;
  void clearGameFlags() override;
  int gameId() const override;
  int groundState() const override;

  GameReader& reader(int id) { return *readers_[static_cast<std::size_t>(id)]; }
  // Puts another reader in a game's place (a reader that knows a data format,
  // a test double); ignored unless it is for that game.
  void setReader(int id, std::unique_ptr<GameReader> reader);

  // One-byte flags indexed by game id; set by detection, cleared by detach.
  // Host threads read them through getGameID and getGameName.
  std::array<std::atomic<std::uint8_t>, kGameCount> gameFlags{};

  TelemetryFrame frame;

 private:
  // The first flagged game in priority order, or -1.
  int firstFlagged() const;

  Clock* clock_;
  std::array<std::unique_ptr<GameReader>, kGameCount> readers_;
};

}  // namespace kinevra
