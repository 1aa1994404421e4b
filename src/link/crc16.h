#pragma once
// CRC-16/ARC of the controller frames (reflected polynomial 0xA001, initial
// value 0, no final XOR; check value 0xBB3D over "123456789"). Shared by the
// frame parser and both senders.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kinevra {

std::uint16_t crc16(const std::uint8_t* data, std::size_t size);

inline std::uint16_t crc16(std::span<const std::uint8_t> bytes) {
  return crc16(bytes.data(), bytes.size());
}

// The 256-entry table (crc = (crc >> 8) ^ table[(crc ^ byte) & 0xFF]), built
// on first use by whichever thread comes first, together with the seven
// derived tables crc16 uses to take eight bytes per step; later callers only
// read them.
const std::uint16_t* crc16Table();

// Moves the CRC of a fixed-length window one byte on: from the CRC of bytes
// [0, length) to that of [1, length + 1), in constant time. (With no initial
// value and no final XOR the CRC is linear, so the leaving byte's share can
// be taken out again.) The parser's byte-by-byte resynchronisation over
// runs of marker bytes would otherwise recompute up to 463 bytes per step.
class Crc16Slider {
 public:
  explicit Crc16Slider(std::size_t length);

  std::size_t length() const { return length_; }
  std::uint16_t slide(std::uint16_t crc, std::uint8_t leaving, std::uint8_t entering) const {
    const unsigned c = (crc >> 8) ^ table_[(crc ^ entering) & 0xFFu];
    return static_cast<std::uint16_t>(c ^ leavingShare_[leaving]);
  }

 private:
  std::size_t length_;
  const std::uint16_t* table_;
  std::array<std::uint16_t, 256> leavingShare_;  // CRC of (byte, then length zeros)
};

}  // namespace kinevra
