#pragma once
// gamesim's network games: the scripted drive as each game sends it, in the
// game's own datagram or reply layout, units, axes and signs. The builders
// are here so that tests can make exactly what gamesim sends.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "drive.h"

namespace gamesim {

class Game;
struct GameOptions;

// wrc, beamng, lfs (datagrams to the game's local port) and nolimits2 (the
// telemetry server on 127.0.0.1:15151), or null.
std::unique_ptr<Game> makeNetworkGame(const GameOptions& options);

namespace net_detail {
inline constexpr double kPi = 3.141592653589793;
inline constexpr double kG = 9.80665;
inline double rad(double deg) { return deg * kPi / 180.0; }
template <std::size_t N>
void putF(std::array<std::uint8_t, N>& b, std::size_t at, double v) {
  const float f = static_cast<float>(v);
  std::memcpy(b.data() + at, &f, 4);
}
template <std::size_t N>
void putBe32(std::array<std::uint8_t, N>& b, std::size_t at, std::uint32_t v) {
  b[at] = std::uint8_t(v >> 24);
  b[at + 1] = std::uint8_t(v >> 16);
  b[at + 2] = std::uint8_t(v >> 8);
  b[at + 3] = std::uint8_t(v);
}
template <std::size_t N>
void putBeF(std::array<std::uint8_t, N>& b, std::size_t at, double v) {
  const float f = static_cast<float>(v);
  std::uint32_t bits;
  std::memcpy(&bits, &f, 4);
  putBe32(b, at, bits);
}
// Gravity as an accelerometer in the car feels it (up, in the car's axes).
struct Felt {
  double lateral, longitudinal, vertical;
};
inline Felt felt(const Motion& m) {
  const double p = rad(m.pitch), r = rad(m.roll);
  return {kG * std::cos(p) * std::sin(r), kG * std::sin(p), kG * std::cos(p) * std::cos(r)};
}
}  // namespace net_detail

// EA Sports WRC, "wrc" packet: ... velocity 61, acceleration 73 (without
// gravity), the car's left 85, forward 97 and up 109 directions (world axes:
// x north, y up, z east), ...
inline constexpr std::size_t kWrcPacketSize = 237;
inline std::array<std::uint8_t, kWrcPacketSize> wrcDatagram(const Motion& m) {
  using namespace net_detail;
  std::array<std::uint8_t, kWrcPacketSize> b{};
  putF(b, 41, m.speed);
  putF(b, 61, m.lateralSpeed);
  putF(b, 65, m.longitudinalSpeed);
  putF(b, 69, m.verticalSpeed);
  putF(b, 73, m.longitudinalAccel);
  putF(b, 77, m.lateralAccel);
  putF(b, 81, m.verticalAccel);
  // Heading anticlockwise from north, then pitch (nose up), then roll (left
  // side down).
  const double h = rad(m.yaw), p = rad(m.pitch), r = rad(m.roll);
  const double f0[3] = {std::cos(h), 0.0, -std::sin(h)}, l0[3] = {-std::sin(h), 0.0, -std::cos(h)};
  const double u0[3] = {0.0, 1.0, 0.0};
  double f[3], u1[3], l[3], u[3];
  for (int i = 0; i < 3; ++i) {
    f[i] = std::cos(p) * f0[i] + std::sin(p) * u0[i];
    u1[i] = -std::sin(p) * f0[i] + std::cos(p) * u0[i];
  }
  for (int i = 0; i < 3; ++i) {
    u[i] = std::cos(r) * u1[i] + std::sin(r) * l0[i];
    l[i] = std::cos(r) * l0[i] - std::sin(r) * u1[i];
  }
  for (int i = 0; i < 3; ++i) {
    putF(b, 85 + 4 * i, l[i]);
    putF(b, 97 + 4 * i, f[i]);
    putF(b, 109 + 4 * i, u[i]);
  }
  return b;
}

// BeamNG.drive's motion-simulator packet "BNG1": position 4, velocity 16,
// acceleration with gravity 28 (the axes point left, back and down), up
// vector 40, roll, pitch, yaw 52, their rates 64 and accelerations 76 (rad,
// the yaw clockwise).
inline constexpr std::size_t kBeamngPacketSize = 88;
inline std::array<std::uint8_t, kBeamngPacketSize> beamngDatagram(const Motion& m) {
  using namespace net_detail;
  std::array<std::uint8_t, kBeamngPacketSize> b{};
  std::memcpy(b.data(), "BNG1", 4);
  const Felt g = felt(m);
  putF(b, 16, -m.lateralSpeed);
  putF(b, 20, -m.longitudinalSpeed);
  putF(b, 24, -m.verticalSpeed);
  putF(b, 28, -(m.lateralAccel + g.lateral));
  putF(b, 32, -(m.longitudinalAccel + g.longitudinal));
  putF(b, 36, -(m.verticalAccel + g.vertical));
  putF(b, 40, 0.0);
  putF(b, 48, 1.0);
  putF(b, 52, rad(m.roll));
  putF(b, 56, rad(m.pitch));
  putF(b, 60, -rad(m.yaw));
  putF(b, 64, rad(m.rollRate));
  putF(b, 68, rad(m.pitchRate));
  putF(b, 72, -rad(m.yawRate));
  putF(b, 76, rad(m.rollAccel));
  putF(b, 80, rad(m.pitchAccel));
  putF(b, 84, -rad(m.yawAccel));
  return b;
}

// Live for Speed's OutSim packet "LFST" (280 bytes): id 4, time 8 (ms),
// angular velocity 12, heading 24, pitch 28, roll 32, acceleration 36,
// velocity 48 (world axes: x and y on the ground, z up; the heading
// anticlockwise from above, 0 along y), position 60 (1/65536 m), ...
inline constexpr std::size_t kLfsPacketSize = 280;
inline std::array<std::uint8_t, kLfsPacketSize> lfsPacket(const Motion& m, double time = 0.0) {
  using namespace net_detail;
  std::array<std::uint8_t, kLfsPacketSize> b{};
  std::memcpy(b.data(), "LFST", 4);
  const auto ms = static_cast<std::uint32_t>(time * 1000.0);
  std::memcpy(b.data() + 8, &ms, 4);
  const double h = rad(m.yaw), c = std::cos(h), s = std::sin(h);
  // The car's right (cos h, sin h) and forward (-sin h, cos h) on the ground.
  const auto world = [&](std::size_t at, double right, double forward, double up) {
    putF(b, at, c * right - s * forward);
    putF(b, at + 4, s * right + c * forward);
    putF(b, at + 8, up);
  };
  world(12, rad(m.pitchRate), rad(m.rollRate), rad(m.yawRate));
  putF(b, 24, h);
  putF(b, 28, rad(m.pitch));
  putF(b, 32, rad(m.roll));
  world(36, m.lateralAccel, m.longitudinalAccel, m.verticalAccel);
  world(48, m.lateralSpeed, m.longitudinalSpeed, m.verticalSpeed);
  return b;
}

// NoLimits 2's telemetry reply (type 6, 86 bytes, big-endian): "N", type,
// request id, data size 76, state 9 (1 while the coaster rides), frame 13,
// ..., speed 41, ..., orientation quaternion x 57, y 61, z 65, w 69 (heading
// about y, then roll about z, then pitch about x), g-forces x 73 (to the
// left), y 77 (up), z 81 (forward), "L".
inline constexpr std::size_t kNoLimits2ReplySize = 86;
inline std::array<std::uint8_t, kNoLimits2ReplySize> noLimits2Reply(const Motion& m, std::int32_t frame,
                                                                    std::uint32_t requestId = 3243) {
  using namespace net_detail;
  std::array<std::uint8_t, kNoLimits2ReplySize> b{};
  b[0] = 'N';
  b[2] = 6;
  putBe32(b, 3, requestId);
  b[8] = 76;
  b[85] = 'L';
  putBe32(b, 9, 1);
  putBe32(b, 13, static_cast<std::uint32_t>(frame));
  putBeF(b, 41, m.speed);
  struct Q {
    double w, x, y, z;
  };
  const auto mul = [](Q a, Q c) {
    return Q{a.w * c.w - a.x * c.x - a.y * c.y - a.z * c.z, a.w * c.x + a.x * c.w + a.y * c.z - a.z * c.y,
             a.w * c.y - a.x * c.z + a.y * c.w + a.z * c.x, a.w * c.z + a.x * c.y - a.y * c.x + a.z * c.w};
  };
  const double h = rad(m.yaw) / 2, r = rad(m.roll) / 2, p = rad(m.pitch) / 2;
  const Q q = mul(mul(Q{std::cos(h), 0, std::sin(h), 0}, Q{std::cos(r), 0, 0, std::sin(r)}),
                  Q{std::cos(p), std::sin(p), 0, 0});
  putBeF(b, 57, q.x);
  putBeF(b, 61, q.y);
  putBeF(b, 65, q.z);
  putBeF(b, 69, q.w);
  const Felt g = felt(m);
  putBeF(b, 73, -(m.lateralAccel + g.lateral) / kG);
  putBeF(b, 77, (m.verticalAccel + g.vertical) / kG);
  putBeF(b, 81, (m.longitudinalAccel + g.longitudinal) / kG);
  return b;
}

}  // namespace gamesim
