#include "games.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

#include "network_games.h"
#include "platform/named_event.h"
#include "platform/shared_memory.h"
#include "udp_games.h"

namespace gamesim {

namespace {

using kinevra::platform::SharedMemory;

constexpr double kPi = 3.141592653589793;
double rad(double deg) { return deg * kPi / 180.0; }

// A block the game creates and writes; writes outside it are dropped.
class Page {
 public:
  bool create(const char* name, std::size_t size, std::string* error) {
    if (!memory_.createOrOpen(name, size) || !(view_ = static_cast<std::uint8_t*>(memory_.mapWrite(size)))) {
      *error = std::string("cannot publish ") + name;
      return false;
    }
    size_ = memory_.viewSize();
    std::memset(view_, 0, size_);
    return true;
  }
  template <class T>
  void put(std::size_t offset, T v) {
    if (view_ && offset <= size_ && sizeof(T) <= size_ - offset) std::memcpy(view_ + offset, &v, sizeof(T));
  }
  void putF(std::size_t offset, double v) { put<float>(offset, static_cast<float>(v)); }
  template <class T>
  T get(std::size_t offset) const {
    T v{};
    if (view_ && offset <= size_ && sizeof(T) <= size_ - offset) std::memcpy(&v, view_ + offset, sizeof(T));
    return v;
  }

 private:
  SharedMemory memory_;
  std::uint8_t* view_ = nullptr;
  std::size_t size_ = 0;
};

// --- Assetto Corsa and its successors: the acpmf pages ---
//
// SPageFilePhysics: packetId 0, gas 4, brake 8, fuel 12, gear 16, rpms 20,
// steerAngle 24, speedKmh 28, velocity[3] 32, accG[3] 44 (x lateral, y
// vertical, z longitudinal, in g, without gravity), ... heading 208, pitch
// 212, roll 216 (rad), ... localAngularVel[3] 296 (rad/s), ...
// localVelocity[3] 568 (m/s). SPageFileGraphic: packetId 0, status 4
// (2 = live), session 8.
class AssettoCorsa final : public Game {
 public:
  AssettoCorsa(bool graphics, std::size_t graphicsSize) : withGraphics_(graphics), graphicsSize_(graphicsSize) {}

  bool open(std::string* error) override {
    if (!physics_.create("Local\\acpmf_physics", 712, error)) return false;
    if (withGraphics_) {
      if (!graphics_.create("Local\\acpmf_graphics", graphicsSize_, error)) return false;
      graphics_.put<std::int32_t>(4, 2);  // AC_LIVE
      graphics_.put<std::int32_t>(8, 2);  // a race session
    }
    return true;
  }

  void publish(const Motion& m, double) override {
    constexpr double g = 9.81;
    physics_.putF(4, m.longitudinalAccel > 0 ? 0.8 : 0.0);   // gas
    physics_.putF(8, m.longitudinalAccel < -1 ? 0.9 : 0.0);  // brake
    physics_.put<std::int32_t>(16, 4);
    physics_.put<std::int32_t>(20, static_cast<std::int32_t>(m.rpm));
    physics_.putF(28, m.speed * 3.6);
    physics_.putF(44, m.lateralAccel / g);
    physics_.putF(48, -m.verticalAccel / g);
    physics_.putF(52, m.longitudinalAccel / g);
    physics_.putF(208, -rad(m.yaw));
    physics_.putF(212, rad(m.pitch));
    physics_.putF(216, -rad(m.roll));
    physics_.putF(296, rad(m.pitchRate));
    physics_.putF(300, rad(m.yawRate));
    physics_.putF(304, rad(m.rollRate));
    physics_.putF(568, m.lateralSpeed);
    physics_.putF(572, m.verticalSpeed);
    physics_.putF(576, m.longitudinalSpeed);
    // The counter last: a reader that sees it new sees the values with it.
    std::atomic_thread_fence(std::memory_order_release);
    physics_.put<std::int32_t>(0, ++packet_);
    if (withGraphics_ && packet_ % 5 == 0) graphics_.put<std::int32_t>(0, packet_ / 5);
  }

