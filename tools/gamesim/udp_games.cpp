#include "udp_games.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "flight.h"
#include "platform/sockets.h"

namespace gamesim {

namespace {

namespace net = kinevra::platform;

constexpr double kPi = 3.141592653589793;
constexpr double kG = 9.80665;
double rad(double deg) { return deg * kPi / 180.0; }

// Gravity as an accelerometer on board feels it, in the vehicle's axes.
struct Felt {
  double lateral, longitudinal, vertical;
};
Felt feltGravity(const Motion& m) {
  const double p = rad(m.pitch), r = rad(m.roll);
  return {kG * std::cos(p) * std::sin(r), kG * std::sin(p), kG * std::cos(p) * std::cos(r)};
}

// A datagram being built: little-endian values at byte offsets.
class Packet {
 public:
  explicit Packet(std::size_t size = 0) : bytes_(size, 0) {}
  template <class T>
  void put(std::size_t offset, T v) {
    if (offset + sizeof(T) > bytes_.size()) bytes_.resize(offset + sizeof(T), 0);
    std::memcpy(bytes_.data() + offset, &v, sizeof(T));
  }
  void putF(std::size_t offset, double v) { put<float>(offset, static_cast<float>(v)); }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

// A game that sends to 127.0.0.1 on its port. Nobody may be listening yet: a
// refused datagram is simply lost, as the game's would be.
class UdpGame : public Game {
 public:
  UdpGame(std::uint16_t port, double rate, std::string executable)
      : port_(port), rate_(rate), executable_(std::move(executable)) {}
  ~UdpGame() override {
    if (socket_ != net::kInvalidSocket) net::closeSocket(socket_);
  }

  bool open(std::string* error) override {
    socket_ = net::openDatagramSocket();
    if (socket_ == net::kInvalidSocket) {
      *error = "cannot open a UDP socket";
      return false;
    }
    return true;
  }
  void publish(const Motion& m, double time) override { publishMotion(m, time); }
  double rate() const override { return rate_; }
  std::string executable() const override { return executable_; }

 protected:
  virtual void publishMotion(const Motion& m, double time) = 0;
  void send(const std::vector<std::uint8_t>& bytes) {
    net::sendTo(socket_, bytes.data(), bytes.size(), {net::kLoopbackAddress, port_});
  }
  void send(const std::string& text) {
    net::sendTo(socket_, text.data(), text.size(), {net::kLoopbackAddress, port_});
  }

 private:
  std::uint16_t port_;
  double rate_;
  std::string executable_;
  net::SocketHandle socket_ = net::kInvalidSocket;
};

// A flight simulator flies the circuit of flight.h rather than the drive.
class FlightGame : public UdpGame {
 public:
  using UdpGame::UdpGame;
  bool publishesTheDrive() const override { return false; }
  void publishAt(double driveTime, double simulationTime) override {
    publishFlight(flightAt(driveTime), simulationTime);
  }
  bool playsMotion() const override { return false; }

 protected:
  void publishMotion(const Motion&, double time) override { publishFlight(flightAt(time), time); }
  virtual void publishFlight(const Flight& f, double time) = 0;
};

// --- X-Plane: "DATA" and one byte, then records of a 4-byte index and eight
// floats. Sent: 3 speeds (kias, keas, ktas, ktgs, -, mph indicated, mph
// true air, mph true ground), 17 pitch, roll, true and magnetic heading
// (degrees, the heading clockwise), 66 gear compression (nose, right, left
// main), 135 the motion-platform record (lateral and vertical (×10)
// accelerations with gravity, backward acceleration, roll, pitch and
// clockwise yaw rates).
class XPlane final : public FlightGame {
 public:
#if defined(_WIN32)
  XPlane() : FlightGame(4321, 50.0, "X-Plane.exe") {}
#else
  XPlane() : FlightGame(4321, 50.0, "X-Plane-x86_64") {}
#endif

