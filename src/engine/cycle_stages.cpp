// Stages of the motion cycle that turn telemetry into rig output. Until the
// cue computation and the output stage are part of the library, a cycle
// computes nothing and sends nothing.
#include "engine/gamesource.h"

namespace kinevra {

void Gamesource::selectProfile() {}
void Gamesource::recordSnapshots() {}
void Gamesource::sendOutput() {}

}  // namespace kinevra