  void close() override {
    if (withGraphics_) graphics_.put<std::int32_t>(4, 0);  // AC_OFF
  }

  double rate() const override { return 333.0; }
  std::string executable() const override { return withGraphics_ ? "" : "AssettoCorsaEVO.exe"; }

 private:
  bool withGraphics_;
  std::size_t graphicsSize_;
  Page physics_, graphics_;
  std::int32_t packet_ = 0;
};

// Gravity as an accelerometer in the car feels it (up, in the car's axes).
struct Felt {
  double lateral, longitudinal, vertical;
};
Felt gravityFelt(const Motion& m) {
  constexpr double g = 9.80665;
  const double p = rad(m.pitch), r = rad(m.roll);
  return {g * std::cos(p) * std::sin(r), g * std::sin(p), g * std::cos(p) * std::cos(r)};
}

// --- RaceRoom: "$R3E" ---
//
// r3e_shared: version_major 0, version_minor 4, all_drivers_offset 8,
// driver_data_size 12, [game_mode from 3.3], game_paused, game_in_menus,
// game_in_replay, game_using_vr, game_unused1, then the player's data:
// [user_id from 3.4], game_simulation_ticks (int32), game_simulation_time,
// position, velocity, local_velocity, acceleration, local_acceleration,
// orientation (pitch, yaw, roll), rotation, angular_acceleration,
// angular_velocity (world axes), local_angular_velocity, local_g_force (all
// doubles, packed). Car axes: x left, y up, z back.
class RaceRoom final : public Game {
 public:
  RaceRoom(int major, int minor, bool inMenus) : major_(major), minor_(minor), inMenus_(inMenus) {}

  bool open(std::string* error) override {
    const bool v34 = major_ > 3 || (major_ == 3 && minor_ >= 4);
    const std::size_t size = major_ == 2 ? 39320 : v34 ? 43996 : 41000;
    if (!block_.create("$R3E", size, error)) return false;
    block_.put<std::int32_t>(0, major_);
    block_.put<std::int32_t>(4, minor_);
    std::size_t at = 16;
    if (major_ > 3 || (major_ == 3 && minor_ >= 3)) at += 4;  // game_mode
    flags_ = at;
    player_ = at + 20;
    if (v34) {
      block_.put<std::int32_t>(player_, 4711);  // user_id
      player_ += 4;
    }
    return true;
  }

  void publish(const Motion& m, double time) override {
    block_.put<std::int32_t>(flags_ + 4, inMenus_ ? 1 : 0);
    const std::size_t p = player_;
    block_.put<std::int32_t>(p, static_cast<std::int32_t>(time * 400.0));
    block_.put<double>(p + 4, time);
    const auto vec = [&](std::size_t at, double x, double y, double z) {
      block_.put<double>(at, x);
      block_.put<double>(at + 8, y);
      block_.put<double>(at + 16, z);
    };
    vec(p + 60, -m.lateralSpeed, m.verticalSpeed, -m.longitudinalSpeed);
    vec(p + 108, -m.lateralAccel, m.verticalAccel, -m.longitudinalAccel);
    vec(p + 132, rad(m.pitch), -rad(m.yaw), rad(m.roll));
    vec(p + 180, rad(m.pitchAccel), -rad(m.yawAccel), rad(m.rollAccel));
    // The same rotation in world axes: turned by the heading.
    const double h = -rad(m.yaw), c = std::cos(h), sn = std::sin(h);
    const double lx = rad(m.pitchRate), ly = -rad(m.yawRate), lz = rad(m.rollRate);
    vec(p + 204, c * lx + sn * lz, ly, -sn * lx + c * lz);
    vec(p + 228, lx, ly, lz);
  }

  double rate() const override { return 300.0; }
  std::string executable() const override { return "RRRE64.exe"; }

