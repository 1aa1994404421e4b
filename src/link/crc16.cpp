#include "link/crc16.h"

namespace kinevra {

namespace {

// tables[0] is the CRC table proper. tables[k][i] is the CRC of byte i
// followed by k zero bytes, which lets the loop below take eight bytes per
// step with the same result as eight single-byte steps: the single-byte
// recurrence is bound by one table load per byte (about 400 MB/s on a
// 2 GHz core), eight independent loads per step are not.
using Tables = std::array<std::array<std::uint16_t, 256>, 8>;

Tables buildTables() {
  Tables t{};
  for (unsigned i = 0; i < 256; ++i) {
    std::uint16_t acc = 0;
    std::uint16_t c = static_cast<std::uint16_t>(i);
    for (int bit = 0; bit < 8; ++bit) {
      const bool out = ((acc ^ c) & 1u) != 0;
      acc = static_cast<std::uint16_t>(acc >> 1);
      if (out) acc ^= 0xA001;
      c = static_cast<std::uint16_t>(c >> 1);
    }
    t[0][i] = acc;
  }
  for (std::size_t k = 1; k < t.size(); ++k)
    for (unsigned i = 0; i < 256; ++i)
      t[k][i] = static_cast<std::uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFFu]);
  return t;
}

const Tables& tables() {
  // The guard of a function-local static is the "built" flag: concurrent
  // first callers wait for one builder, and nobody reads a half-built table.
  static const Tables t = buildTables();
  return t;
}

}  // namespace

const std::uint16_t* crc16Table() { return tables()[0].data(); }

std::uint16_t crc16(const std::uint8_t* data, std::size_t size) {
  const Tables& t = tables();
  // Kept in a full register: 16-bit arithmetic costs extra moves per byte.
  unsigned crc = 0;
  std::size_t i = 0;
  for (; size - i >= 8; i += 8) {
    const std::uint8_t* b = data + i;
    const unsigned x = crc ^ (b[0] | (static_cast<unsigned>(b[1]) << 8));
    crc = t[7][x & 0xFFu] ^ t[6][x >> 8] ^ t[5][b[2]] ^ t[4][b[3]] ^ t[3][b[4]] ^ t[2][b[5]] ^
          t[1][b[6]] ^ t[0][b[7]];
  }
  for (; i < size; ++i) crc = (crc >> 8) ^ t[0][(crc ^ data[i]) & 0xFFu];
  return static_cast<std::uint16_t>(crc);
}

Crc16Slider::Crc16Slider(std::size_t length) : length_(length), table_(crc16Table()) {
  for (unsigned b = 0; b < 256; ++b) {
    unsigned crc = table_[b];  // the byte itself, from 0
    for (std::size_t i = 0; i < length; ++i) crc = (crc >> 8) ^ table_[crc & 0xFFu];
    leavingShare_[b] = static_cast<std::uint16_t>(crc);
  }
}

}  // namespace kinevra
