#include "link/crc16.h"

#include <array>

namespace kinevra {

namespace {

std::array<std::uint16_t, 256> buildTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    std::uint16_t acc = 0;
    std::uint16_t c = static_cast<std::uint16_t>(i);
    for (int bit = 0; bit < 8; ++bit) {
      const bool out = ((acc ^ c) & 1u) != 0;
      acc = static_cast<std::uint16_t>(acc >> 1);
      if (out) acc ^= 0xA001;
      c = static_cast<std::uint16_t>(c >> 1);
    }
    table[i] = acc;
  }
  return table;
}

}  // namespace

const std::uint16_t* crc16Table() {
  // The guard of a function-local static is the "built" flag: concurrent
  // first callers wait for one builder, and nobody reads a half-built table.
  static const std::array<std::uint16_t, 256> table = buildTable();
  return table.data();
}

std::uint16_t crc16(const std::uint8_t* data, std::size_t size) {
  const std::uint16_t* table = crc16Table();
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < size; ++i)
    crc = static_cast<std::uint16_t>((crc >> 8) ^ table[(crc ^ data[i]) & 0xFF]);
  return crc;
}

}  // namespace kinevra
