#include "sources/network/xplane.h"

#include "common/byte_view.h"
#include "sources/gravity.h"
#include "sources/game_values.h"

namespace kinevra {

namespace {
constexpr int kSpeed = 32;
constexpr int kFrontLeft = 26, kFrontRight = 27, kRearLeft = 28, kRearRight = 29;
}  // namespace

XPlaneReader::XPlaneReader(Clock& clock) : UdpReader(0, clock, udpReaderSetup(0)) {}

bool XPlaneReader::convert(const std::uint8_t* datagram, std::size_t length, double* gameData) {
  const ByteView packet(datagram, length);
  if (length < xplane::kHeaderSize) return false;
  const std::size_t records = (length - xplane::kHeaderSize) / xplane::kRecordSize;
  GameValues v;
  int ground = -1;
  for (std::size_t k = 0; k < records; ++k) {
    const std::size_t at = xplane::kHeaderSize + k * xplane::kRecordSize;
    const int index = packet.get<std::uint8_t>(at);
    float f[8];
    for (std::size_t i = 0; i < 8; ++i) f[i] = packet.get<float>(at + 4 + 4 * i);
    switch (index) {
      case xplane::kSpeeds:
        v.set(kSpeed, f[7]);
        break;
      case xplane::kAttitude:
      case xplane::kAttitudeAlt:
        v.set(gd::kPitchPosition, f[0]);
        v.set(gd::kRollPosition, f[1]);
        v.set(gd::kYawPosition, -static_cast<double>(f[2]));
        break;
      case xplane::kGear:
        v.set(kFrontLeft, f[0]);
        v.set(kFrontRight, f[0]);
        v.set(kRearRight, f[1]);
        v.set(kRearLeft, f[2]);
        ground = f[0] > 0.0f && f[1] > 0.0f && f[2] > 0.0f ? 1 : 0;
        break;
      case xplane::kMotion:
        v.set(gd::kLateralAccelG, f[0]);
        v.set(gd::kVerticalAccelG, static_cast<double>(f[1]) / 10.0);
        v.set(gd::kLongitudinalAccelG, -static_cast<double>(f[2]));
        v.set(gd::kRollSpeed, f[3]);
        v.set(gd::kPitchSpeed, f[4]);
        v.set(gd::kYawSpeed, -static_cast<double>(f[5]));
        break;
      default:
        break;
    }
  }
  if (!v.writeIfFinite(gameData)) return false;
  if (ground >= 0) setGroundState(ground);
  return true;
}

}  // namespace kinevra
