// The flight-simulator reader: its set-up and update against a scripted
// connection for the cases a real simulator cannot be made to show on cue,
// and the whole path against fsimsim running under the simulator's name.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "client_folders.h"
#include "common/clock.h"
#include "engine/gamesource.h"
#include "link/link_state.h"
#include "flight.h"
#include "flightsim_client/flightsim_client.h"
#include "fsimsim_double.h"
#include "game_double.h"
#include "manual_clock.h"
#include "sources/flightsim_reader.h"
#include "sources/gravity.h"
#include "sources/telemetry_frame.h"

namespace kinevra {
namespace {

using Bytes = std::vector<unsigned char>;
constexpr double kDeg = 180.0 / 3.14159265358979;

void put32(Bytes& m, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) m[at + i] = static_cast<unsigned char>(v >> (8 * i));
}
Bytes message(std::uint32_t id, std::size_t size) {
  Bytes m(size, 0);
  put32(m, 0, static_cast<std::uint32_t>(size));
  put32(m, 8, id);
  return m;
}
Bytes event(std::uint32_t eventId) {
  Bytes m = message(4, 24);
  put32(m, 12, 0xFFFFFFFFu);
  put32(m, 16, eventId);
  return m;
}
// Aircraft data: value i is base + i, the two flags as 64-bit integers.
Bytes data(double base, std::int64_t onGround, std::uint32_t request = 0) {
  Bytes m = message(8, 40 + 17 * 8);
  put32(m, 12, request);
  for (int i = 0; i < 15; ++i) {
    const double v = base + i;
    std::memcpy(&m[40 + 8 * i], &v, 8);
  }
  std::memcpy(&m[40 + 8 * 15], &onGround, 8);
  std::memcpy(&m[40 + 8 * 16], &onGround, 8);
  return m;
}

// The scripted connection: each call's result in turn, and a queue of messages.
struct Script {
  std::vector<int> results;  // call i returns results[i] (0 beyond)
  std::vector<std::string> calls;
  std::deque<Bytes> queue;
  Bytes current;
  int open = 0;
};
Script* gScript = nullptr;

class ScriptedConnection final : public FlightSimConnection {
 public:
  ScriptedConnection() { ++gScript->open; }
  ~ScriptedConnection() override { --gScript->open; }
  int addToDataDefinition(std::uint32_t def, const char* name, const char* units, std::uint32_t type) override {
    return call("define " + std::to_string(def) + " " + name + " | " + units + " | " + std::to_string(type));
  }
  int requestData(std::uint32_t req, std::uint32_t def, std::uint32_t obj, std::uint32_t period) override {
    return call("request " + std::to_string(req) + " " + std::to_string(def) + " " + std::to_string(obj) + " " +
                std::to_string(period));
  }
  int subscribeToSystemEvent(std::uint32_t id, const char* name) override {
    return call("subscribe " + std::to_string(id) + " " + name);
  }
  int nextMessage(const unsigned char** d, std::uint32_t* size) override {
    *d = nullptr;
    *size = 0;
    if (gScript->queue.empty()) return static_cast<int>(0x80004005u);
    gScript->current = std::move(gScript->queue.front());
    gScript->queue.pop_front();
    *d = gScript->current.data();
    *size = static_cast<std::uint32_t>(gScript->current.size());
    return 0;
  }

