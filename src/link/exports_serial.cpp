// The controller-port export.
#include "engine/export_guard.h"
#include "kinevra.h"
#include "link/serial_discovery.h"

extern "C" {

KINEVRA_API int KINEVRA_CALL setStandartPort(const char* port) {
  return kinevra::guarded(0, [&] { return kinevra::serialDiscovery().setStandartPort(port); });
}

}  // extern "C"
