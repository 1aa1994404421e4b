#pragma once
// Shared pieces of the bridge tests: host messages and a link state with a
// chosen link running.
#include <cstdint>
#include <memory>
#include <vector>

#include "link/link_state.h"
#include "link/serial_frame.h"

namespace kinevra::test {

// A 512-byte host buffer holding a message of n bytes (LF CR at its end),
// followed by filler that is not part of it.
inline std::vector<std::uint8_t> hostBuffer(std::size_t n, std::uint8_t kind = 0xF8, std::uint8_t tag = 0) {
  std::vector<std::uint8_t> b(512, 0x55);
  for (std::size_t i = 0; i + 2 < n; ++i) b[i] = static_cast<std::uint8_t>(i < 2 ? kind : tag + i);
  b[n - 2] = kLf;
  b[n - 1] = kCr;
  return b;
}

inline std::unique_ptr<LinkState> runningLink() {
  auto s = std::make_unique<LinkState>();
  s->bridgeRunning = true;
  return s;
}

}  // namespace kinevra::test