 private:
  int call(const std::string& what) {
    const std::size_t i = gScript->calls.size();
    gScript->calls.push_back(what);
    return i < gScript->results.size() ? gScript->results[i] : 0;
  }
};

std::unique_ptr<FlightSimConnection> openScripted(const char*, int* result) {
  *result = 0;
  return std::make_unique<ScriptedConnection>();
}

class FlightSimReaderScripted : public ::testing::Test {
 protected:
  void SetUp() override { gScript = &script; }
  void TearDown() override { gScript = nullptr; }
  Script script;
  test::ManualClock clock;
  double g[kGameDataCount] = {};
};

TEST_F(FlightSimReaderScripted, SetUpDefinesRequestsSubscribesAndTheLastSubscriptionDecides) {
  FlightSimReader reader(2, clock, openScripted);
  ASSERT_TRUE(reader.openConnection());
  EXPECT_EQ(reader.attach(), 1);
  ASSERT_EQ(script.calls.size(), 23u);
  EXPECT_EQ(script.calls[0], "define 0 ACCELERATION BODY X | meter per second squared | 4");
  EXPECT_EQ(script.calls[9], "define 0 ROTATION VELOCITY BODY X | radians per second | 4");
  EXPECT_EQ(script.calls[14], "define 0 PLANE PITCH DEGREES | radians | 4");
  EXPECT_EQ(script.calls[15], "define 0 GEAR IS ON GROUND | Bool | 2");
  EXPECT_EQ(script.calls[16], "define 0 SIM ON GROUND | Bool | 2");
  EXPECT_EQ(script.calls[17], "request 0 0 0 3");
  EXPECT_EQ(script.calls[18], "subscribe 6 Crashed");
  EXPECT_EQ(script.calls[19], "subscribe 7 Quit");
  EXPECT_EQ(script.calls[22], "subscribe 3 Sim");
  EXPECT_TRUE(reader.connected());

  // A failed earlier call with a successful last one: set up.
  script.calls.clear();
  script.results.assign(23, 0);
  script.results[3] = -1;
  script.results[17] = -1;
  ASSERT_TRUE(reader.openConnection());
  EXPECT_EQ(script.open, 1);  // the earlier connection was dropped
  EXPECT_EQ(reader.attach(), 1);
  EXPECT_EQ(reader.lastResult(), 0);

  // A failed last subscription: fails and closes.
  script.calls.clear();
  script.results.assign(23, 0);
  script.results[22] = static_cast<int>(0xC000020Du);
  ASSERT_TRUE(reader.openConnection());
  EXPECT_EQ(reader.attach(), 0);
  EXPECT_EQ(reader.lastResult(), static_cast<int>(0xC000020Du));
  EXPECT_FALSE(reader.hasConnection());
  EXPECT_FALSE(reader.connected());
  EXPECT_EQ(script.open, 0);
  EXPECT_EQ(reader.update(g), 0);
}

TEST_F(FlightSimReaderScripted, UpdateDrainsTheQueueAndTheLastDataWins) {
  FlightSimReader reader(15, clock, openScripted);
  ASSERT_TRUE(reader.openConnection());
  ASSERT_EQ(reader.attach(), 1);

  // Two data messages among ignored events and a short data message: the second wins.
  script.queue = {data(1.0, 0), event(6), event(4), event(5), event(3), data(0.25, 1), message(8, 100),
                  data(50.0, 0, 1), message(99, 12), message(4, 12), Bytes(5, 8)};
  clock.advanceUs(4000);
  EXPECT_EQ(reader.update(g), 1);
  EXPECT_TRUE(script.queue.empty());
  const double b = 0.25;
  EXPECT_DOUBLE_EQ(g[gd::kLateralAccel], b + 0);
  EXPECT_DOUBLE_EQ(g[gd::kVerticalAccel], b + 1);
  EXPECT_DOUBLE_EQ(g[gd::kLongitudinalAccel], b + 2);
  EXPECT_DOUBLE_EQ(g[gd::kLateralSpeed], -(b + 6));
  EXPECT_DOUBLE_EQ(g[gd::kVerticalSpeed], -(b + 7));
  EXPECT_DOUBLE_EQ(g[gd::kLongitudinalSpeed], b + 8);
  EXPECT_DOUBLE_EQ(g[gd::kPitchSpeed], -(b + 9) * kDeg);
  EXPECT_DOUBLE_EQ(g[gd::kYawSpeed], -(b + 10) * kDeg);
  EXPECT_DOUBLE_EQ(g[gd::kRollSpeed], -(b + 11) * kDeg);
  EXPECT_DOUBLE_EQ(g[gd::kYawPosition], (b + 12) * kDeg);
  EXPECT_DOUBLE_EQ(g[gd::kRollPosition], (b + 13) * kDeg);
  EXPECT_DOUBLE_EQ(g[gd::kPitchPosition], -(b + 14) * kDeg);
  // Gravity added from roll and pitch.
  EXPECT_DOUBLE_EQ(g[gd::kLateralAccelG], g[gd::kLateralAccel] + g[gd::kLateralGravi]);
  EXPECT_DOUBLE_EQ(g[gd::kVerticalAccelG], g[gd::kVerticalAccel] + g[gd::kVerticalGravi]);
  EXPECT_NE(g[gd::kVerticalGravi], 0.0);
  EXPECT_EQ(reader.groundState(), 1);
  EXPECT_NEAR(g[gd::kIntervalMs], 4.0, 0.01);

  // No message: still an update, the meter stepped, the values kept.
  clock.advanceUs(2000);
  EXPECT_EQ(reader.update(g), 1);
  EXPECT_NEAR(g[gd::kIntervalMs], 2.0, 0.01);
  EXPECT_DOUBLE_EQ(g[gd::kLateralAccel], b);

  // Ground flag 0; a NaN set is dropped whole.
  script.queue = {data(2.0, 0)};
  EXPECT_EQ(reader.update(g), 1);
  EXPECT_EQ(reader.groundState(), 0);
  EXPECT_DOUBLE_EQ(g[gd::kLateralAccel], 2.0);
  script.queue = {data(std::nan(""), 1), data(1e300, 1)};  // the second: no attitude
  EXPECT_EQ(reader.update(g), 1);
  EXPECT_EQ(reader.groundState(), 0);
  EXPECT_DOUBLE_EQ(g[gd::kLateralAccel], 2.0);
  EXPECT_TRUE(std::isfinite(g[gd::kLateralAccelG]));

  // An exception ends the drain: what follows waits for the next cycle.
  script.queue = {message(1, 24), data(3.0, 1)};
  EXPECT_EQ(reader.update(g), 1);
  EXPECT_DOUBLE_EQ(g[gd::kLateralAccel], 2.0);
  EXPECT_EQ(script.queue.size(), 1u);
  EXPECT_EQ(reader.update(g), 1);
  EXPECT_DOUBLE_EQ(g[gd::kLateralAccel], 3.0);

  // The "Quit" event closes, with data ahead of it taken first.
  script.queue = {data(4.0, 1), event(7), data(5.0, 1)};
  EXPECT_EQ(reader.update(g), 0);
  EXPECT_DOUBLE_EQ(g[gd::kLateralAccel], 4.0);
  EXPECT_FALSE(reader.hasConnection());
  EXPECT_EQ(script.open, 0);
  EXPECT_EQ(reader.update(g), 0);

  // So does the quit message.
  ASSERT_TRUE(reader.openConnection());
  ASSERT_EQ(reader.attach(), 1);
  script.queue = {message(3, 12)};
  EXPECT_EQ(reader.update(g), 0);
  EXPECT_FALSE(reader.connected());
  EXPECT_EQ(script.open, 0);
}

// Against fsimsim under the 2020 edition's name, reached through the
// simulator's own pipe with no configuration file.
TEST(FlightSimReaderLive, DetectsAttachesReadsTheFlightAndClosesOnQuit) {
  test::ClientFolders folders;
  test::FlightSimDouble sim(test::kSimulatorPipe, {"--at", "70"});
  ASSERT_TRUE(sim.started()) << sim.why();
  Clock& clock = systemClock();

  // The 2024 edition's check connects but finds no process: it lets go.
  FlightSimReader other(15, clock);
  EXPECT_FALSE(other.probe());
  EXPECT_FALSE(other.hasConnection());
  EXPECT_EQ(flightsim::openClientCount(), 0);

  FlightSimReader reader(2, clock);
  ASSERT_TRUE(reader.probe());
  EXPECT_TRUE(reader.connected());
  ASSERT_EQ(reader.attach(), 1);
  ASSERT_TRUE(sim.logged("subscribe 3 Sim"));
  const std::string log = sim.logText();
  EXPECT_NE(log.find("open Kinevra"), std::string::npos) << log;
  EXPECT_NE(log.find("request 0 0 0 3"), std::string::npos) << log;

  // In the turn: bank 0.44 rad, yaw rate 0.05 rad/s, airborne.
  const fsimsim::FlightState s = fsimsim::flightAt(70);
  double g[kGameDataCount] = {};
  reader.setGroundState(1);
  ASSERT_TRUE(test::eventually([&] {
    EXPECT_EQ(reader.update(g), 1);
    return g[gd::kRollPosition] != 0.0;
  }));
  EXPECT_NEAR(g[gd::kRollPosition], s.bank * kDeg, 1e-9);
  EXPECT_NEAR(g[gd::kYawSpeed], -s.rotVel[1] * kDeg, 1e-9);
  EXPECT_NEAR(g[gd::kLongitudinalSpeed], s.velocity[2], 1e-9);
  EXPECT_NEAR(g[gd::kLateralAccel], s.accel[0], 1e-9);
  EXPECT_EQ(reader.groundState(), 0);

  // The simulator quits: the update reports nothing from then on.
  ASSERT_TRUE(sim.command("quit"));
  ASSERT_TRUE(test::eventually([&] { return reader.update(g) == 0; }));
  EXPECT_FALSE(reader.hasConnection());
  EXPECT_EQ(reader.update(g), 0);
  EXPECT_EQ(flightsim::openClientCount(), 0);
}

// The engine flies fsimsim: it finds and attaches the simulator, and the
// profile switch follows the ground flag through take-off and landing with
// the cross-fade of 100 cycles; when the simulator quits the engine lets go
// and searches again.
TEST(FlightSimEngine, TheProfileSwitchFollowsTakeOffAndLanding) {
  using namespace std::chrono_literals;
  test::ClientFolders folders;
  test::FlightSimDouble sim(test::kSimulatorPipe, {"--at", "10"});  // taxiing
  ASSERT_TRUE(sim.started()) << sim.why();
  LinkState ownLink;
  auto engine = std::make_unique<Gamesource>(systemClock(), nullptr, &ownLink);
  engine->poseMappingName = "Local\\motionRigPose-fsim-" + test::uniqueName("pose");
  engine->startThread();
  ASSERT_TRUE(test::eventually([&] { return engine->attached.load() && engine->sources.gameId() == 2; }, 120s));
  engine->timer.precise = 0;  // sleep pacing: the machine has other work
  engine->setMotionSystemReady(1);
  ASSERT_TRUE(test::eventually([&] {
    return engine->activeProfile.load() == 1 && engine->groundTransitionStatus() == 100.0 &&
           engine->airTransitionStatus() == 0.0;
  }, 60s));

  // Take-off: the air profile fades in; the statuses always add up to 100
  // (within the truncation of both) and pass through the middle.
  ASSERT_TRUE(sim.command("at 70"));
  bool between = false;
  ASSERT_TRUE(test::eventually([&] {
    const double air = engine->airTransitionStatus(), ground = engine->groundTransitionStatus();
    EXPECT_GE(air + ground, 98.0);
    EXPECT_LE(air + ground, 100.0);
    if (air > 0.0 && air < 100.0) between = true;
    return engine->activeProfile.load() == 0 && air == 100.0 && ground == 0.0;
  }, 60s));
  EXPECT_TRUE(between);
  // The ground profile was zeroed as the switch ended and runs on at weight 0.
  const auto zeros = [](const double* cue, int n) {
    for (int i = 0; i < n; ++i)
      if (loadShared(cue[i]) != 0.0) return false;
    return true;
  };
  EXPECT_TRUE(zeros(engine->sources.frame.groundCue, kChannelCount));

  // Landing: back to the ground profile.
  ASSERT_TRUE(sim.command("at 117"));
  ASSERT_TRUE(test::eventually([&] {
    return engine->activeProfile.load() == 1 && engine->groundTransitionStatus() == 100.0 &&
           engine->airTransitionStatus() == 0.0;
  }, 60s));
  EXPECT_TRUE(zeros(engine->sources.frame.airCue, 10));  // its belt, effects and wind run on

  // The simulator quits: detached after the read-failure limit, searching
  // again, and found again since fsimsim goes on serving.
  ASSERT_TRUE(sim.command("quit"));
  ASSERT_TRUE(test::eventually([&] { return !engine->attached.load(); }, 60s));
  EXPECT_TRUE(test::eventually([&] { return engine->attached.load(); }, 120s));
  engine->stopGameSource();
}

}  // namespace
}  // namespace kinevra
