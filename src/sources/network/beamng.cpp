#include "sources/network/beamng.h"

#include <cstring>

#include "common/byte_view.h"
#include "sources/game_values.h"
#include "sources/gravity.h"

namespace kinevra {

bool convertBeamngDatagram(const std::uint8_t* datagram, std::size_t n, double* g, bool& converting) {
  const ByteView d(datagram, n);
  // A datagram that is not "BNG1" ends the conversions of this read, and one
  // read while they are ended converts nothing; both still count as an
  // update (the game is there). A "BNG1" datagram too short for its fields
  // says nothing.
  if (!d.contains(0, 4) || std::memcmp(d.data(), "BNG1", 4) != 0) {
    converting = false;
    return true;
  }
  if (!converting) return true;
  if (!d.contains(0, beamng::kFieldsEnd)) return false;
  const auto f = [&](std::size_t offset) { return static_cast<double>(d.get<float>(offset)); };
  GameValues v;
  v.set(gd::kLateralSpeed, -f(16));
  v.set(gd::kLongitudinalSpeed, -f(20));
  v.set(gd::kVerticalSpeed, -f(24));
  v.set(gd::kLateralAccelG, -f(28));
  v.set(gd::kLongitudinalAccelG, -f(32));
  v.set(gd::kVerticalAccelG, -f(36));
  v.set(gd::kRollPosition, f(52) * kRadToDeg);
  v.set(gd::kPitchPosition, f(56) * kRadToDeg);
  v.set(gd::kYawPosition, -f(60) * kRadToDeg);
  v.set(gd::kRollSpeed, f(64) * kRadToDeg);
  v.set(gd::kPitchSpeed, f(68) * kRadToDeg);
  v.set(gd::kYawSpeed, -f(72) * kRadToDeg);
  v.set(gd::kRollAccel, f(76) * kRadToDeg);
  v.set(gd::kPitchAccel, f(80) * kRadToDeg);
  v.set(gd::kYawAccel, -f(84) * kRadToDeg);
  return v.commit(g);
}

BeamngReader::BeamngReader(Clock& clock) : UdpReader(12, clock, udpReaderSetup(12)) {}

}  // namespace kinevra