 private:
  int major_, minor_;
  bool inMenus_;
  std::size_t flags_ = 16, player_ = 36;
  Page block_;
};

// --- Project CARS 2 and Automobilista 2: "$pcars2$" ---
//
// SharedMemory: mVersion 0, mBuildVersionNumber 4, mGameState 8 (2 = playing),
// mSessionState 12, mRaceState 16, ..., mSpeed 6848, mRpm 6852, ...,
// mOrientation[3] 6908, mLocalVelocity[3] 6920, mWorldVelocity[3] 6932,
// mAngularVelocity[3] 6944, mLocalAcceleration[3] 6956 (floats), in the
// component order the engine reads them.
class ProjectCars2 final : public Game {
 public:
  explicit ProjectCars2(std::size_t size) : size_(size) {}

  bool open(std::string* error) override {
    if (!block_.create("$pcars2$", size_, error)) return false;
    block_.put<std::uint32_t>(0, 9);
    block_.put<std::uint32_t>(8, 2);   // GAME_INGAME_PLAYING
    block_.put<std::uint32_t>(12, 5);  // SESSION_RACE
    block_.put<std::uint32_t>(16, 2);  // RACESTATE_RACING
    block_.put<std::int32_t>(24, 1);
    return true;
  }

  void publish(const Motion& m, double) override {
    block_.putF(6848, m.speed);
    block_.putF(6852, m.rpm);
    block_.putF(6908, -rad(m.yaw));
    block_.putF(6912, rad(m.roll));
    block_.putF(6916, rad(m.pitch));
    block_.putF(6920, m.lateralSpeed);
    block_.putF(6924, m.longitudinalSpeed);
    block_.putF(6928, m.verticalSpeed);
    block_.putF(6944, -rad(m.yawRate));
    block_.putF(6948, rad(m.rollRate));
    block_.putF(6952, rad(m.pitchRate));
    block_.putF(6956, m.lateralAccel);
    block_.putF(6960, m.longitudinalAccel);
    block_.putF(6964, m.verticalAccel);
  }

  double rate() const override { return 100.0; }

 private:
  std::size_t size_;
  Page block_;
};

// --- iRacing: the SDK's block and data-valid event ---
//
// irsdk_header: ver 0, status 4, tickRate 8, sessionInfoUpdate 12,
// sessionInfoLen 16, sessionInfoOffset 20, numVars 24, varHeaderOffset 28,
// numBuf 32, bufLen 36, varBuf[4] from 48 (tickCount, bufOffset, pad[2]).
// irsdk_varHeader (144 bytes): type 0, offset 4, count 8, countAsTime 12,
// name 16, desc 48, unit 112. The game writes the next of three lines 60
// times a second, then its tick count. Accelerations include gravity;
// rates are rad/s.
class IRacing final : public Game {
 public:
  bool open(std::string* error) override {
    struct Var {
      const char* name;
      std::int32_t type;  // 2 int, 4 float, 5 double
    };
    static constexpr Var kVars[] = {{"SessionTime", 5}, {"SessionTick", 2}, {"Speed", 4},    {"RPM", 4},
                                    {"Yaw", 4},         {"YawNorth", 4},    {"Pitch", 4},    {"Roll", 4},
                                    {"VertAccel", 4},   {"LatAccel", 4},    {"LongAccel", 4}, {"RollRate", 4},
                                    {"PitchRate", 4},   {"YawRate", 4}};
    constexpr std::size_t kVarHeaders = 512, kLines = 4096;
    std::int32_t offset = 0;
    for (const Var& v : kVars) {
      offsets_.push_back(offset);
      offset += v.type == 5 ? 8 : 4;
    }
    lineLength_ = static_cast<std::size_t>(offset);
    const std::size_t size = kLines + 3 * 1024;
    if (!block_.create("Local\\IRSDKMemMapFileName", size, error)) return false;
    if (!event_.create("Local\\IRSDKDataValidEvent")) {
      *error = "cannot create the data-valid event";
      return false;
    }
    block_.put<std::int32_t>(0, 2);
    block_.put<std::int32_t>(4, 1);  // connected
    block_.put<std::int32_t>(8, 60);
    const char session[] = "---\nWeekendInfo:\n TrackName: gamesim\n...\n";
    block_.put<std::int32_t>(16, static_cast<std::int32_t>(sizeof session));
    block_.put<std::int32_t>(20, 112);
    for (std::size_t i = 0; i < sizeof session; ++i) block_.put<char>(112 + i, session[i]);
    block_.put<std::int32_t>(24, static_cast<std::int32_t>(std::size(kVars)));
    block_.put<std::int32_t>(28, static_cast<std::int32_t>(kVarHeaders));
    block_.put<std::int32_t>(32, 3);
    block_.put<std::int32_t>(36, static_cast<std::int32_t>(lineLength_));
    for (std::size_t i = 0; i < std::size(kVars); ++i) {
      const std::size_t at = kVarHeaders + i * 144;
      block_.put<std::int32_t>(at, kVars[i].type);
      block_.put<std::int32_t>(at + 4, offsets_[i]);
      block_.put<std::int32_t>(at + 8, 1);
      for (std::size_t c = 0; kVars[i].name[c]; ++c) block_.put<char>(at + 16 + c, kVars[i].name[c]);
      names_.push_back(kVars[i].name);
    }
    for (int b = 0; b < 3; ++b) {
      block_.put<std::int32_t>(48 + 16 * b, 0);
      block_.put<std::int32_t>(48 + 16 * b + 4, static_cast<std::int32_t>(kLines + 1024 * b));
    }
    return true;
  }

