#include "sources/network/f1.h"

#include "common/byte_view.h"
#include "sources/gravity.h"
#include "sources/game_values.h"

namespace kinevra {

F1Reader::F1Reader(Clock& clock) : UdpReader(7, clock, udpReaderSetup(7)) {}

bool F1Reader::convert(const std::uint8_t* datagram, std::size_t length, double* gameData) {
  const ByteView p(datagram, length);
  const std::uint16_t format = p.get<std::uint16_t>(0);
  if (format != f1::kFormat2023 && format != f1::kFormat2024) return true;
  const auto f = [&](std::size_t offset) { return static_cast<double>(p.get<float>(offset)); };
  GameValues v;
  if (length == f1::kMotionSize) {
    // The player's car; an index past the last car (255 in a spectated
    // session) means car 0.
    std::size_t car = p.get<std::uint8_t>(f1::kPlayerCarIndex);
    if (car >= f1::kCars) car = 0;
    const std::size_t at = f1::kHeaderSize + car * f1::kCarMotionSize;
    v.set(gd::kLateralAccelG, -f(at + 36) * kStandardGravity);
    v.set(gd::kLongitudinalAccelG, f(at + 40) * kStandardGravity);
    v.set(gd::kVerticalAccelG, -f(at + 44) * kStandardGravity);
    v.set(gd::kYawPosition, degrees(f(at + 48)));
    v.set(gd::kPitchPosition, degrees(f(at + 52)));
    v.set(gd::kRollPosition, degrees(f(at + 56)));
  } else if (length == f1::kMotionExSize23 || length == f1::kMotionExSize24) {
    v.set(gd::kPitchSpeed, -degrees(f(f1::kAngularVelocity)));
    v.set(gd::kYawSpeed, -degrees(f(f1::kAngularVelocity + 4)));
    v.set(gd::kRollSpeed, -degrees(f(f1::kAngularVelocity + 8)));
  }
  return v.writeIfFinite(gameData);
}

}  // namespace kinevra
