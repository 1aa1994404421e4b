#pragma once
// The one process-wide engine, built on first use and destroyed at exit.
#include "engine/gamesource.h"

namespace kinevra {

Gamesource& engine();

}  // namespace kinevra
