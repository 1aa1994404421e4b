#pragma once
// What the game-source thread asks of the telemetry side: detection, attach,
// read and detach. The game registry provides it; tests substitute scripted
// games.

namespace kinevra {

class TelemetryLink {
 public:
  virtual ~TelemetryLink() = default;
  // One detection pass; nonzero when a game's flag was set.
  virtual int detectGame() = 0;
  // Opens the flagged game's channel; nonzero when it is open and ready.
  virtual int attachGame() = 0;
  // 1 when a new telemetry update was stored in GameData, anything else otherwise.
  virtual int readGameData() = 0;
  // Closes the attached game's channel and clears its flag; 1 when one was detached.
  virtual int detachGame() = 0;
  // Clears all game flags.
  virtual void clearGameFlags() = 0;
  // Id of the attached game (first set flag in priority order), -1 for none.
  virtual int gameId() const = 0;
  // Ground state of the first flagged game's reader: 1 on the ground, 0 not;
  // -1 when no game flag is set.
  virtual int groundState() const = 0;
};

}  // namespace kinevra
