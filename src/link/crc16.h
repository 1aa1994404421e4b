#pragma once
// CRC-16/ARC of the controller frames (reflected polynomial 0xA001, initial
// value 0, no final XOR; check value 0xBB3D over "123456789"). Shared by the
// frame parser and both senders.
#include <cstddef>
#include <cstdint>
#include <span>

namespace kinevra {

std::uint16_t crc16(const std::uint8_t* data, std::size_t size);

inline std::uint16_t crc16(std::span<const std::uint8_t> bytes) {
  return crc16(bytes.data(), bytes.size());
}

// The 256-entry table, built on first use by whichever thread comes first;
// later callers only read it.
const std::uint16_t* crc16Table();

}  // namespace kinevra
