#pragma once
// The host's message calls on a link state: which send queue a message goes
// to (by which link delivers valid frames), the automatic messages, and which
// receive queue the host reads from. The exports apply them to linkState().
#include <cstdint>

#include "link/link_state.h"

namespace kinevra {

// Queues the host message at message (bytes up to and including the first
// LF CR within 512): serial while serial frames are valid (UDP when that
// queue is full and UDP frames are valid too), UDP while only UDP frames are
// valid, both queues while neither is. 1 queued, -1 refused (no link loop
// runs, null, no message, or the chosen queue is full).
int sendMessagemmf(LinkState& state, const std::uint8_t* message);
// Queues a state message for the automatic repetition: 1 queued; 0 when the
// queue is full, and 0 with "no valid data" printed when no link loop runs,
// the pointer is null or there is no message.
int autoMessagemmf(LinkState& state, const std::uint8_t* message);
// Copies the oldest received frame of the link that delivers valid frames
// (serial first) into buffer (at least 512 bytes); the bytes written, 0 when
// none (or buffer is null).
int readMessagemmf(LinkState& state, std::uint8_t* buffer);
int newMessagemmf(LinkState& state);
int isConnected(LinkState& state);

}  // namespace kinevra
