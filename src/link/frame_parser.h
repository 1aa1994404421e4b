#pragma once
// Cuts controller frames out of received bytes, checks them, brings them to
// normal form (trailer LF CR) and queues them for the host.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "link/message_queue.h"

namespace kinevra {

// Moves every complete frame at the front of buffer into queue (a full queue
// loses the frame, but its bytes are still used up) and drops unusable bytes
// one at a time. Stops when fewer than 8 bytes remain or when the frame at
// the front is still incomplete; what remains is less than one frame.
// An F9 version report of 328 or more sets autoMessageCrc to 1 (looked at
// only while it is 0). Returns true when at least one frame was accepted.
bool extractFrames(std::vector<std::uint8_t>& buffer, MessageQueue& queue,
                   std::atomic<std::int32_t>& autoMessageCrc);

// The same over bytes that stay where they are (a datagram): returns how many
// bytes from the front were used up; accepted tells whether a frame was
// accepted.
std::size_t scanFrames(std::span<const std::uint8_t> input, MessageQueue& queue,
                       std::atomic<std::int32_t>& autoMessageCrc, bool& accepted);

}  // namespace kinevra