 protected:
  void publishFlight(const Flight& f, double) override {
    const Motion& m = f.motion;
    Packet p;
    const char header[] = "DATA*";
    for (std::size_t i = 0; i < 5; ++i) p.put<char>(i, header[i]);
    std::size_t at = 5;
    const auto record = [&](std::int32_t index, const std::array<double, 8>& v) {
      p.put<std::int32_t>(at, index);
      for (std::size_t i = 0; i < 8; ++i) p.putF(at + 4 + 4 * i, v[i]);
      at += 36;
    };
    constexpr double kKnots = 1.943844, kMph = 2.236936;
    record(3, {m.speed * kKnots, m.speed * kKnots, m.speed * kKnots, m.speed * kKnots, -999.0, m.speed * kMph,
               m.speed * kMph, m.speed * kMph});
    const double heading = m.yaw <= 0 ? -m.yaw : 360.0 - m.yaw;
    record(17, {m.pitch, m.roll, heading, heading - 2.5, -999.0, -999.0, -999.0, -999.0});
    record(66, {f.gear, f.gear * 1.1, f.gear * 0.9, 0.0, 0.0, 0.0, 0.0, 0.0});
    const Felt g = feltGravity(m);
    record(135, {m.lateralAccel + g.lateral, 10.0 * (m.verticalAccel + g.vertical), -(m.longitudinalAccel + g.longitudinal),
                 m.rollRate, m.pitchRate, -m.yawRate, 0.0, 0.0});
    send(p.bytes());
  }
};

// --- DCS: the export script's line of 25 numbers, "%.6f" each, one space
// apart: longitudinal, lateral and vertical g (with gravity), the three
// speeds (m/s), yaw, roll and pitch rates, heading, bank and pitch (rad),
// altitude, the left main and nose gear, the right main gear, eight more
// values the engine does not use, and the mission clock (s).
class Dcs final : public FlightGame {
 public:
  Dcs() : FlightGame(4124, 100.0, "DCS.exe") {}

 protected:
  void publishFlight(const Flight& f, double time) override {
    const Motion& m = f.motion;
    const Felt g = feltGravity(m);
    const double v[25] = {(m.longitudinalAccel + g.longitudinal) / kG,
                          (m.lateralAccel + g.lateral) / kG,
                          (m.verticalAccel + g.vertical) / kG,
                          m.lateralSpeed,
                          m.longitudinalSpeed,
                          m.verticalSpeed,
                          rad(m.yawRate),
                          rad(m.rollRate),
                          rad(m.pitchRate),
                          rad(m.yaw),
                          rad(m.roll),
                          rad(m.pitch),
                          f.altitude,
                          f.gear,
                          f.gear * 1.1,
                          f.gear * 0.9,
                          m.speed,
                          m.rpm,
                          0.0,
                          0.0,
                          0.0,
                          0.0,
                          0.0,
                          0.0,
                          time};
    std::string line;
    char number[48];
    for (int i = 0; i < 25; ++i) {
      std::snprintf(number, sizeof number, i ? " %.6f" : "%.6f", v[i]);
      line += number;
    }
    send(line + "\n");
  }
};

// --- Condor 2: "key=value" lines. Angles in radians (the heading from 0 to
// 2π, bank + right wing down), accelerations without gravity and speeds in
// m/s in the glider's axes, rates in rad/s.
class Condor final : public FlightGame {
 public:
  Condor() : FlightGame(55278, 50.0, "") {}

