// The engine's exported functions. Each builds the engine on first use, never
// lets an exception out, and ignores null pointers.
#include <cstring>

#include "engine/channel_names.h"
#include "engine/engine_instance.h"
#include "engine/export_guard.h"
#include "kinevra.h"

using kinevra::engine;
using kinevra::guarded;

namespace {
constexpr char kNoGame[] = "No Game online";
// Hosts pass a buffer of at least this many bytes to getGameName.
constexpr std::size_t kGameNameBuffer = 21;
constexpr int kHandedOutValues = 43;
constexpr int kFirstHandedOutValue = 4;
}  // namespace

extern "C" {

KINEVRA_API void KINEVRA_CALL startGamesource_Thread(void) {
  guarded([] { engine().startThread(); });
}

KINEVRA_API void KINEVRA_CALL stopGamesource_Thread(void) {
  guarded([] { engine().stopGameSource(); });
}

KINEVRA_API void KINEVRA_CALL setMotionsystemready(int ready) {
  guarded([&] { engine().setMotionSystemReady(ready); });
}

KINEVRA_API void KINEVRA_CALL setTimerPrecision(int precise) {
  guarded([&] { engine().timer.precise.store(precise, std::memory_order_relaxed); });
}

KINEVRA_API int KINEVRA_CALL getGameID(void) {
  return guarded(-1, [] { return engine().link().gameId(); });
}

KINEVRA_API void KINEVRA_CALL getGameName(char* name) {
  guarded([&] {
    if (!name) return;
    const int id = engine().link().gameId();
    const char* text = kinevra::gameDisplayName(id);
    if (!text) text = kNoGame;
    std::size_t n = std::strlen(text);
    if (n > kGameNameBuffer - 1) n = kGameNameBuffer - 1;
    std::memcpy(name, text, n);
    name[n] = '\0';
  });
}

KINEVRA_API double KINEVRA_CALL getGameTimeFrame(void) {
  return guarded(0.0, [] { return kinevra::loadShared(engine().sources.frame.gameData[0]); });
}

KINEVRA_API double KINEVRA_CALL getMotionDataTimeFrame(void) {
  return guarded(0.0, [] { return engine().timer.lastCycleMs(); });
}

KINEVRA_API int KINEVRA_CALL getGameDataCount(void) {
  return guarded(44, [] {
    engine();
    return 44;
  });
}

KINEVRA_API void KINEVRA_CALL getGameData(const double** values, int* count) {
  guarded([&] {
    auto& e = engine();
    if (values) *values = &e.sources.frame.gameData[kFirstHandedOutValue];
    if (count) *count = kHandedOutValues;
  });
}

KINEVRA_API void KINEVRA_CALL getGameDataNames(const char** firstName, int* count) {
  guarded([&] {
    engine();
    if (firstName) *firstName = kinevra::kChannelNameText;
    if (count) *count = kHandedOutValues;
  });
}

KINEVRA_API void KINEVRA_CALL getMotionCueData(int which, const double** values, int* count) {
  guarded([&] {
    auto& f = engine().sources.frame;
    const double* array = nullptr;
    switch (which) {
      case 0: array = f.airCue; break;
      case 1: array = f.groundCue; break;
      case 2: array = f.cue; break;
      case 3: array = f.heldCue; break;
      default: return;
    }
    if (values) *values = array;
    if (count) *count = kinevra::kChannelCount;
  });
}

KINEVRA_API int KINEVRA_CALL getactiveProfil(void) {
  return guarded(-1, [] { return engine().activeProfile.load(std::memory_order_relaxed); });
}

KINEVRA_API double KINEVRA_CALL getTransitionStatus(void) {
  return guarded(0.0, [] { return engine().transitionStatus(); });
}

}  // extern "C"
