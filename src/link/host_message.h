#pragma once
// Where messages begin and end at the host's side of the link: the 512-byte
// buffers the host hands to the message exports.
#include <cstddef>
#include <cstdint>

namespace kinevra {

// Size of the host's message buffers and of the shared sections.
inline constexpr std::size_t kHostMessageWindow = 512;

// Length of the host message at the start of buffer: everything up to and
// including the first LF CR pair whose LF lies at 0..510 (2 to 512 bytes), or
// 0 when there is no such pair. Reads at most 512 bytes of buffer, and none
// past the pair.
std::size_t hostMessageLength(const std::uint8_t* buffer);

// How many bytes of a received entry of the given size reach the host's
// buffer: the whole entry when it ends in LF CR and fits the window (every
// frame the parser queues does); otherwise up to and including its first
// LF CR pair within the window; 0 when there is none. Never reads past size.
std::size_t copyOutLength(const std::uint8_t* entry, std::size_t size);

}  // namespace kinevra