 protected:
  void publishFlight(const Flight& f, double time) override {
    const Motion& m = f.motion;
    const Felt g = feltGravity(m);
    // The attitude as a quaternion (heading, pitch, bank).
    const double h = rad(m.yaw + 180.0) / 2, pt = rad(m.pitch) / 2, b = -rad(m.roll) / 2;
    const double qx = std::cos(h) * std::cos(pt) * std::sin(b) - std::sin(h) * std::sin(pt) * std::cos(b);
    const double qy = std::cos(h) * std::sin(pt) * std::cos(b) + std::sin(h) * std::cos(pt) * std::sin(b);
    const double qz = std::sin(h) * std::cos(pt) * std::cos(b) - std::cos(h) * std::sin(pt) * std::sin(b);
    std::string text;
    char line[96];
    const auto put = [&](const char* key, double v) {
      std::snprintf(line, sizeof line, "%s=%.7g\n", key, v);
      text += line;
    };
    put("time", 12.0 + time / 3600.0);
    put("slipball", 0.0);
    put("altitude", 300.0 + f.altitude);
    put("vario", m.verticalSpeed);
    put("evario", m.verticalSpeed);
    put("nettovario", m.verticalSpeed * 0.5);
    put("integrator", m.verticalSpeed * 0.8);
    put("compass", m.yaw <= 0 ? -m.yaw : 360.0 - m.yaw);
    put("turnrate", -m.yawRate);
    put("yawstringangle", 0.0);
    put("radiofrequency", 123.5);
    put("yaw", rad(m.yaw + 180.0));
    put("pitch", rad(m.pitch));
    put("bank", -rad(m.roll));
    put("quaternionx", qx);
    put("quaterniony", qy);
    put("quaternionz", qz);
    put("ax", m.lateralAccel);
    put("ay", m.longitudinalAccel);
    put("az", m.verticalAccel);
    put("vx", m.lateralSpeed);
    put("vy", m.longitudinalSpeed);
    put("vz", m.verticalSpeed);
    put("rollrate", rad(m.rollRate));
    put("pitchrate", rad(m.pitchRate));
    put("yawrate", rad(m.yawRate));
    put("gforce", (m.verticalAccel + g.vertical) / kG);
    put("height", f.altitude);
    put("wheelheight", f.onGround ? 0.0 : f.altitude);
    put("turbulencestrength", 0.1);
    put("surfaceroughness", f.onGround ? 0.3 : 0.0);
    text += f.onGround ? "hudmessages=\n" : "hudmessages=Thermal ahead\n";
    put("flaps", 2);
    put("mc", 1.5);
    put("water", 0.0);
    send(text);
  }
};

// --- DiRT Rally 2.0: the custom 96-byte packet of 24 floats: time 0, speed
// 4, lateral (leftward), longitudinal and vertical acceleration in g at 24,
// 28, 32, then pitch, roll (each angle, rate, acceleration) at 48 and 60,
// and the heading (from east, counter-clockwise) at 84, its rate and
// acceleration; angles in radians.
class DirtRally2 final : public UdpGame {
 public:
  DirtRally2() : UdpGame(20778, 100.0, "") {}

 protected:
  void publishMotion(const Motion& m, double time) override {
    Packet p(96);
    p.putF(0, time);
    p.putF(4, m.speed);
    p.putF(24, -m.lateralAccel / kG);
    p.putF(28, m.longitudinalAccel / kG);
    p.putF(32, m.verticalAccel / kG);
    p.putF(48, rad(m.pitch));
    p.putF(52, rad(m.pitchRate));
    p.putF(56, rad(m.pitchAccel));
    p.putF(60, rad(m.roll));
    p.putF(64, rad(m.rollRate));
    p.putF(68, rad(m.rollAccel));
    p.putF(84, rad(m.yaw + 90.0));
    p.putF(88, rad(m.yawRate));
    p.putF(92, rad(m.yawAccel));
    send(p.bytes());
  }
};

// --- F1 23 / F1 24: every frame a motion packet (all 22 cars: position,
// velocity, direction vectors, g-forces lateral (leftward), longitudinal,
// vertical (downward), yaw, pitch, roll in rad), the player's extended
// motion packet (angular velocity about x = pitch, y = yaw, z = roll, each
// the other way round, rad/s) and a car-telemetry packet. The header's byte
// 27 is the player's car (here 7); byte 28, the second player's, is 255.
class F1 final : public UdpGame {
 public:
  explicit F1(int format) : UdpGame(20777, 60.0, format == 2023 ? "F1_23.exe" : "F1_24.exe"), format_(format) {}

 protected:
  static constexpr int kPlayer = 7;