  void publish(const Motion& m, double time) override {
    ++tick_;
    const int b = tick_ % 3;
    const std::size_t line = 4096 + 1024 * static_cast<std::size_t>(b);
    const Felt felt = gravityFelt(m);
    const auto set = [&](const std::string& name, double v) {
      for (std::size_t i = 0; i < names_.size(); ++i)
        if (names_[i] == name) block_.putF(line + static_cast<std::size_t>(offsets_[i]), v);
    };
    block_.put<double>(line + static_cast<std::size_t>(offsets_[0]), time);
    block_.put<std::int32_t>(line + static_cast<std::size_t>(offsets_[1]), tick_);
    set("Speed", m.speed);
    set("RPM", m.rpm);
    set("Yaw", rad(m.yaw));
    set("YawNorth", rad(m.yaw < 0 ? m.yaw + 360.0 : m.yaw));
    set("Pitch", -rad(m.pitch));
    set("Roll", rad(m.roll));
    set("LatAccel", -(m.lateralAccel + felt.lateral));
    set("LongAccel", m.longitudinalAccel + felt.longitudinal);
    set("VertAccel", m.verticalAccel + felt.vertical);
    set("YawRate", rad(m.yawRate));
    set("PitchRate", rad(m.pitchRate));
    set("RollRate", rad(m.rollRate));
    block_.put<std::int32_t>(48 + 16 * static_cast<std::size_t>(b), tick_);
  }

  double rate() const override { return 60.0; }
  std::string executable() const override { return "iRacingSim64DX11.exe"; }

 private:
  Page block_;
  kinevra::platform::NamedEvent event_;
  std::vector<std::int32_t> offsets_;
  std::vector<std::string> names_;
  std::size_t lineLength_ = 0;
  std::int32_t tick_ = 0;
};

// --- rFactor 2: the engine's plug-in block "Local\Kinevra_rf2_data" ---
//
// marker 0 (1234567890 until the plug-in has filled the block, then the
// layout's version), update count 4, simulation time 12, local velocity 184,
// local acceleration 208, orientation matrix 232 (rows), local rotation 304,
// local rotational acceleration 328 (doubles). Car axes: x left, y up, z back.
class RFactor2 final : public Game {
 public:
  explicit RFactor2(bool notReady) : notReady_(notReady) {}

  bool open(std::string* error) override {
    if (!block_.create("Local\\Kinevra_rf2_data", 1888, error)) return false;
    block_.put<std::int32_t>(0, 1234567890);
    return true;
  }

