#pragma once
// The controller's frames: fixed-length byte strings whose first two bytes are
// equal and name the kind, and whose last two bytes are either LF CR or the
// CRC-16 of everything before them (low byte first).
#include <array>
#include <cstddef>
#include <cstdint>

namespace kinevra {

struct SerialFrame {
  std::uint8_t kind;       // bytes 0 and 1
  std::uint16_t length;    // total length, trailer included
  bool acceptsLfCr;        // an LF CR trailer is accepted without a CRC

  std::size_t trailerAt() const { return length - 2u; }

  // The kind named by a marker byte, or null when the byte names none.
  static const SerialFrame* byKind(std::uint8_t kind);
};

inline constexpr std::array<SerialFrame, 4> kSerialFrames{{
    {0xF9, 8, true},    // version report and short status
    {0xF8, 38, true},
    {0xFA, 465, true},
    {0xFB, 78, false},  // accepted only by its CRC
}};

inline constexpr std::size_t kShortestFrame = 8;
inline constexpr std::size_t kLongestFrame = 465;

inline constexpr std::uint8_t kLf = 0x0A;
inline constexpr std::uint8_t kCr = 0x0D;

// Sender rule: for a message of n >= 2 bytes, writes the CRC-16 of its first
// n - 2 bytes over its last two (low byte first), replacing the LF CR.
// Shorter messages are left alone.
void applyFrameCrc(std::uint8_t* message, std::size_t size);

}  // namespace kinevra