  Packet header(std::uint8_t id, double time, std::size_t size) {
    Packet p(size);
    p.put<std::uint16_t>(0, static_cast<std::uint16_t>(format_));
    p.put<std::uint8_t>(2, static_cast<std::uint8_t>(format_ % 100));
    p.put<std::uint8_t>(3, 1);
    p.put<std::uint8_t>(4, 4);
    p.put<std::uint8_t>(5, 1);
    p.put<std::uint8_t>(6, id);
    p.put<std::uint64_t>(7, 0x5eed5eed5eedull);
    p.putF(15, time);
    p.put<std::uint32_t>(19, frame_);
    p.put<std::uint32_t>(23, frame_);
    p.put<std::uint8_t>(27, kPlayer);
    p.put<std::uint8_t>(28, 255);
    return p;
  }

  void publishMotion(const Motion& m, double time) override {
    ++frame_;
    Packet motion = header(0, time, 1349);
    for (int car = 0; car < 22; ++car) {
      // The others drive the same loop, spread out along it.
      const Motion c = car == kPlayer ? m : driveAt(time + 0.6 * car);
      const std::size_t at = 29 + 60 * static_cast<std::size_t>(car);
      motion.putF(at + 12, c.longitudinalSpeed * std::sin(rad(c.yaw)));
      motion.putF(at + 20, c.longitudinalSpeed * std::cos(rad(c.yaw)));
      motion.put<std::int16_t>(at + 24, static_cast<std::int16_t>(32767 * -std::sin(rad(c.yaw))));
      motion.put<std::int16_t>(at + 28, static_cast<std::int16_t>(32767 * std::cos(rad(c.yaw))));
      const Felt g = feltGravity(c);
      motion.putF(at + 36, -(c.lateralAccel + g.lateral) / kG);
      motion.putF(at + 40, (c.longitudinalAccel + g.longitudinal) / kG);
      motion.putF(at + 44, -(c.verticalAccel + g.vertical) / kG);
      motion.putF(at + 48, rad(c.yaw));
      motion.putF(at + 52, rad(c.pitch));
      motion.putF(at + 56, rad(c.roll));
    }
    send(motion.bytes());

    Packet ex = header(13, time, format_ == 2023 ? 217 : 237);
    ex.putF(157, 0.3);
    ex.putF(161, m.lateralSpeed);
    ex.putF(165, m.verticalSpeed);
    ex.putF(169, m.longitudinalSpeed);
    ex.putF(173, -rad(m.pitchRate));
    ex.putF(177, -rad(m.yawRate));
    ex.putF(181, -rad(m.rollRate));
    ex.putF(185, -rad(m.pitchAccel));
    ex.putF(189, -rad(m.yawAccel));
    ex.putF(193, -rad(m.rollAccel));
    send(ex.bytes());

    Packet telemetry = header(6, time, 1352);
    const std::size_t at = 29 + 60 * kPlayer;
    telemetry.put<std::uint16_t>(at, static_cast<std::uint16_t>(m.speed * 3.6));
    telemetry.putF(at + 2, m.longitudinalAccel > 0 ? 0.8 : 0.0);
    telemetry.putF(at + 10, m.longitudinalAccel < -1 ? 0.9 : 0.0);
    telemetry.put<std::int8_t>(at + 15, 4);
    telemetry.put<std::uint16_t>(at + 16, static_cast<std::uint16_t>(m.rpm * 3));
    send(telemetry.bytes());
  }

 private:
  int format_;
  std::uint32_t frame_ = 0;
};

}  // namespace

std::unique_ptr<Game> makeUdpGame(const GameOptions& o) {
  if (o.name == "xplane") return std::make_unique<XPlane>();
  if (o.name == "dcs") return std::make_unique<Dcs>();
  if (o.name == "dirt") return std::make_unique<DirtRally2>();
  if (o.name == "condor") return std::make_unique<Condor>();
  if (o.name == "f1") return std::make_unique<F1>(o.f1Format);
  return nullptr;
}

}  // namespace gamesim
