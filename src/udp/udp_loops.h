#pragma once
// Start and end of the two UDP loops on the shared link flags. Both loops
// run under linkRunning; linkStopped tells a waiting stop that the UDP link
// has finished, so it is set when the last running loop ends.
#include "link/link_state.h"

namespace kinevra {

inline void enterUdpLoop(LinkState& link) {
  link.udpLoops.fetch_add(1);
  link.linkStopped = false;
  link.linkRunning = true;
  link.interfaceRunning = true;
  link.udpLinkActive = true;
}

inline void leaveUdpLoop(LinkState& link) {
  link.linkRunning = false;
  if (link.udpLoops.fetch_sub(1) == 1) link.linkStopped = true;
}

// A loop that gives up before it ran: the UDP link ends, and counts as
// finished unless the other loop still has to notice.
inline void abandonUdpLoop(LinkState& link) {
  link.linkRunning = false;
  if (link.udpLoops.load() == 0) link.linkStopped = true;
}

}  // namespace kinevra
