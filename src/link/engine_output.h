#pragma once
// The engine's own path to the controller: the 36-byte output message of each
// motion cycle. Unlike a host message it is handed over with its known
// length (its channel bytes may contain LF CR anywhere), and it never piles
// up: each send queue keeps at most one engine message not yet sent, and a
// newer one replaces it. Host messages keep their own order and limits.
#include <cstdint>
#include <span>

#include "link/link_state.h"

namespace kinevra {

// Routes the message like a host message (serial while serial frames are
// valid, UDP while only UDP frames are, both while neither) into the pending
// engine slot of the chosen send queue(s). False, nothing queued, when no
// link thread runs or the message is empty or longer than kMaxMessageBytes.
// Never allocates and never blocks longer than one copy of the message.
bool queueEngineOutput(LinkState& state, std::span<const std::uint8_t> message);

// The sending side: copies the pending engine message of the serial or the
// UDP send queue into out (reserved before any lock, so a caller that keeps
// out does not allocate) and empties that slot; false when none waits. The
// message is as the engine built it; the sender writes the CRC over its last
// two bytes as for a queued host message.
bool takeSerialEngineOutput(LinkState& state, Message& out);
bool takeUdpEngineOutput(LinkState& state, Message& out);

}  // namespace kinevra
