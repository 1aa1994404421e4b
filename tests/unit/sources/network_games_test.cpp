// The UDP games of EA Sports WRC, BeamNG.drive and Live for Speed: gamesim
// sends the scripted drive in each game's own datagrams as a separate
// process over loopback; the engine's sources detect, attach and read it, and
// GameData must describe the car's real motion. The conversions are also
// driven straight from the datagrams gamesim sends, where a test needs
// chosen headings or intervals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "drive.h"
#include "game_double.h"
#include "manual_clock.h"
#include "network_games.h"
#include "platform/sockets.h"
#include "sources/game_values.h"
#include "sources/network/beamng.h"
#include "sources/network/lfs.h"
#include "sources/network/wrc.h"
#include "sources/telemetry_sources.h"

namespace kinevra {
namespace {

using gamesim::Motion;
using test::GameDouble;

// Braking into a right-hand corner, the heading just past north, on the
// crest of a bump (see drive.h).
constexpr double kMoment = 7.0;

// The attitude, the accelerations without gravity, and gravity split from
// the attitude in the engine's convention, whichever way the game delivered
// its accelerations.
void expectAttitudeAndAccelerations(const double* g, const Motion& m) {
  constexpr double kTol = 2e-3;
  EXPECT_NEAR(g[gd::kLateralAccel], m.lateralAccel, kTol);
  EXPECT_NEAR(g[gd::kLongitudinalAccel], m.longitudinalAccel, kTol);
  EXPECT_NEAR(g[gd::kVerticalAccel], m.verticalAccel, kTol);
  EXPECT_NEAR(g[gd::kPitchPosition], m.pitch, kTol);
  EXPECT_NEAR(g[gd::kRollPosition], m.roll, kTol);
  EXPECT_NEAR(g[gd::kYawPosition], m.yaw, kTol);
  const double p = m.pitch * kPi / 180.0, r = m.roll * kPi / 180.0;
  EXPECT_NEAR(g[gd::kLateralGravi], kStandardGravity * std::cos(p) * std::sin(r), kTol);
  EXPECT_NEAR(g[gd::kLongitudinalGravi], kStandardGravity * std::sin(p), kTol);
  EXPECT_NEAR(g[gd::kVerticalGravi], kStandardGravity * std::cos(p) * std::cos(r), kTol);
  EXPECT_NEAR(g[gd::kLateralAccelG], g[gd::kLateralAccel] + g[gd::kLateralGravi], 1e-9);
  EXPECT_NEAR(g[gd::kLongitudinalAccelG], g[gd::kLongitudinalAccel] + g[gd::kLongitudinalGravi], 1e-9);
  EXPECT_NEAR(g[gd::kVerticalAccelG], g[gd::kVerticalAccel] + g[gd::kVerticalGravi], 1e-9);
  // As a passenger feels it: slowing, pushed right, turning clockwise just
  // past north, falling away over the crest, nose down, rolled to the left.
  EXPECT_LT(g[gd::kLongitudinalAccel], -2.0);
  EXPECT_GT(g[gd::kLateralAccel], 3.0);
  EXPECT_LT(g[gd::kVerticalAccel], -2.0);
  EXPECT_LT(g[gd::kYawPosition], 0.0);
  EXPECT_GT(g[gd::kYawPosition], -10.0);
  EXPECT_LT(g[gd::kPitchPosition], 0.0);
  EXPECT_GT(g[gd::kRollPosition], 0.0);
}

void expectVelocities(const double* g, const Motion& m) {
  EXPECT_NEAR(g[gd::kLateralSpeed], m.lateralSpeed, 2e-3);
  EXPECT_NEAR(g[gd::kLongitudinalSpeed], m.longitudinalSpeed, 2e-3);
  EXPECT_NEAR(g[gd::kVerticalSpeed], m.verticalSpeed, 2e-3);
}

void expectRates(const double* g, const Motion& m) {
  EXPECT_NEAR(g[gd::kYawSpeed], m.yawRate, 2e-3);
  EXPECT_NEAR(g[gd::kPitchSpeed], m.pitchRate, 2e-3);
  EXPECT_NEAR(g[gd::kRollSpeed], m.rollRate, 2e-3);
  EXPECT_LT(g[gd::kYawSpeed], -10.0);  // a right-hander
}

struct NetworkGames : ::testing::Test {
  test::ManualClock clock;
  TelemetrySources sources{clock};
  const double* g = sources.frame.gameData;

