#include "games.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "platform/shared_memory.h"

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
    physics_.put<std::int32_t>(0, ++packet_);
    if (withGraphics_ && packet_ % 5 == 0) graphics_.put<std::int32_t>(0, packet_ / 5);
  }

  void close() override {
    if (withGraphics_) graphics_.put<std::int32_t>(4, 0);  // AC_OFF
  }

  double rate() const override { return 333.0; }

 private:
  bool withGraphics_;
  std::size_t graphicsSize_;
  Page physics_, graphics_;
  std::int32_t packet_ = 0;
};

}  // namespace

std::unique_ptr<Game> makeGame(const GameOptions& o) {
  if (o.name == "ac") return std::make_unique<AssettoCorsa>(true, o.graphicsSize);
  if (o.name == "acevo") return std::make_unique<AssettoCorsa>(false, 0);
  return nullptr;
}

}  // namespace gamesim
