// Stages of the motion cycle that turn cues into rig output. Until the output
// stage is part of the library, a cycle records and sends nothing.
#include "engine/gamesource.h"

namespace kinevra {

void Gamesource::recordSnapshots() {}
void Gamesource::sendOutput() {}

}  // namespace kinevra
