#include "sources/network/wrc.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/byte_view.h"
#include "sources/game_values.h"
#include "sources/gravity.h"

namespace kinevra {

namespace {

struct Vec {
  float x, y, z;
};

Vec vecAt(const ByteView& d, std::size_t offset) {
  return {d.get<float>(offset), d.get<float>(offset + 4), d.get<float>(offset + 8)};
}

float length(const Vec& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

}  // namespace

double wrapDegrees(double d) {
  // remainder keeps the result within [-180, 180] in one step, however far
  // out the difference lies.
  return std::isfinite(d) ? std::remainder(d, 360.0) : d;
}

bool convertWrcDatagram(const std::uint8_t* datagram, std::size_t n, double* g, WrcHistory& history) {
  const ByteView d(datagram, n);
  if (!d.contains(0, wrc::kFieldsEnd)) return false;
  const Vec left = vecAt(d, wrc::kLeft), forward = vecAt(d, wrc::kForward), up = vecAt(d, wrc::kUp);
  const float lf = length(forward), ll = length(left), lu = length(up);
  // A direction of no length (or none at all) says nothing about the attitude.
  if (!(lf > 1e-6f) || !(ll > 1e-6f) || !(lu > 1e-6f) || !std::isfinite(lf) || !std::isfinite(ll) ||
      !std::isfinite(lu))
    return false;

  // The car's attitude from its axes, whatever its heading: pitch from the
  // forward direction's rise, roll from the left direction's drop against
  // the up direction, the heading anticlockwise from north (x) seen from
  // above (single precision, as the game sends them).
  const float pitch = std::asin(std::clamp(forward.y / lf, -1.0f, 1.0f));
  const float roll = std::atan2(-left.y / ll, up.y / lu);
  const float heading = std::atan2(-forward.z / lf, forward.x / lf);

  GameValues v;
  v.set(gd::kLateralSpeed, d.get<float>(wrc::kVelocity));
  v.set(gd::kLongitudinalSpeed, d.get<float>(wrc::kVelocity + 4));
  v.set(gd::kVerticalSpeed, d.get<float>(wrc::kVelocity + 8));
  v.set(gd::kLongitudinalAccel, d.get<float>(wrc::kAcceleration));
  v.set(gd::kLateralAccel, d.get<float>(wrc::kAcceleration + 4));
  v.set(gd::kVerticalAccel, d.get<float>(wrc::kAcceleration + 8));
  const double yaw = static_cast<double>(heading) * kRadToDeg;
  const double rollDeg = static_cast<double>(roll) * kRadToDeg;
  const double pitchDeg = static_cast<double>(pitch) * kRadToDeg;
  v.set(gd::kYawPosition, yaw);
  v.set(gd::kRollPosition, rollDeg);
  v.set(gd::kPitchPosition, pitchDeg);

  // Rates by difference with the previous update. The divisor is the
  // measured interval, bounded: a pause or stall counts as one short step,
  // and two updates that arrive back to back never divide by (almost) zero.
  const double dt = g[gd::kIntervalMs] / 1000.0;
  double divisor = dt > wrc::kLongInterval ? wrc::kLongIntervalDivisor : dt;
  if (!(divisor >= wrc::kShortestDivisor)) divisor = wrc::kShortestDivisor;
  const auto& prev = history.previous;
  if (history.hasPrevious) {
    v.set(gd::kYawSpeed, wrapDegrees(yaw - prev[gd::kYawPosition]) / divisor);
    v.set(gd::kRollSpeed, wrapDegrees(rollDeg - prev[gd::kRollPosition]) / divisor);
    v.set(gd::kPitchSpeed, wrapDegrees(pitchDeg - prev[gd::kPitchPosition]) / divisor);
    for (int a : {gd::kYawAccel, gd::kRollAccel, gd::kPitchAccel}) v.set(a, prev[a] + g[a] * divisor / 1000.0);
  } else {
    // No earlier attitude in this session: no rate rather than a jump from 0.
    v.set(gd::kYawSpeed, 0.0);
    v.set(gd::kRollSpeed, 0.0);
    v.set(gd::kPitchSpeed, 0.0);
  }
  if (!v.commit(g)) return false;
  std::memcpy(history.previous.data(), g, sizeof(double) * kGameDataCount);
  history.hasPrevious = true;
  return true;
}

WrcReader::WrcReader(Clock& clock) : UdpReader(11, clock, udpReaderSetup(11)) {}

int WrcReader::attach() {
  history.hasPrevious = false;
  return UdpReader::attach();
}

}  // namespace kinevra
