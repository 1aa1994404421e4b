#include "sources/network/nolimits2.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "sources/game_values.h"
#include "sources/gravity.h"
#include "sources/probes.h"
#include "sources/telemetry_frame.h"

namespace kinevra {

namespace {

constexpr double kDeg = 57.29577951308232;

std::uint32_t be32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}
double beFloat(const std::uint8_t* p) {
  const std::uint32_t bits = be32(p);
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

bool isReplyAt(const std::uint8_t* p) {
  return p[0] == 'N' && p[1] == 0 && p[2] == nolimits2::kTelemetryReply && p[nolimits2::kReplySize - 1] == 'L';
}

struct Quat {
  double w, x, y, z;
};
Quat mul(const Quat& a, const Quat& b) {  // Hamilton product
  return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z, a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
          a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x, a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}
double norm(const Quat& q) { return std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z); }

}  // namespace

bool convertNoLimits2Reply(const std::uint8_t* bytes, std::size_t n, double* g, NoLimits2State& state) {
  using namespace nolimits2;
  if (!bytes || n < kReplySize) return false;
  // Replies to earlier requests may have piled up: the newest whole one counts.
  const std::uint8_t* r = nullptr;
  for (std::size_t at = n - kReplySize + 1; at-- > 0;) {
    if (isReplyAt(bytes + at)) {
      r = bytes + at;
      break;
    }
  }
  if (!r) return false;
  if (be32(r + kState) == 0) return false;
  const auto frame = static_cast<std::int32_t>(be32(r + kFrame));
  if (frame == state.lastFrame) return false;

  const double speed = beFloat(r + kSpeed);
  Quat q{beFloat(r + kQuaternion + 12), beFloat(r + kQuaternion), beFloat(r + kQuaternion + 4),
         beFloat(r + kQuaternion + 8)};
  const double gx = beFloat(r + kGForces), gy = beFloat(r + kGForces + 4), gz = beFloat(r + kGForces + 8);
  const double qn = norm(q);
  if (!std::isfinite(speed) || !std::isfinite(gx) || !std::isfinite(gy) || !std::isfinite(gz) ||
      !std::isfinite(qn) || !(qn > 1e-6))
    return false;
  q = {q.w / qn, q.x / qn, q.y / qn, q.z / qn};
  state.lastFrame = frame;

  // Work on a copy; the record takes it only when everything is sound.
  double next[kGameDataCount];
  std::memcpy(next, g, sizeof next);
  next[36] = frame;  // ldg_gear carries the frame number
  next[32] = speed;

  // Attitude: heading about y, roll about z, pitch about x.
  const double w = q.w, x = q.x, y = q.y, z = q.z;
  next[gd::kRollPosition] = std::asin(std::clamp(2.0 * (w * z + y * x), -1.0, 1.0)) * kDeg;
  next[gd::kPitchPosition] = std::atan2(2.0 * (x * w - y * z), 1.0 - 2.0 * (x * x + z * z)) * kDeg;
  next[gd::kYawPosition] = std::atan2(2.0 * (y * w - z * x), 1.0 - 2.0 * (y * y + z * z)) * kDeg;

  // Rates from the turn since the previous frame, in the coaster's own axes
  // (P⁻¹ ⊗ Q), the short way round.
  std::array<double, 3> rates = state.rates;
  if (state.hasPrevious) {
    const Quat p{state.previous[0], state.previous[1], state.previous[2], state.previous[3]};
    Quat d = mul({p.w, -p.x, -p.y, -p.z}, q);
    const double dn = norm(d);
    if (dn > 1e-12) {
      d = {d.w / dn, d.x / dn, d.y / dn, d.z / dn};
      if (d.w < 0) d = {-d.w, -d.x, -d.y, -d.z};
      const double angle = 2.0 * std::acos(std::clamp(d.w, -1.0, 1.0));
      next[26] = angle;  // fr_lft_susp_pos: the turn since the last frame, rad
      if (std::fabs(angle) <= kLargestTurn && std::fabs(angle) >= kSmallestTurn) {
        const double rate = angle / kFrameSeconds;
        const double root = std::sqrt(std::max(0.0, 1.0 - d.w * d.w));
        const double axis[3] = {root < 0.00001 ? d.x : d.x / root, root < 0.00001 ? d.y : d.y / root,
                                root < 0.00001 ? d.z : d.z / root};
        for (int i = 0; i < 3; ++i) rates[i] = ((rate * axis[i] - rates[i]) * 0.99 + rates[i]) * 0.98;
      }
    }
  }
  next[gd::kPitchSpeed] = rates[0] * kDeg;
  next[gd::kYawSpeed] = rates[1] * kDeg;
  next[gd::kRollSpeed] = rates[2] * kDeg;

  // g-forces include gravity; gravity comes out as for every other game,
  // from the attitude.
  next[gd::kLateralAccelG] = -gx * kStandardGravity;
  next[gd::kLongitudinalAccelG] = gz * kStandardGravity;
  next[gd::kVerticalAccelG] = gy * kStandardGravity;
  splitGravity(next, GravityDirection::RemoveFromAcceleration);

  // Speeds by leaky integration of the low-passed accelerations.
  std::array<double, 3> accels = state.accels, speeds = state.speeds;
  std::array<int, 3> quiet = state.quiet;
  double dt = next[gd::kIntervalMs] / 1000.0;
  dt = dt > 0.0 ? std::min(dt, kLongestStep) : 0.0;
  const int accelIndex[3] = {gd::kLateralAccel, gd::kLongitudinalAccel, gd::kVerticalAccel};
  const int speedIndex[3] = {gd::kLateralSpeed, gd::kLongitudinalSpeed, gd::kVerticalSpeed};
  for (int i = 0; i < 3; ++i) {
    accels[i] += (next[accelIndex[i]] - accels[i]) * 0.1;
    double v = accels[i] * dt + speeds[i];
    speeds[i] = v * 0.999;
    quiet[i] = std::fabs(accels[i]) < 0.2 ? std::min(quiet[i] + 1, 1000000) : 0;
    if (quiet[i] > 50 && std::fabs(speeds[i]) < 0.1) speeds[i] = v = 0.0;
    next[speedIndex[i]] = v;
  }

  // Everything from the speeds to the free axes (not the interval, which
  // host threads read, nor the belt sum of the cue computation).
  constexpr int kLast = gd::kBeltSum - 1;
  for (int i = gd::kLateralSpeed; i <= kLast; ++i)
    if (!std::isfinite(next[i])) return false;
  for (int i = gd::kLateralSpeed; i <= kLast; ++i) storeShared(g[i], next[i]);  // hosts read GameData
  state.previous = {q.w, q.x, q.y, q.z};
  state.hasPrevious = true;
  state.rates = rates;
  state.accels = accels;
  state.speeds = speeds;
  state.quiet = quiet;
  return true;
}

NoLimits2Reader::NoLimits2Reader(Clock& clock) : TcpReader(8, clock, kNoLimitsPort) {}

}  // namespace kinevra
