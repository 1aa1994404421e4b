#include "engine/engine_instance.h"

namespace kinevra {

Gamesource& engine() {
  // Concurrent first callers wait until one of them has built it.
  static Gamesource instance;
  return instance;
}

}  // namespace kinevra
