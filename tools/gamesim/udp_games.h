#pragma once
// gamesim's games that send their telemetry as UDP datagrams to a local port:
// X-Plane, DCS, DiRT Rally 2.0, Condor 2 and F1 23/24.
#include <memory>

#include "games.h"

namespace gamesim {

// The game of options.name (xplane, dcs, dirt, condor, f1), or null.
std::unique_ptr<Game> makeUdpGame(const GameOptions& options);

}  // namespace gamesim
