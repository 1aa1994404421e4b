#include "link/serial_frame.h"

#include "link/crc16.h"

namespace kinevra {

const SerialFrame* SerialFrame::byKind(std::uint8_t kind) {
  for (const SerialFrame& f : kSerialFrames)
    if (f.kind == kind) return &f;
  return nullptr;
}

void applyFrameCrc(std::uint8_t* message, std::size_t size) {
  if (size < 2) return;
  const std::uint16_t crc = crc16(message, size - 2);
  message[size - 2] = static_cast<std::uint8_t>(crc & 0xFF);
  message[size - 1] = static_cast<std::uint8_t>(crc >> 8);
}

}  // namespace kinevra
