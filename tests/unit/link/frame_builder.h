#pragma once
// Builds controller frames for the link tests.
#include <cstdint>
#include <vector>

#include "link/crc16.h"
#include "link/serial_frame.h"

namespace kinevra::test {

using Bytes = std::vector<std::uint8_t>;

enum class Trailer { LfCr, Crc };

// A frame of the given kind whose payload bytes count up from seed.
inline Bytes makeFrame(std::uint8_t kind, Trailer trailer, std::uint8_t seed = 0x10) {
  const SerialFrame* f = SerialFrame::byKind(kind);
  Bytes b(f->length);
  b[0] = b[1] = kind;
  for (std::size_t i = 2; i < f->trailerAt(); ++i) b[i] = static_cast<std::uint8_t>(seed + i);
  if (trailer == Trailer::LfCr) {
    b[f->trailerAt()] = kLf;
    b[f->trailerAt() + 1] = kCr;
  } else {
    applyFrameCrc(b.data(), b.size());
  }
  return b;
}

// The frame as the parser queues it: trailer LF CR.
inline Bytes normalForm(Bytes b) {
  b[b.size() - 2] = kLf;
  b[b.size() - 1] = kCr;
  return b;
}

inline void append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }

}  // namespace kinevra::test
