// The engine's exports for the motion profiles: active channels, belt mix,
// input limits and the state of the air/ground cross-fade.
#include <cstring>

#include "engine/engine_instance.h"
#include "engine/export_guard.h"
#include "kinevra.h"

using kinevra::engine;
using kinevra::guarded;

namespace {
// Hosts may hand a bool over as the low byte of an int; any nonzero byte
// means true, whatever the compiler assumes about a bool's representation.
bool byteSet(const bool& flag) {
  unsigned char raw = 0;
  std::memcpy(&raw, &flag, 1);
  return raw != 0;
}
}  // namespace

extern "C" {

KINEVRA_API void KINEVRA_CALL setActiveAxis(int profile, int channel, bool on) {
  guarded([&] { engine().setActiveAxis(profile, channel, byteSet(on)); });
}

KINEVRA_API void KINEVRA_CALL setBelt_Mix(int profile, int index, double weight) {
  guarded([&] { engine().setBeltMix(profile, index, weight); });
}

KINEVRA_API void KINEVRA_CALL SetInputDofLimitValue(unsigned channel, double low, double high) {
  guarded([&] { engine().setInputDofLimit(channel, low, high); });
}

KINEVRA_API double KINEVRA_CALL getProfilAirTransitionStatus(void) {
  return guarded(0.0, [] { return engine().airTransitionStatus(); });
}

KINEVRA_API double KINEVRA_CALL getProfilGrdTransitionStatus(void) {
  return guarded(0.0, [] { return engine().groundTransitionStatus(); });
}

}  // extern "C"
