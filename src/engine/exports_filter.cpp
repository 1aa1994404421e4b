// The filter-chain export.
#include "engine/engine_instance.h"
#include "engine/export_guard.h"
#include "kinevra.h"

extern "C" {

KINEVRA_API bool KINEVRA_CALL setcheckFilterstring(int profile, int channel, const char* text) {
  return kinevra::guarded(false, [&] { return kinevra::engine().installFilterString(profile, channel, text); });
}

}  // extern "C"