  int detect(int passes = 40) {
    for (int i = 0; i < passes; ++i)
      if (sources.detectGame() == 1) return sources.gameId();
    return -1;
  }
  bool readUntilUpdate() {
    return test::eventually([&] { return sources.readGameData() == 1; });
  }
  // Attaches the game without detecting it (its socket is bound from here on).
  void attachDirectly(int id) {
    sources.gameFlags[static_cast<std::size_t>(id)].store(1);
    ASSERT_EQ(sources.attachGame(), 1);
  }
};

// Datagrams from the test itself to a game's port on loopback.
struct Sender {
  const int started = platform::startSockets();
  platform::SocketHandle s = platform::openDatagramSocket();
  ~Sender() {
    platform::closeSocket(s);
    if (started == 0) platform::stopSockets();
  }
  void send(std::uint16_t port, const void* data, std::size_t n) const {
    ASSERT_EQ(platform::sendTo(s, data, n, {platform::kLoopbackAddress, port}), static_cast<std::int64_t>(n));
  }
};

TEST_F(NetworkGames, WrcAttitudeFromTheCarsAxesAndRatesFromDifferences) {
  GameDouble game(test::uniqueName("wrc") + ".exe", {"--game", "wrc", "--at", "7"});
  ASSERT_TRUE(game.started());
  ASSERT_EQ(detect(), 11);
  ASSERT_EQ(sources.attachGame(), 1);
  ASSERT_TRUE(readUntilUpdate());
  const Motion m = gamesim::driveAt(kMoment);
  expectAttitudeAndAccelerations(g, m);
  expectVelocities(g, m);
  // The first update of a session has nothing to take a difference with;
  // the drive stands still at its moment, so later ones see no turn either.
  EXPECT_EQ(g[gd::kYawSpeed], 0.0);
  ASSERT_TRUE(readUntilUpdate());
  EXPECT_NEAR(g[gd::kYawSpeed], 0.0, 1e-9);
  EXPECT_NEAR(g[gd::kRollSpeed], 0.0, 1e-9);
  EXPECT_EQ(sources.detachGame(), 1);
}

TEST(WrcConversion, RatesTakeTheShortWayOverABoundedIntervalAtAnyHeading) {
  WrcHistory history;
  double g[kGameDataCount] = {};
  Motion m = gamesim::driveAt(kMoment);
  const auto convert = [&](double yaw, double intervalMs) {
    m.yaw = yaw;
    g[gd::kIntervalMs] = intervalMs;
    const auto d = gamesim::wrcDatagram(m);
    return convertWrcDatagram(d.data(), d.size(), g, history);
  };
  // The attitude does not depend on the heading.
  for (double yaw : {0.0, 90.0, 179.0, -120.0}) {
    SCOPED_TRACE(yaw);
    ASSERT_TRUE(convert(yaw, 10.0));
    EXPECT_NEAR(g[gd::kYawPosition], yaw, 2e-3);
    EXPECT_NEAR(g[gd::kPitchPosition], m.pitch, 2e-3);
    EXPECT_NEAR(g[gd::kRollPosition], m.roll, 2e-3);
  }
  // Across ±180: 2 degrees anticlockwise in 10 ms, not 358 clockwise.
  ASSERT_TRUE(convert(179.0, 10.0));
  ASSERT_TRUE(convert(-179.0, 10.0));
  EXPECT_NEAR(g[gd::kYawSpeed], 200.0, 0.5);
  ASSERT_TRUE(convert(179.0, 10.0));
  EXPECT_NEAR(g[gd::kYawSpeed], -200.0, 0.5);
  // A pause of five seconds counts as one step of 20 ms; two updates back to
  // back as one of 1 ms.
  ASSERT_TRUE(convert(178.0, 5000.0));
  EXPECT_NEAR(g[gd::kYawSpeed], -50.0, 0.2);
  ASSERT_TRUE(convert(178.1, 0.0));
  EXPECT_NEAR(g[gd::kYawSpeed], 100.0, 2.0);
  // Directions of no length, or too short a datagram: nothing written.
  const std::vector<double> before(g, g + kGameDataCount);
  std::vector<std::uint8_t> flat(gamesim::kWrcPacketSize, 0);
  EXPECT_FALSE(convertWrcDatagram(flat.data(), flat.size(), g, history));
  const auto d = gamesim::wrcDatagram(m);
  EXPECT_FALSE(convertWrcDatagram(d.data(), wrc::kFieldsEnd - 1, g, history));
  EXPECT_EQ(std::memcmp(before.data(), g, sizeof g), 0);
}

TEST_F(NetworkGames, BeamngDeliversAccelerationsWithGravity) {
  GameDouble game(test::uniqueName("beamng") + ".exe", {"--game", "beamng", "--at", "7"});
  ASSERT_TRUE(game.started());
  ASSERT_EQ(detect(), 12);
  ASSERT_EQ(sources.attachGame(), 1);
  ASSERT_TRUE(readUntilUpdate());
  const Motion m = gamesim::driveAt(kMoment);
  expectAttitudeAndAccelerations(g, m);
  expectVelocities(g, m);
  expectRates(g, m);
  EXPECT_NEAR(g[gd::kYawAccel], m.yawAccel, 1e-2);
  EXPECT_NEAR(g[gd::kPitchAccel], m.pitchAccel, 1e-2);
  EXPECT_NEAR(g[gd::kRollAccel], m.rollAccel, 1e-2);
  EXPECT_EQ(sources.detachGame(), 1);
}

TEST_F(NetworkGames, LfsPacketsAreTurnedIntoTheCarsAxes) {
  GameDouble game("LFS.exe", {"--game", "lfs", "--at", "7"});
  ASSERT_TRUE(game.started());
  ASSERT_EQ(detect(), 13);
  ASSERT_EQ(sources.attachGame(), 1);
  ASSERT_TRUE(readUntilUpdate());
  const Motion m = gamesim::driveAt(kMoment);
  expectAttitudeAndAccelerations(g, m);
  expectRates(g, m);
  EXPECT_EQ(sources.detachGame(), 1);
}

TEST(LfsConversion, TheSameCarGivesTheSameValuesAtAnyHeading) {
  const Motion base = gamesim::driveAt(kMoment);
  std::vector<double> first;
  for (double heading : {0.0, 90.0, 200.0}) {
    SCOPED_TRACE(heading);
    Motion m = base;
    m.yaw = heading;
    double g[kGameDataCount] = {};
    const auto p = gamesim::lfsPacket(m);
    ASSERT_TRUE(convertLfsPacket(p.data(), p.size(), g));
    EXPECT_NEAR(g[gd::kYawPosition], heading, 1e-3);
    EXPECT_NEAR(g[gd::kLateralAccel], base.lateralAccel, 1e-4);
    EXPECT_NEAR(g[gd::kLongitudinalAccel], base.longitudinalAccel, 1e-4);
    EXPECT_NEAR(g[gd::kVerticalAccel], base.verticalAccel, 1e-4);
    EXPECT_NEAR(g[gd::kPitchSpeed], base.pitchRate, 1e-3);
    EXPECT_NEAR(g[gd::kRollSpeed], base.rollRate, 1e-3);
    EXPECT_NEAR(g[gd::kYawSpeed], base.yawRate, 1e-3);
  }
  // Not a whole packet: nothing. Not an "LFST" packet: an update without values.
  double g[kGameDataCount] = {};
  auto p = gamesim::lfsPacket(base);
  EXPECT_FALSE(convertLfsPacket(p.data(), p.size() - 1, g));
  p[3] = 'X';
  EXPECT_TRUE(convertLfsPacket(p.data(), p.size(), g));
  for (double v : g) EXPECT_EQ(v, 0.0);
}

TEST_F(NetworkGames, QueuedDatagramsThatEndAReadEarly) {
  Sender sender;
  const Motion m = gamesim::driveAt(kMoment);
  {
    // BeamNG: "BNG1", something else, "BNG1": only the first is taken.
    attachDirectly(12);
    const auto first = gamesim::beamngDatagram(m);
    Motion other = m;
    other.yaw = 120.0;
    const auto third = gamesim::beamngDatagram(other);
    const char junk[] = "OutGauge";
    sender.send(4444, first.data(), first.size());
    sender.send(4444, junk, sizeof junk);
    sender.send(4444, third.data(), third.size());
    // Loopback queues a datagram as it is sent: all three wait for the read.
    EXPECT_EQ(sources.readGameData(), 1);
    EXPECT_NEAR(g[gd::kYawPosition], m.yaw, 2e-3);
    // The next read starts converting again.
    sender.send(4444, third.data(), third.size());
    EXPECT_EQ(sources.readGameData(), 1);
    EXPECT_NEAR(g[gd::kYawPosition], 120.0, 2e-3);
    // Only datagrams that are not "BNG1": an update that converts nothing.
    const double yawHeld = g[gd::kYawPosition];
    sender.send(4444, junk, sizeof junk);
    EXPECT_EQ(sources.readGameData(), 1);
    EXPECT_EQ(g[gd::kYawPosition], yawHeld);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(sources.readGameData(), 0);  // nothing queued
    EXPECT_EQ(sources.detachGame(), 1);
  }
  {
    // LFS: a 200-byte datagram first ends the read with nothing converted
    // (an update all the same); the packet queued behind it is the next read's.
    attachDirectly(13);
    const std::vector<std::uint8_t> shortOne(200, 'L');
    const auto packet = gamesim::lfsPacket(m);
    const double yawBefore = sources.frame.gameData[gd::kYawPosition] = 33.0;
    sender.send(4123, shortOne.data(), shortOne.size());
    sender.send(4123, packet.data(), packet.size());
    // Loopback queues a datagram as it is sent: both wait for the reads.
    EXPECT_EQ(sources.readGameData(), 1);
    EXPECT_EQ(g[gd::kYawPosition], yawBefore);
    EXPECT_EQ(sources.readGameData(), 1);
    EXPECT_NEAR(g[gd::kYawPosition], m.yaw, 2e-3);
    EXPECT_EQ(sources.detachGame(), 1);
  }
}

}  // namespace
}  // namespace kinevra
