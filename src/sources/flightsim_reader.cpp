#include "sources/flightsim_reader.h"

#include <cmath>
#include <cstring>

#include "sources/game_values.h"

namespace kinevra {

namespace {
constexpr char kAppName[] = "Kinevra";

constexpr std::uint32_t kDefinition = 0, kRequest = 0, kUserAircraft = 0;
constexpr std::uint32_t kEverySimFrame = 3;
constexpr std::uint32_t kFloat64 = 4, kInt64 = 2;

struct Variable {
  const char* name;
  const char* units;
  std::uint32_t type;
};
// Definition 0, in the order of the values of a data message.
constexpr Variable kVariables[flightsim_message::kValueCount] = {
    {"ACCELERATION BODY X", "meter per second squared", kFloat64},
    {"ACCELERATION BODY Y", "meter per second squared", kFloat64},
    {"ACCELERATION BODY Z", "meter per second squared", kFloat64},
    {"ROTATION ACCELERATION BODY X", "radians per second squared", kFloat64},
    {"ROTATION ACCELERATION BODY Y", "radians per second squared", kFloat64},
    {"ROTATION ACCELERATION BODY Z", "radians per second squared", kFloat64},
    {"VELOCITY BODY X", "meter per second", kFloat64},
    {"VELOCITY BODY Y", "meter per second", kFloat64},
    {"VELOCITY BODY Z", "meter per second", kFloat64},
    {"ROTATION VELOCITY BODY X", "radians per second", kFloat64},
    {"ROTATION VELOCITY BODY Y", "radians per second", kFloat64},
    {"ROTATION VELOCITY BODY Z", "radians per second", kFloat64},
    {"PLANE HEADING DEGREES TRUE", "radians", kFloat64},
    {"PLANE BANK DEGREES", "radians", kFloat64},
    {"PLANE PITCH DEGREES", "radians", kFloat64},
    {"GEAR IS ON GROUND", "Bool", kInt64},
    {"SIM ON GROUND", "Bool", kInt64},
};
constexpr int kSimOnGround = 16;

struct Subscription {
  std::uint32_t id;
  const char* name;
};
constexpr Subscription kSubscriptions[] = {{6, "Crashed"}, {7, "Quit"}, {4, "SimStart"}, {5, "SimStop"}, {3, "Sim"}};

// The simulator's degrees use this value of pi.
constexpr double kDeg = 180.0 / 3.14159265358979;
// Attitudes lie within a turn; anything far beyond is not an attitude, and
// would overflow when gravity is split out of it.
constexpr double kMaxAttitudeRadians = 1000.0;

std::uint32_t get32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
template <typename T>
T get64(const unsigned char* p) {
  std::uint64_t u = 0;
  for (int i = 0; i < 8; ++i) u |= static_cast<std::uint64_t>(p[i]) << (8 * i);
  T v;
  std::memcpy(&v, &u, sizeof v);
  return v;
}
}  // namespace

FlightSimReader::FlightSimReader(int gameId, Clock& clock, FlightSimOpener opener)
    : GameReader(gameId, clock, GravityDirection::AddToAcceleration), opener_(opener) {}

void FlightSimReader::closeConnection() {
  connection_.reset();
  connected_ = false;
}

bool FlightSimReader::openConnection() {
  // A connection still held here is left over from a pass whose attach
  // failed: start afresh rather than open a second one beside it.
  closeConnection();
  connection_ = opener_ ? opener_(kAppName, &lastResult_) : nullptr;
  if (lastResult_ < 0 || !connection_) {
    closeConnection();
    return false;
  }
  connected_ = true;
  return true;
}

bool FlightSimReader::probe() {
  if (!openConnection()) return false;
  if (gameProcessRunning()) return true;
  // Another edition answered the connection: not this game.
  closeConnection();
  return false;
}

int FlightSimReader::attach() {
  if (!connection_) return 0;
  for (const Variable& v : kVariables)
    lastResult_ = connection_->addToDataDefinition(kDefinition, v.name, v.units, v.type);
  lastResult_ = connection_->requestData(kRequest, kDefinition, kUserAircraft, kEverySimFrame);
  for (const Subscription& s : kSubscriptions) lastResult_ = connection_->subscribeToSystemEvent(s.id, s.name);
  // The last subscription decides: it fails too when the connection has been
  // lost on the way.
  if (lastResult_ == 0) return 1;
  closeConnection();
  return 0;
}

bool FlightSimReader::takeData(const unsigned char* m, std::uint32_t size, double* gameData) {
  namespace fm = flightsim_message;
  if (size < fm::kRequestAt + 4 || get32(m + fm::kRequestAt) != kRequest) return false;
  if (size < fm::kDataAt + 8 * fm::kValueCount) return false;
  double x[fm::kValueCount];
  for (int i = 0; i < fm::kValueCount; ++i) x[i] = get64<double>(m + fm::kDataAt + 8 * i);
  for (int i = 12; i <= 14; ++i)
    if (!(std::fabs(x[i]) <= kMaxAttitudeRadians)) return false;
  GameValues v;
  v.set(gd::kLateralAccel, x[0]);
  v.set(gd::kVerticalAccel, x[1]);
  v.set(gd::kLongitudinalAccel, x[2]);
  v.set(gd::kLateralSpeed, -x[6]);
  v.set(gd::kVerticalSpeed, -x[7]);
  v.set(gd::kLongitudinalSpeed, x[8]);
  v.set(gd::kPitchSpeed, -x[9] * kDeg);
  v.set(gd::kYawSpeed, -x[10] * kDeg);
  v.set(gd::kRollSpeed, -x[11] * kDeg);
  v.set(gd::kYawPosition, x[12] * kDeg);
  v.set(gd::kRollPosition, x[13] * kDeg);
  v.set(gd::kPitchPosition, -x[14] * kDeg);
  // A set holding a NaN or infinity is dropped whole: the last good values stay.
  if (!v.writeIfFinite(gameData)) return false;
  setGroundState(get64<std::int64_t>(m + fm::kDataAt + 8 * kSimOnGround) == 1 ? 1 : 0);
  return true;
}

int FlightSimReader::update(double* gameData) {
  namespace fm = flightsim_message;
  if (!connection_) return 0;
  for (;;) {
    const unsigned char* m = nullptr;
    std::uint32_t size = 0;
    if (connection_->nextMessage(&m, &size) < 0 || !m) break;
    if (size < fm::kIdAt + 4) continue;  // no id: nothing to interpret
    const std::uint32_t id = get32(m + fm::kIdAt);
    if (id == fm::kException) break;
    if (id == fm::kQuit ||
        (id == fm::kEvent && size >= fm::kEventIdAt + 4 && get32(m + fm::kEventIdAt) == fm::kQuitEvent)) {
      closeConnection();
      return 0;
    }
    if (id == fm::kObjectData) takeData(m, size, gameData);
  }
  stepMeter(gameData);
  return finishUpdate(gameData);
}

}  // namespace kinevra
