// The UDP link's exports: the listener and the multicast sender, each run on
// the host thread that calls it, and their settings.
#include "engine/export_guard.h"
#include "kinevra.h"
#include "link/link_state.h"
#include "udp/multicast_address.h"
#include "udp/multicast_sender.h"
#include "udp/udp_listener.h"

using kinevra::guarded;
using kinevra::linkState;

extern "C" {

KINEVRA_API void KINEVRA_CALL setUDPport(unsigned short port) {
  guarded([&] {
    linkState().listenPort = port;
    kinevra::ErrorLogger logger;
    logger.logInfo("UDP Controller Thread : Set UdpPort : " + std::to_string(port));
  });
}

KINEVRA_API void KINEVRA_CALL startUPDListenThread(void) {
  guarded([] {
    kinevra::UdpListener listener(linkState(), kinevra::systemClock());
    listener.run();
  });
}

KINEVRA_API void KINEVRA_CALL setMulticastAddr(const char* address, unsigned short port) {
  guarded([&] { kinevra::setMulticastAddr(linkState(), address, port); });
}

KINEVRA_API void KINEVRA_CALL startUPDMulticastSenderThread(void) {
  guarded([] {
    kinevra::MulticastSender sender(linkState(), kinevra::systemClock());
    sender.run();
  });
}

}  // extern "C"
