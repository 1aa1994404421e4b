#include "sources/network/dirt_rally2.h"

#include "common/byte_view.h"
#include "sources/gravity.h"
#include "sources/game_values.h"

namespace kinevra {

DirtRally2Reader::DirtRally2Reader(Clock& clock) : UdpReader(5, clock, udpReaderSetup(5)) {}

bool DirtRally2Reader::convert(const std::uint8_t* datagram, std::size_t length, double* gameData) {
  if (length != dirt::kPacketSize) return true;
  const ByteView p(datagram, length);
  const auto f = [&](std::size_t offset) { return static_cast<double>(p.get<float>(offset)); };
  GameValues v;
  v.set(gd::kLateralAccel, -f(24) * kStandardGravity);
  v.set(gd::kLongitudinalAccel, f(28) * kStandardGravity);
  v.set(gd::kVerticalAccel, f(32) * kStandardGravity);
  v.set(gd::kPitchPosition, degrees(f(48)));
  v.set(gd::kPitchSpeed, degrees(f(52)));
  v.set(gd::kPitchAccel, degrees(f(56)));
  v.set(gd::kRollPosition, degrees(f(60)));
  v.set(gd::kRollSpeed, degrees(f(64)));
  v.set(gd::kRollAccel, degrees(f(68)));
  v.set(gd::kYawPosition, degrees(f(84)) - 90.0);
  v.set(gd::kYawSpeed, degrees(f(88)));
  v.set(gd::kYawAccel, degrees(f(92)));
  v.set(gd::kLateralSpeed, 0.0);
  v.set(gd::kLongitudinalSpeed, 0.0);
  v.set(gd::kVerticalSpeed, 0.0);
  v.set(gd::kGameTimeStep, 0.0);
  v.set(gd::kGameTime, 0.0);
  return v.writeIfFinite(gameData);
}

}  // namespace kinevra
