#include "link/frame_parser.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "link/crc16.h"
#include "link/serial_frame.h"

namespace kinevra {

namespace {

constexpr std::int32_t kCrcVersion = 328;

// One slider per kind, for the CRC over the bytes before its trailer.
const std::array<Crc16Slider, kSerialFrames.size()>& sliders() {
  static const std::array<Crc16Slider, kSerialFrames.size()> all{
      Crc16Slider(kSerialFrames[0].trailerAt()), Crc16Slider(kSerialFrames[1].trailerAt()),
      Crc16Slider(kSerialFrames[2].trailerAt()), Crc16Slider(kSerialFrames[3].trailerAt())};
  return all;
}
static_assert(kSerialFrames.size() == 4);

// Built while the library loads, not in the first cycle of a real-time loop.
[[maybe_unused]] const auto& slidersAtLoad = sliders();

// The CRC of the last window checked for one kind; a check at the next
// position slides it on instead of starting over.
struct Window {
  std::size_t pos = SIZE_MAX;
  std::uint16_t crc = 0;
};

std::uint16_t windowCrc(Window& w, const Crc16Slider& slider, const std::uint8_t* data, std::size_t pos) {
  const std::size_t n = slider.length();
  if (w.pos != SIZE_MAX && w.pos + 1 == pos)
    w.crc = slider.slide(w.crc, data[pos - 1], data[pos - 1 + n]);
  else if (w.pos != pos)
    w.crc = crc16(data + pos, n);
  w.pos = pos;
  return w.crc;
}

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
  // The position only moves forward, every step takes a whole frame or one
  // byte, and a candidate window's CRC slides on from the position before:
  // garbage, even a run of marker bytes, costs time linear in its length.
  std::size_t pos = 0;
  std::uint8_t normal[kLongestFrame];
  Window windows[kSerialFrames.size()];
  const auto& slide = sliders();
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
      const std::size_t k = static_cast<std::size_t>(kind - kSerialFrames.data());
      const std::uint16_t crc = windowCrc(windows[k], slide[k], data, pos);
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
