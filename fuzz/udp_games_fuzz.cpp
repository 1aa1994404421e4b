// Datagrams of any length and content through the UDP games' conversions
// (X-Plane, DCS, DiRT Rally 2.0, Condor, F1), the first byte choosing the
// game: each reads only inside the datagram (a buffer exactly as large, so
// AddressSanitizer sees any read past it), ends, and leaves every GameData
// value a finite number, whatever the datagram holds: a value that is not a
// number, or that a conversion would overflow, is refused, never written.
// Each reader keeps its state from one input to the next, as it does from one
// datagram to the next.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "common/clock.h"
#include "sources/gravity.h"
#include "sources/network/condor.h"
#include "sources/network/dcs.h"
#include "sources/network/dirt_rally2.h"
#include "sources/network/f1.h"
#include "sources/network/xplane.h"
#include "sources/telemetry_frame.h"

using namespace kinevra;

namespace {

struct Readers {
  XPlaneReader xplane{systemClock()};
  DcsReader dcs{systemClock()};
  DirtRally2Reader dirt{systemClock()};
  CondorReader condor{systemClock()};
  F1Reader f1{systemClock()};
  double gameData[kGameDataCount] = {};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Readers* readers = new Readers;
  if (size == 0 || size > 8193) return 0;
  const std::vector<std::uint8_t> datagram(data + 1, data + size);
  double* g = readers->gameData;
  constexpr auto kAdd = GravityDirection::AddToAcceleration;
  constexpr auto kRemove = GravityDirection::RemoveFromAcceleration;
  bool taken = false;
  GravityDirection direction = kRemove;
  bool negateLongitudinal = false;
  switch (data[0] % 5) {
    case 0:
      taken = readers->xplane.convert(datagram.data(), datagram.size(), g);
      break;
    case 1:
      taken = readers->dcs.convert(datagram.data(), datagram.size(), g);
      break;
    case 2:
      taken = readers->dirt.convert(datagram.data(), datagram.size(), g);
      direction = kAdd;
      negateLongitudinal = true;
      break;
    case 3:
      taken = readers->condor.convert(datagram.data(), datagram.size(), g);
      direction = kAdd;
      break;
    default:
      taken = readers->f1.convert(datagram.data(), datagram.size(), g);
      break;
  }
  // What an update does after a datagram was taken.
  if (taken) splitGravity(g, direction, negateLongitudinal);
  for (int i = 0; i < kGameDataCount; ++i)
    if (!std::isfinite(g[i])) std::abort();
  const int ground = readers->xplane.groundState();
  if (ground != 0 && ground != 1) std::abort();
  // Text readers: the game's own keys keep finite values too.
  for (auto key : condor::kKeys)
    if (!std::isfinite(readers->condor.value(key))) std::abort();
  return 0;
}
