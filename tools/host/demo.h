#pragma once
// kinevra-host --demo: the whole chain on a machine with no game and no
// rig. gamesim plays a game's scripted drive (Assetto Corsa's unless
// --game names another of gamesim's games), rigsim is the motion
// controller on a pseudo-terminal, and this host runs the library between
// them; at the end it prints what the controller received and draws the
// game's motion against the rig's.
#include "host_session.h"

namespace kinevra_host {

// 0 when the controller received rig messages and none failed its CRC.
int runDemo(HostOptions options);

}  // namespace kinevra_host
