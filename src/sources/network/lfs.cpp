#include "sources/network/lfs.h"

#include <cmath>
#include <cstring>

#include "common/byte_view.h"
#include "sources/game_values.h"
#include "sources/gravity.h"

namespace kinevra {

bool convertLfsPacket(const std::uint8_t* packet, std::size_t n, double* g) {
  const ByteView d(packet, n);
  if (!d.contains(0, lfs::kPacketSize)) return false;
  // A packet of another kind carries no values; the read is an update all the same.
  if (std::memcmp(d.data(), "LFST", 4) != 0) return true;
  const auto f = [&](std::size_t offset) { return static_cast<double>(d.get<float>(offset)); };
  const double heading = f(lfs::kHeading);
  if (!std::isfinite(heading)) return false;
  // World x and y into the car's right (x') and forward (y') axes.
  const double c = std::cos(heading), s = std::sin(heading);
  const auto right = [&](double x, double y) { return x * c + y * s; };
  const auto forward = [&](double x, double y) { return -x * s + y * c; };
  const double wx = f(lfs::kAngularVelocity), wy = f(lfs::kAngularVelocity + 4), wz = f(lfs::kAngularVelocity + 8);
  const double ax = f(lfs::kAcceleration), ay = f(lfs::kAcceleration + 4), az = f(lfs::kAcceleration + 8);

  GameValues v;
  v.set(gd::kPitchSpeed, right(wx, wy) * kRadToDeg);
  v.set(gd::kRollSpeed, forward(wx, wy) * kRadToDeg);
  v.set(gd::kYawSpeed, wz * kRadToDeg);
  v.set(gd::kYawPosition, heading * kRadToDeg);
  v.set(gd::kPitchPosition, f(lfs::kPitch) * kRadToDeg);
  v.set(gd::kRollPosition, f(lfs::kRoll) * kRadToDeg);
  v.set(gd::kLateralAccel, right(ax, ay));
  v.set(gd::kLongitudinalAccel, forward(ax, ay));
  v.set(gd::kVerticalAccel, az);
  return v.commit(g);
}

LfsReader::LfsReader(Clock& clock) : UdpReader(13, clock, udpReaderSetup(13)) {}

}  // namespace kinevra
