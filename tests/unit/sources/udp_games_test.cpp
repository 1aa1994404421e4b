// The UDP games end to end: gamesim plays X-Plane, DCS, DiRT Rally 2.0,
// Condor and F1 as a separate process, sending its scripted drive (or, for
// the flight simulators, its circuit) in the game's datagrams over loopback;
// the engine's sources detect, attach and read them, and GameData must
// describe the motion that was sent. Datagrams the games may also send (short,
// odd, of another format) go from the test's own socket to the reader's port.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "drive.h"
#include "engine/gamesource.h"
#include "flight.h"
#include "game_double.h"
#include "manual_clock.h"
#include "platform/sockets.h"
#include "sources/network/condor.h"
#include "sources/network/dcs.h"
#include "sources/network/xplane.h"
#include "sources/telemetry_sources.h"
#include "sources/udp_reader.h"

namespace kinevra {
namespace {

using gamesim::Motion;
using test::GameDouble;

constexpr double kPi = 3.141592653589793;
constexpr int kFrontLeft = 26, kFrontRight = 27, kRearLeft = 28, kRearRight = 29, kSpeed = 32;

#if defined(_WIN32)
const char* const kXPlaneExe = "X-Plane.exe";
#else
const char* const kXPlaneExe = "X-Plane-x86_64";  // the native build
#endif

double wrap180(double deg) {
  deg = std::fmod(deg + 180.0, 360.0);
  if (deg <= 0) deg += 360.0;
  return deg - 180.0;
}

// What a game delivers.
enum Provides : unsigned {
  kSpeeds = 1,
  kRates = 2,
  kAngularAccels = 4,
  kPitchGravityReversed = 8,  // DiRT: longitudinal gravity -g sin(pitch)
};

// GameData against the motion sent: attitude, accelerations without gravity
// (whichever way the game delivers them, so gravity was split in the game's
// direction), and what else the game provides.
void expectMotion(const double* g, const Motion& m, unsigned provides) {
  constexpr double kTol = 2e-3;
  EXPECT_NEAR(g[gd::kPitchPosition], m.pitch, kTol);
  EXPECT_NEAR(g[gd::kRollPosition], m.roll, kTol);
  EXPECT_NEAR(wrap180(g[gd::kYawPosition] - m.yaw), 0.0, kTol);
  EXPECT_NEAR(g[gd::kLateralAccel], m.lateralAccel, kTol);
  EXPECT_NEAR(g[gd::kLongitudinalAccel], m.longitudinalAccel, kTol);
  EXPECT_NEAR(g[gd::kVerticalAccel], m.verticalAccel, kTol);
  if (provides & kSpeeds) {
    EXPECT_NEAR(g[gd::kLateralSpeed], m.lateralSpeed, kTol);
    EXPECT_NEAR(g[gd::kLongitudinalSpeed], m.longitudinalSpeed, kTol);
    EXPECT_NEAR(g[gd::kVerticalSpeed], m.verticalSpeed, kTol);
  }
  if (provides & kRates) {
    EXPECT_NEAR(g[gd::kYawSpeed], m.yawRate, kTol);
    EXPECT_NEAR(g[gd::kPitchSpeed], m.pitchRate, kTol);
    EXPECT_NEAR(g[gd::kRollSpeed], m.rollRate, kTol);
  }
  if (provides & kAngularAccels) {
    EXPECT_NEAR(g[gd::kYawAccel], m.yawAccel, 1e-2);
    EXPECT_NEAR(g[gd::kPitchAccel], m.pitchAccel, 1e-2);
    EXPECT_NEAR(g[gd::kRollAccel], m.rollAccel, 1e-2);
  }
  const double p = m.pitch * kPi / 180.0, r = m.roll * kPi / 180.0;
  const double longitudinal = kStandardGravity * std::sin(p) * ((provides & kPitchGravityReversed) ? -1.0 : 1.0);
  EXPECT_NEAR(g[gd::kLateralGravi], kStandardGravity * std::cos(p) * std::sin(r), kTol);
  EXPECT_NEAR(g[gd::kLongitudinalGravi], longitudinal, kTol);
  EXPECT_NEAR(g[gd::kVerticalGravi], kStandardGravity * std::cos(p) * std::cos(r), kTol);
  EXPECT_NEAR(g[gd::kLateralAccelG], g[gd::kLateralAccel] + g[gd::kLateralGravi], 1e-9);
  EXPECT_NEAR(g[gd::kLongitudinalAccelG], g[gd::kLongitudinalAccel] + g[gd::kLongitudinalGravi], 1e-9);
  EXPECT_NEAR(g[gd::kVerticalAccelG], g[gd::kVerticalAccel] + g[gd::kVerticalGravi], 1e-9);
}

// The drive at 7 s brakes into a right-hander on a bump; the circuit at 8 s
// climbs in a banked right turn. Signs a passenger would feel.
void expectBrakingIntoARightHander(const double* g) {
  EXPECT_LT(g[gd::kLongitudinalAccel], -2.0);
  EXPECT_GT(g[gd::kLateralAccel], 3.0);
  EXPECT_LT(g[gd::kPitchPosition], 0.0);
  EXPECT_GT(g[gd::kRollPosition], 0.0);
  EXPECT_LT(g[gd::kYawSpeed], 0.0);
}
void expectClimbingInARightTurn(const double* g) {
  EXPECT_GT(g[gd::kPitchPosition], 1.0);
  EXPECT_LT(g[gd::kRollPosition], -5.0);  // banked right
  EXPECT_LT(g[gd::kYawSpeed], -1.0);
  // Coordinated: no sideways push is felt.
  EXPECT_NEAR(g[gd::kLateralAccelG], 0.0, 0.05);
}

struct UdpGames : ::testing::Test {
  test::ManualClock clock;
  TelemetrySources sources{clock};
  const double* g = sources.frame.gameData;

