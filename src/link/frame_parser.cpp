#include "link/frame_parser.h"

#include <algorithm>

#include "link/crc16.h"
#include "link/serial_frame.h"

namespace kinevra {

namespace {

constexpr std::int32_t kCrcVersion = 328;

// A version report: F9 frame, byte 2 = 2, version byte 5 * 100 + byte 4 with
// both bytes signed.
void examineVersionReport(const std::uint8_t* f, std::atomic<std::int32_t>& autoMessageCrc) {
  if (f[2] != 2 || autoMessageCrc.load(std::memory_order_relaxed) != 0) return;
  const int version = static_cast<std::int8_t>(f[5]) * 100 + static_cast<std::int8_t>(f[4]);
  if (version >= kCrcVersion) autoMessageCrc.store(1, std::memory_order_relaxed);
}

}  // namespace

std::size_t scanFrames(std::span<const std::uint8_t> input, MessageQueue& queue,
                       std::atomic<std::int32_t>& autoMessageCrc, bool& accepted) {
  accepted = false;
  const std::uint8_t* const data = input.data();
  const std::size_t size = input.size();
  // The position only moves forward and every step either takes a whole frame
  // or one byte, so garbage costs linear time and nothing is ever re-read.
  std::size_t pos = 0;
  std::uint8_t normal[kLongestFrame];
  while (size - pos >= kShortestFrame) {
    const std::uint8_t* at = data + pos;
    const SerialFrame* kind = at[0] == at[1] ? SerialFrame::byKind(at[0]) : nullptr;
    if (kind == nullptr) {
      ++pos;
      continue;
    }
    if (size - pos < kind->length) break;  // wait for the rest of the frame
    const std::size_t t = kind->trailerAt();
    const std::uint8_t* frame = at;
    bool ok = false;
    if (kind->acceptsLfCr && at[t] == kLf && at[t + 1] == kCr) {
      ok = true;
    } else {
      const std::uint16_t crc = crc16(at, t);
      if (at[t] == (crc & 0xFF) && at[t + 1] == (crc >> 8)) {
        // Normal form: the CRC trailer becomes LF CR.
        std::copy(at, at + t, normal);
        normal[t] = kLf;
        normal[t + 1] = kCr;
        frame = normal;
        ok = true;
      }
    }
    if (!ok) {
      ++pos;
      continue;
    }
    if (kind->kind == 0xF9) examineVersionReport(frame, autoMessageCrc);
    queue.push(frame, kind->length);  // a full queue loses it; the bytes are used up regardless
    accepted = true;
    pos += kind->length;
  }
  return pos;
}

bool extractFrames(std::vector<std::uint8_t>& buffer, MessageQueue& queue,
                   std::atomic<std::int32_t>& autoMessageCrc) {
  bool accepted = false;
  const std::size_t used = scanFrames(buffer, queue, autoMessageCrc, accepted);
  // One erase per call: removing byte by byte would make resynchronisation
  // over garbage quadratic.
  buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(used));
  return accepted;
}

}  // namespace kinevra
