// Datagrams of WRC, BeamNG and Live for Speed of any size and content (the
// first byte picks the game, the rest is the datagram, exactly as large as
// received, so AddressSanitizer sees any read past it): a conversion writes
// numbers or nothing, and its rates stay finite over a sequence.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sources/network/beamng.h"
#include "sources/network/lfs.h"
#include "sources/network/wrc.h"
#include "sources/telemetry_frame.h"

using namespace kinevra;

namespace {

void expectFinite(const double* g) {
  for (int i = 0; i < kGameDataCount; ++i)
    if (!std::isfinite(g[i])) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 8193) return 0;
  static WrcHistory history;
  static double g[kGameDataCount] = {};
  const std::vector<std::uint8_t> datagram(data + 1, data + size);
  const std::uint8_t* d = datagram.empty() ? nullptr : datagram.data();
  switch (data[0] % 4) {
    case 0:
      // The interval the meter measured, from nothing to a long pause.
      g[gd::kIntervalMs] = (data[0] / 4) * 97.0;
      convertWrcDatagram(d, datagram.size(), g, history);
      break;
    case 1: {
      bool converting = (data[0] & 4) != 0;
      convertBeamngDatagram(d, datagram.size(), g, converting);
      break;
    }
    case 2:
      convertLfsPacket(d, datagram.size(), g);
      break;
    default:
      history.hasPrevious = false;  // a new session
      break;
  }
  expectFinite(g);
  return 0;
}
