// The controller-link exports: the serial bridge and the host's messages.
#include "engine/export_guard.h"
#include "kinevra.h"
#include "link/host_bridge.h"
#include "link/message_routing.h"

using kinevra::guarded;
using kinevra::hostBridge;
using kinevra::linkState;

extern "C" {

KINEVRA_API int KINEVRA_CALL startMMFtoSerial_Thread(void) {
  return guarded(0, [] { return hostBridge().startMMFtoSerial_Thread(); });
}

KINEVRA_API void KINEVRA_CALL stopMMFtoSerial_Thread(void) {
  guarded([] { hostBridge().stopMMFtoSerial_Thread(); });
}

KINEVRA_API int KINEVRA_CALL sendMessagemmf(const unsigned char* message) {
  return guarded(-1, [&] { return kinevra::sendMessagemmf(linkState(), message); });
}

KINEVRA_API int KINEVRA_CALL autoMessagemmf(const unsigned char* message) {
  return guarded(0, [&] { return kinevra::autoMessagemmf(linkState(), message); });
}

KINEVRA_API int KINEVRA_CALL readMessagemmf(unsigned char* buffer) {
  return guarded(0, [&] { return kinevra::readMessagemmf(linkState(), buffer); });
}

KINEVRA_API int KINEVRA_CALL newMessagemmf(void) {
  return guarded(0, [] { return kinevra::newMessagemmf(linkState()); });
}

KINEVRA_API int KINEVRA_CALL isConnected(void) {
  return guarded(0, [] { return kinevra::isConnected(linkState()); });
}

KINEVRA_API int KINEVRA_CALL isInterfaceRunning(void) {
  return guarded(0, [] { return hostBridge().isInterfaceRunning(); });
}

KINEVRA_API int KINEVRA_CALL pauseInterface(void) {
  return guarded(1, [] { return hostBridge().pauseInterface(); });
}

KINEVRA_API int KINEVRA_CALL resumeInterface(void) {
  return guarded(0, [] { return hostBridge().resumeInterface(); });
}

KINEVRA_API int KINEVRA_CALL enableAutoconnect(void) {
  return guarded(1, [] { return hostBridge().enableAutoconnect(); });
}

KINEVRA_API int KINEVRA_CALL disableAutoconnect(void) {
  return guarded(1, [] { return hostBridge().disableAutoconnect(); });
}

KINEVRA_API double KINEVRA_CALL getOutputTimeFrame(void) {
  return guarded(0.0, [] { return hostBridge().getOutputTimeFrame(); });
}

}  // extern "C"