  void publish(const Motion& m, double time) override {
    if (notReady_) return;
    block_.put<std::int32_t>(4, ++updates_);
    const auto vec = [&](std::size_t at, double x, double y, double z) {
      block_.put<double>(at, x);
      block_.put<double>(at + 8, y);
      block_.put<double>(at + 16, z);
    };
    vec(184, -m.lateralSpeed, m.verticalSpeed, -m.longitudinalSpeed);
    vec(208, -m.lateralAccel, m.verticalAccel, -m.longitudinalAccel);
    // Heading about y, then roll about z, then pitch about x.
    const double h = -rad(m.yaw), a = rad(m.roll), b = rad(m.pitch);
    const double ch = std::cos(h), sh = std::sin(h), ca = std::cos(a), sa = std::sin(a), cb = std::cos(b),
                 sb = std::sin(b);
    const double mat[9] = {ch * ca, -ch * sa * cb + sh * sb, ch * sa * sb + sh * cb,
                           sa,      ca * cb,                 -ca * sb,
                           -sh * ca, sh * sa * cb + ch * sb, -sh * sa * sb + ch * cb};
    for (std::size_t i = 0; i < 9; ++i) block_.put<double>(232 + 8 * i, mat[i]);
    vec(304, rad(m.pitchRate), -rad(m.yawRate), rad(m.rollRate));
    vec(328, rad(m.pitchAccel), -rad(m.yawAccel), rad(m.rollAccel));
    // The clock last: a reader that sees it move sees the values with it.
    block_.put<double>(12, time);
    block_.put<std::int32_t>(0, 1);
  }

  double rate() const override { return 100.0; }
  std::string executable() const override { return "rFactor2.exe"; }

 private:
  bool notReady_;
  Page block_;
  std::int32_t updates_ = 0;
};

// --- Euro Truck Simulator 2 / American Truck Simulator: the plug-in block ---
//
// Packed: running 0 (byte), ..., heading 25, pitch 29, roll 33 (turns; the
// heading counter-clockwise from north in [0, 1)), speed 41, rpm 45, ...,
// local velocity 69, local angular velocity 81 (turns/s), local
// acceleration 93, local angular acceleration 105 (turns/s²). Truck axes:
// x right, y up, z back; roll turns the other way from the engine's.
class TruckSim final : public Game {
 public:
  bool open(std::string* error) override { return block_.create("SCSTelemetryExample", 177, error); }

  void publish(const Motion& m, double) override {
    const double heading = m.yaw < 0 ? m.yaw + 360.0 : m.yaw;
    block_.putF(25, heading / 360.0);
    block_.putF(29, m.pitch / 360.0);
    block_.putF(33, -m.roll / 360.0);
    block_.putF(41, m.speed);
    block_.putF(45, m.rpm);
    block_.putF(69, m.lateralSpeed);
    block_.putF(73, m.verticalSpeed);
    block_.putF(77, -m.longitudinalSpeed);
    block_.putF(81, m.pitchRate / 360.0);
    block_.putF(85, m.yawRate / 360.0);
    block_.putF(89, -m.rollRate / 360.0);
    block_.putF(93, m.lateralAccel);
    block_.putF(97, m.verticalAccel);
    block_.putF(101, -m.longitudinalAccel);
    block_.putF(105, m.pitchAccel / 360.0);
    block_.putF(109, m.yawAccel / 360.0);
    block_.putF(113, -m.rollAccel / 360.0);
    block_.put<std::uint8_t>(0, 1);
  }

  // The plug-in says so when the game stops sending.
  void close() override { block_.put<std::uint8_t>(0, 0); }

  double rate() const override { return 60.0; }
  std::string executable() const override { return "eurotrucks2.exe"; }

 private:
  Page block_;
};

}  // namespace

std::unique_ptr<Game> makeGame(const GameOptions& o) {
  if (o.name == "ac") return std::make_unique<AssettoCorsa>(true, o.graphicsSize);
  if (o.name == "acevo") return std::make_unique<AssettoCorsa>(false, 0);
  if (o.name == "r3e") return std::make_unique<RaceRoom>(o.r3eMajor, o.r3eMinor, o.r3eInMenus);
  if (o.name == "pcars2") return std::make_unique<ProjectCars2>(o.pcars2Size);
  if (o.name == "iracing") return std::make_unique<IRacing>();
  if (o.name == "rf2") return std::make_unique<RFactor2>(o.rf2NotReady);
  if (o.name == "scs") return std::make_unique<TruckSim>();
  if (auto game = makeUdpGame(o)) return game;
  return makeNetworkGame(o);
}

}  // namespace gamesim
