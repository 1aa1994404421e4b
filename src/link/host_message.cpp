#include "link/host_message.h"

#include "link/serial_frame.h"

namespace kinevra {

std::size_t hostMessageLength(const std::uint8_t* buffer) {
  // The CR is read only after an LF in range, so nothing beyond the pair and
  // nothing beyond byte 511 is touched.
  for (std::size_t i = 0; i + 1 < kHostMessageWindow; ++i)
    if (buffer[i] == kLf && buffer[i + 1] == kCr) return i + 2;
  return 0;
}

std::size_t copyOutLength(const std::uint8_t* entry, std::size_t size) {
  // A checked frame is delivered whole: its payload may hold an LF CR pair
  // of its own, and cutting there would hand the host a truncated frame.
  if (size >= 2 && size <= kHostMessageWindow && entry[size - 2] == kLf && entry[size - 1] == kCr)
    return size;
  const std::size_t limit = size < kHostMessageWindow ? size : kHostMessageWindow;
  for (std::size_t i = 0; i + 1 < limit; ++i)
    if (entry[i] == kLf && entry[i + 1] == kCr) return i + 2;
  return 0;
}

}  // namespace kinevra
