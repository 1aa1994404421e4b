#pragma once
// gamesim's games: each publishes the scripted drive (drive.h) in one game's
// shared-memory block, in the game's layout, units and signs, and updates it
// as the game does (packet counters, ticks, simulation time).
#include <cstddef>
#include <memory>
#include <string>

#include "drive.h"

namespace gamesim {

struct GameOptions {
  std::string name;               // ac, acevo, r3e, pcars2, iracing, rf2, scs, wrc, beamng, lfs, nolimits2
  std::size_t graphicsSize = 1320;  // ac: the graphics page's size
  int r3eMajor = 3, r3eMinor = 5;   // r3e: the block's version
  bool r3eInMenus = false;          // r3e: the game sits in its menus
  std::size_t pcars2Size = 20700;   // pcars2: the block's size (Project CARS 2: 20576)
  bool rf2NotReady = false;         // rf2: the plug-in never fills its block
  int f1Format = 2024;              // f1: the packet format (2023 or 2024)
};

class Game {
 public:
  virtual ~Game() = default;
  // Creates the game's blocks; false (with a reason) when that fails.
  virtual bool open(std::string* error) = 0;
  // One update of the blocks: the car's motion at simulation time `time`.
  virtual void publish(const Motion& m, double time) = 0;
  // One update at drive time driveTime (held by --at) and simulation time
  // simulationTime; a game with a script of its own (a flight) plays that.
  virtual void publishAt(double driveTime, double simulationTime) { publish(driveAt(driveTime), simulationTime); }
  // What the game does to its blocks as it ends.
  virtual void close() {}
  // How often the game updates its blocks, per second.
  virtual double rate() const = 0;
  // Called on every turn of gamesim's loop (about once a millisecond): a game
  // that serves requests answers them here.
  virtual void serve() {}
  // false for a game that flies a script of its own whatever it is given
  // (the flight simulators): it cannot play a recorded drive.
  virtual bool playsMotion() const { return true; }
  // The executable name the game runs under, empty when the library needs none.
  virtual std::string executable() const { return {}; }
  // True when an update is the drive's motion at its drive time, published
  // at once (what --stamps notes); false for a game that flies a script of
  // its own or answers requests.
  virtual bool publishesTheDrive() const { return true; }
};

// The game of that name, or null.
std::unique_ptr<Game> makeGame(const GameOptions& options);

}  // namespace gamesim