  int detect(int passes = 60) {
    for (int i = 0; i < passes; ++i)
      if (sources.detectGame() == 1) return sources.gameId();
    return -1;
  }
  bool readUntilUpdate() {
    return test::eventually([&] { return sources.readGameData() == 1; });
  }
  // Detects and attaches the game gamesim plays, then reads until an update.
  void playAndRead(int gameId) {
    ASSERT_EQ(detect(), gameId);
    ASSERT_EQ(sources.attachGame(), 1);
    ASSERT_TRUE(readUntilUpdate());
  }
  std::vector<double> gameData() const { return std::vector<double>(g, g + kGameDataCount); }
};

// The test's own datagrams to a reader's port on loopback.
class Sender {
 public:
  explicit Sender(std::uint16_t port) : port_(port) {
    platform::startSockets();
    socket_ = platform::openDatagramSocket();
  }
  ~Sender() {
    platform::closeSocket(socket_);
    platform::stopSockets();
  }
  void send(const std::vector<std::uint8_t>& bytes) {
    platform::sendTo(socket_, bytes.data(), bytes.size(), {platform::kLoopbackAddress, port_});
  }
  void send(const std::string& text) { send(std::vector<std::uint8_t>(text.begin(), text.end())); }

 private:
  std::uint16_t port_;
  platform::SocketHandle socket_;
};

// Calls update until it reports new data; the calls that did not are counted.
bool updateUntilNew(GameReader& reader, double* gameData, int* without = nullptr) {
  int misses = 0;
  const bool ok = test::eventually([&] {
    if (reader.update(gameData) == 1) return true;
    ++misses;
    return false;
  });
  if (without) *without = misses;
  return ok;
}

template <class T>
void put(std::vector<std::uint8_t>& p, std::size_t at, T v) {
  if (p.size() < at + sizeof(T)) p.resize(at + sizeof(T), 0);
  std::memcpy(p.data() + at, &v, sizeof(T));
}

// An X-Plane datagram of these records (index, eight values).
std::vector<std::uint8_t> xplaneDatagram(const std::vector<std::pair<int, std::array<float, 8>>>& records) {
  std::vector<std::uint8_t> p = {'D', 'A', 'T', 'A', '*'};
  for (const auto& [index, values] : records) {
    const std::size_t at = p.size();
    put<std::int32_t>(p, at, index);
    for (std::size_t i = 0; i < 8; ++i) put<float>(p, at + 4 + 4 * i, values[i]);
  }
  return p;
}

// --- X-Plane ---

TEST_F(UdpGames, XPlaneInTheAirAndOnTheGround) {
  {
    GameDouble game(kXPlaneExe, {"--game", "xplane", "--at", "8"});
    ASSERT_TRUE(game.started());
    playAndRead(0);
    const gamesim::Flight f = gamesim::flightAt(8.0);
    expectMotion(g, f.motion, kRates);
    expectClimbingInARightTurn(g);
    EXPECT_NEAR(g[kSpeed], f.motion.speed * 2.236936, 1e-3);  // mph over the ground
    EXPECT_EQ(g[kFrontLeft], 0.0);
    EXPECT_EQ(sources.groundState(), 0);
    EXPECT_EQ(sources.detachGame(), 1);
  }
  // The Windows executable's name counts on Linux too.
  GameDouble game("X-Plane.exe", {"--game", "xplane", "--at", "1"});
  ASSERT_TRUE(game.started());
  playAndRead(0);
  const gamesim::Flight f = gamesim::flightAt(1.0);
  ASSERT_TRUE(f.onGround);
  expectMotion(g, f.motion, kRates);
  EXPECT_NEAR(g[kFrontLeft], f.gear, 1e-6);
  EXPECT_NEAR(g[kFrontRight], f.gear, 1e-6);
  EXPECT_NEAR(g[kRearRight], f.gear * 1.1, 1e-6);
  EXPECT_NEAR(g[kRearLeft], f.gear * 0.9, 1e-6);
  EXPECT_EQ(sources.groundState(), 1);
  EXPECT_EQ(sources.detachGame(), 1);
}

TEST_F(UdpGames, XPlaneDatagramLengthsAndTheGearRecord) {
  auto& reader = static_cast<UdpReader&>(sources.reader(0));
  ASSERT_EQ(reader.attach(), 1);
  Sender sender(4321);
  double* data = sources.frame.gameData;

  // 41 bytes hold one whole record, but are too short to count.
  const auto shortOne = xplaneDatagram({{3, {1, 2, 3, 4, 5, 6, 7, 123}}});
  ASSERT_EQ(shortOne.size(), 41u);
  sender.send(shortOne);
  // 77 bytes: two records, the gear's front-left at 0.5, rear-right 0, rear-left 0.7.
  const auto twoRecords = xplaneDatagram({{17, {4, -3, 90, 0, 0, 0, 0, 0}}, {66, {0.5f, 0, 0.7f, 0, 0, 0, 0, 0}}});
  ASSERT_EQ(twoRecords.size(), 77u);
  sender.send(twoRecords);
  reader.setGroundState(1);
  int without = 0;
  ASSERT_TRUE(updateUntilNew(reader, data, &without));
  EXPECT_GE(without, 1);  // the 41 bytes were taken and refused
  EXPECT_EQ(data[kSpeed], 0.0);
  EXPECT_EQ(data[gd::kPitchPosition], 4.0);
  EXPECT_EQ(data[gd::kRollPosition], -3.0);
  EXPECT_EQ(data[gd::kYawPosition], -90.0);
  EXPECT_EQ(data[kFrontLeft], 0.5);
  EXPECT_EQ(data[kFrontRight], 0.5);
  EXPECT_EQ(data[kRearRight], 0.0);
  EXPECT_FLOAT_EQ(data[kRearLeft], 0.7f);
  EXPECT_EQ(reader.groundState(), 0);  // one wheel off the ground

  // All three loaded: on the ground. A later record of an index overwrites an earlier one.
  sender.send(xplaneDatagram({{66, {0.1f, 0.1f, 0.1f, 0, 0, 0, 0, 0}}, {66, {0.2f, 0.3f, 0.4f, 0, 0, 0, 0, 0}}}));
  ASSERT_TRUE(updateUntilNew(reader, data));
  EXPECT_FLOAT_EQ(data[kRearRight], 0.3f);
  EXPECT_EQ(reader.groundState(), 1);

  // A value that is not a number: nothing of the datagram is written, the ground state stays.
  const std::vector<double> before = gameData();
  sender.send(xplaneDatagram({{17, {NAN, 1, 1, 0, 0, 0, 0, 0}}, {66, {0, 0, 0, 0, 0, 0, 0, 0}}}));
  sender.send(xplaneDatagram({{3, {0, 0, 0, 0, 0, 0, 0, 55}}, {20, {}}}));  // and a record nobody reads
  ASSERT_TRUE(updateUntilNew(reader, data));
  EXPECT_EQ(data[kSpeed], 55.0);
  EXPECT_EQ(data[gd::kPitchPosition], before[gd::kPitchPosition]);
  EXPECT_EQ(reader.groundState(), 1);
  reader.detach();
}

// The ground flag of X-Plane's gear record drives the profiles: gamesim flies
// its circuit, the engine runs its motion cycles on the real sources, and
// every take-off and landing cross-fades the air and ground profiles over
// 100 cycles, one hundredth per cycle.
TEST(XPlaneProfiles, TakeOffAndLandingCrossFadeTheProfiles) {
  test::ManualClock clock;
  Gamesource engine(clock);
  engine.threadStartup();
  engine.setMotionSystemReady(1);
  GameDouble game(kXPlaneExe, {"--game", "xplane"});
  ASSERT_TRUE(game.started());

  struct Cycle {
    int ground, profile;
    double air, groundShare;
  };
  std::vector<Cycle> cycles;
  // A take-off, then a landing, each followed by its whole cross-fade.
  bool tookOff = false, landed = false;
  std::size_t lastChange = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(180);
  while (std::chrono::steady_clock::now() < deadline && !(landed && cycles.size() > lastChange + 150)) {
    engine.loopPass();
    if (!engine.attached.load() || engine.sources.gameId() != 0) continue;
    const int ground = engine.sources.groundState();
    if (!cycles.empty() && ground != cycles.back().ground) {
      lastChange = cycles.size();
      if (ground == 0) tookOff = true;
      if (ground == 1 && tookOff) landed = true;
    }
    cycles.push_back({ground, engine.activeProfile.load(), engine.airTransitionStatus(), engine.groundTransitionStatus()});
    // Paced a little, so that datagrams (50 a second) come well within the
    // engine's 1000-cycle loss limit.
    std::this_thread::sleep_for(std::chrono::microseconds(300));
  }
  ASSERT_TRUE(tookOff);
  ASSERT_TRUE(landed);

  // Every change of the ground state starts a fade that moves the weights
  // one hundredth per cycle for 100 cycles, to 0 / 100. The phases last
  // seconds, so no fade is cut short.
  int fades = 0;
  for (std::size_t i = 1; i < cycles.size(); ++i) {
    if (cycles[i].ground == cycles[i - 1].ground) continue;
    const int target = cycles[i].ground;
    SCOPED_TRACE(target ? "landing" : "take-off");
    ASSERT_LT(i + 100, cycles.size());
    for (std::size_t k = 0; k < 100; ++k) {
      const Cycle& c = cycles[i + k];
      EXPECT_EQ(c.profile, target);
      const double moved = target ? 100.0 - c.air : c.air;  // rises from 0 to 100
      EXPECT_NEAR(moved, static_cast<double>(k + 1), 1.0) << "cycle " << k + 1;
      EXPECT_NEAR(c.air + c.groundShare, 100.0, 1.0);
    }
    const Cycle& after = cycles[i + 99];
    EXPECT_EQ(after.air, target ? 0.0 : 100.0);
    EXPECT_EQ(after.groundShare, target ? 100.0 : 0.0);
    ++fades;
  }
  EXPECT_GE(fades, 2);
  EXPECT_FALSE(engine.transitionActive);
  // Steady between fades: the weights stand at the profile of the ground state.
  const Cycle& last = cycles.back();
  EXPECT_EQ(last.profile, last.ground);
  EXPECT_EQ(last.air, last.ground ? 0.0 : 100.0);
}

// --- DCS ---

TEST_F(UdpGames, DcsNumbersAndItsClock) {
  GameDouble game("DCS64.exe", {"--game", "dcs", "--at", "8"});
  ASSERT_TRUE(game.started());
  playAndRead(1);
  const gamesim::Flight f = gamesim::flightAt(8.0);
  expectMotion(g, f.motion, kSpeeds | kRates);
  expectClimbingInARightTurn(g);
  EXPECT_NEAR(g[kFrontLeft], f.gear, 1e-6);
  EXPECT_NEAR(g[kRearLeft], f.gear * 0.9, 1e-6);
  // The mission clock runs; its step is the difference, in milliseconds.
  const double t0 = g[gd::kGameTime];
  EXPECT_GT(t0, 0.0);
  ASSERT_TRUE(test::eventually([&] { return sources.readGameData() == 1 && g[gd::kGameTime] > t0; }));
  EXPECT_GT(g[gd::kGameTimeStep], 0.0);
  EXPECT_LT(g[gd::kGameTimeStep], 1000.0);
  EXPECT_EQ(sources.groundState(), 0);
  EXPECT_EQ(sources.detachGame(), 1);
}

TEST_F(UdpGames, DcsTokensThatAreShortCutOrNotNumbers) {
  auto& reader = static_cast<UdpReader&>(sources.reader(1));
  ASSERT_EQ(reader.attach(), 1);
  Sender sender(4124);
  double* data = sources.frame.gameData;
  const auto line = [](const std::string& first, int count) {
    std::string s = first;
    for (int i = 2; i <= count; ++i) s += " " + std::to_string(i) + ".000000";
    return s + "\n";
  };

  sender.send(line("1.000000", 25));
  ASSERT_TRUE(updateUntilNew(reader, data));
  EXPECT_NEAR(data[gd::kLongitudinalAccelG], kStandardGravity, 1e-9);
  EXPECT_NEAR(data[gd::kVerticalSpeed], 6.0, 1e-9);
  EXPECT_NEAR(data[gd::kPitchPosition], 12.0 * 180.0 / kPi, 1e-9);
  EXPECT_EQ(data[kFrontLeft], 14.0);
  EXPECT_EQ(data[kRearLeft], 16.0);
  EXPECT_EQ(data[gd::kGameTime], 25.0);
  EXPECT_EQ(data[gd::kGameTimeStep], 25000.0);

  // A first token of five characters: every number of the datagram reads 0.
  sender.send(line("1.000", 25));
  ASSERT_TRUE(updateUntilNew(reader, data));
  for (int i : {gd::kLongitudinalAccelG, gd::kVerticalSpeed, gd::kPitchPosition, kFrontLeft, kRearLeft, gd::kGameTime})
    EXPECT_EQ(data[i], 0.0) << i;
  EXPECT_EQ(data[gd::kGameTimeStep], -25000.0);

  // A long token that is no number reads 0 and ends the numbers; so does
  // one too large for a double. Nothing throws.
  for (const char* bad : {"3.000000 4.000000 abcdefgh", "3.000000 4.000000 1.0e999"}) {
    SCOPED_TRACE(bad);
    sender.send(line(bad, 23));
    ASSERT_TRUE(updateUntilNew(reader, data));
    EXPECT_NEAR(data[gd::kLongitudinalAccelG], 3.0 * kStandardGravity, 1e-9);
    EXPECT_NEAR(data[gd::kLateralAccelG], 4.0 * kStandardGravity, 1e-9);
    EXPECT_EQ(data[gd::kVerticalAccelG], 0.0);
    EXPECT_EQ(data[gd::kGameTime], 0.0);
  }

  // Past 367 characters the text is cut: the clock at the end is lost, the
  // numbers before it are read. A datagram of 8000 bytes is as safe.
  std::string longLine = "1.000000";
  for (int i = 2; i <= 24; ++i) longLine += " " + std::string(12, '0') + std::to_string(i) + ".00";
  longLine += " 99.000000\n";
  ASSERT_GT(longLine.size(), 367u);
  sender.send(longLine);
  ASSERT_TRUE(updateUntilNew(reader, data));
  EXPECT_EQ(data[kFrontLeft], 14.0);
  EXPECT_EQ(data[gd::kGameTime], 0.0);
  sender.send(std::string(8000, '7'));
  ASSERT_TRUE(updateUntilNew(reader, data));
  EXPECT_EQ(data[gd::kLongitudinalAccelG], 0.0);  // one token that never ends: none taken
  reader.detach();
}

// --- DiRT Rally 2.0 ---

TEST_F(UdpGames, DirtRally2PacketAndItsReversedPitchGravity) {
  GameDouble game(test::uniqueName("dirtrally2") + ".exe", {"--game", "dirt", "--at", "7"});
  ASSERT_TRUE(game.started());
  playAndRead(5);
  const Motion m = gamesim::driveAt(7.0);
  expectMotion(g, m, kRates | kAngularAccels | kPitchGravityReversed);
  expectBrakingIntoARightHander(g);
  for (int i : {gd::kLateralSpeed, gd::kLongitudinalSpeed, gd::kVerticalSpeed, gd::kGameTime, gd::kGameTimeStep})
    EXPECT_EQ(g[i], 0.0) << i;
  game.stop();

  // Datagrams of other lengths change nothing, and still count as updates.
  while (sources.readGameData() == 1) {
  }
  const std::vector<double> before = gameData();
  Sender sender(20778);
  auto& reader = sources.reader(5);
  for (std::size_t length : {2u, 95u, 97u, 264u}) {
    std::vector<std::uint8_t> odd(length, 0x40);
    sender.send(odd);
    ASSERT_TRUE(updateUntilNew(reader, sources.frame.gameData));
    for (int i = 1; i < kGameDataCount; ++i) EXPECT_EQ(g[i], before[static_cast<std::size_t>(i)]) << length << " " << i;
  }
  EXPECT_EQ(sources.detachGame(), 1);
}

// --- Condor ---

TEST_F(UdpGames, CondorKeysAndValuesKeptBetweenDatagrams) {
  {
    GameDouble game(test::uniqueName("condor") + ".exe", {"--game", "condor", "--at", "8"});
    ASSERT_TRUE(game.started());
    playAndRead(6);
    const gamesim::Flight f = gamesim::flightAt(8.0);
    expectMotion(g, f.motion, kSpeeds | kRates);
    expectClimbingInARightTurn(g);
    auto& reader = static_cast<CondorReader&>(sources.reader(6));
    EXPECT_EQ(reader.flaps(), 2);
    EXPECT_STREQ(reader.hudMessages(), "Thermal ahead");
    EXPECT_NEAR(reader.value("altitude"), 300.0 + f.altitude, 1e-2);
  }
  while (sources.readGameData() == 1) {
  }
  const double yaw = g[gd::kYawPosition];
  Sender sender(55278);
  auto& reader = sources.reader(6);
  // No "yaw": the heading stays the last one received. Keys not sent keep
  // their values; unknown keys, lines without "=" and text that is no number
  // (0) do no harm.
  sender.send(std::string("pitch=0.1\r\nbank=0.2\nyawx=3\nyaw\nax=oops\nvx=12.5\nunknown=1\nflaps=3.9\n"));
  ASSERT_TRUE(updateUntilNew(reader, sources.frame.gameData));
  EXPECT_NEAR(g[gd::kPitchPosition], 0.1 * 180.0 / kPi, 1e-5);
  EXPECT_NEAR(g[gd::kRollPosition], -0.2 * 180.0 / kPi, 1e-5);
  EXPECT_EQ(g[gd::kYawPosition], yaw);
  EXPECT_EQ(g[gd::kLateralAccel], 0.0);
  EXPECT_EQ(g[gd::kLateralSpeed], 12.5);
  EXPECT_EQ(static_cast<CondorReader&>(reader).flaps(), 3);
  // 41 bytes are too short to count.
  sender.send(std::string("pitch=0.5\npitch=0.5\npitch=0.5\npitch=0.5x\n"));
  sender.send(std::string("bank=0.0\nbank=0.0\nbank=0.0\nbank=0.0\nbank=0\n"));
  ASSERT_TRUE(updateUntilNew(reader, sources.frame.gameData));
  EXPECT_NEAR(g[gd::kPitchPosition], 0.1 * 180.0 / kPi, 1e-5);
  EXPECT_EQ(g[gd::kRollPosition], 0.0);
  EXPECT_EQ(sources.detachGame(), 1);
}

// --- F1 23 / F1 24 ---

TEST_F(UdpGames, F1PlayerCarFromItsHeaderAndRatesAboutTheGameAxes) {
  for (const char* format : {"2023", "2024"}) {
    SCOPED_TRACE(format);
    // Byte 27 names the player's car (7); byte 28, the second player's, is
    // 255. The other cars drive elsewhere on the loop.
    GameDouble game(std::string("F1_") + (format[3] == '3' ? "23" : "24") + ".exe",
                    {"--game", "f1", "--f1-format", format, "--at", "7"});
    ASSERT_TRUE(game.started());
    playAndRead(7);
    // Motion and extended motion arrive every frame; both must have been read.
    const Motion m = gamesim::driveAt(7.0);
    ASSERT_TRUE(test::eventually([&] {
      sources.readGameData();
      return std::abs(g[gd::kPitchSpeed] - m.pitchRate) < 2e-3 && std::abs(g[gd::kPitchPosition] - m.pitch) < 2e-3;
    }));
    expectMotion(g, m, kRates);
    expectBrakingIntoARightHander(g);
    EXPECT_EQ(sources.detachGame(), 1);
  }
}

TEST_F(UdpGames, F1PacketsByFormatLengthAndCarIndex) {
  auto& reader = sources.reader(7);
  ASSERT_EQ(reader.attach(), 1);
  Sender sender(20777);
  double* data = sources.frame.gameData;
  const auto motion = [](std::uint16_t format, std::uint8_t player, std::uint8_t second) {
    std::vector<std::uint8_t> p(1349, 0);
    put<std::uint16_t>(p, 0, format);
    p[27] = player;
    p[28] = second;
    for (std::size_t car = 0; car < 22; ++car) put<float>(p, 29 + 60 * car + 52, static_cast<float>(car) * 0.01f);
    return p;
  };
  const auto pitchOfCar = [](int car) { return car * 0.01f * 180.0 / kPi; };

  // Every call times itself, data or not.
  data[gd::kIntervalMs] = 0;
  EXPECT_EQ(reader.update(data), 0);
  EXPECT_GT(data[gd::kIntervalMs], 0.0);

  sender.send(motion(2024, 9, 255));
  ASSERT_TRUE(updateUntilNew(reader, data));
  EXPECT_NEAR(data[gd::kPitchPosition], pitchOfCar(9), 1e-4);
  sender.send(motion(2023, 255, 255));  // no player car (spectating): car 0
  ASSERT_TRUE(updateUntilNew(reader, data));
  EXPECT_EQ(data[gd::kPitchPosition], 0.0);
  sender.send(motion(2024, 21, 3));
  ASSERT_TRUE(updateUntilNew(reader, data));
  EXPECT_NEAR(data[gd::kPitchPosition], pitchOfCar(21), 1e-4);
  sender.send(motion(2024, 22, 3));
  ASSERT_TRUE(updateUntilNew(reader, data));
  EXPECT_EQ(data[gd::kPitchPosition], 0.0);

  // Format 2022: nothing converted, yet an update. So is a packet of another length.
  sender.send(motion(2024, 5, 255));
  ASSERT_TRUE(updateUntilNew(reader, data));
  const std::vector<double> before = gameData();
  sender.send(motion(2022, 9, 255));
  ASSERT_TRUE(updateUntilNew(reader, data));
  std::vector<std::uint8_t> other(1352, 0);
  put<std::uint16_t>(other, 0, 2024);
  put<float>(other, 29 + 52, 1.0f);
  sender.send(other);
  ASSERT_TRUE(updateUntilNew(reader, data));
  for (int i = 1; i < kGameDataCount; ++i) EXPECT_EQ(g[i], before[static_cast<std::size_t>(i)]) << i;

  // Extended motion: the angular velocity about x is pitch, y yaw, z roll.
  for (std::size_t length : {217u, 237u}) {
    std::vector<std::uint8_t> ex(length, 0);
    put<std::uint16_t>(ex, 0, 2024);
    put<float>(ex, 173, 0.1f);
    put<float>(ex, 177, 0.2f);
    put<float>(ex, 181, 0.3f);
    sender.send(ex);
    ASSERT_TRUE(updateUntilNew(reader, data));
    EXPECT_NEAR(data[gd::kPitchSpeed], -0.1 * 180.0 / kPi, 1e-4) << length;
    EXPECT_NEAR(data[gd::kYawSpeed], -0.2 * 180.0 / kPi, 1e-4);
    EXPECT_NEAR(data[gd::kRollSpeed], -0.3 * 180.0 / kPi, 1e-4);
  }
  reader.detach();
}

}  // namespace
}  // namespace kinevra
