// The shared-memory games end to end: gamesim plays each game as a separate
// process, publishing its scripted drive in the game's own block, layout,
// units and signs; the engine's sources detect, attach and read it, and
// GameData must describe the car's real motion.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "drive.h"
#include "engine/gamesource.h"
#include "game_double.h"
#include "manual_clock.h"
#include "platform/shared_memory.h"
#include "sources/shared_memory_readers.h"
#include "sources/telemetry_sources.h"

namespace kinevra {
namespace {

using gamesim::Motion;
using platform::SharedMemory;
using test::GameDouble;

// The moment the tests hold the drive at: braking into a right-hand corner,
// the heading just past north, on the crest of a bump.
constexpr double kMoment = 7.0;
constexpr int kSpeed = 32, kRpm = 31;

// What a game delivers beyond the attitude and the accelerations.
enum Provides : unsigned {
  kVelocities = 1,
  kRates = 2,
  kAngularAccels = 4,
  kRatesAsRadians = 8,  // rates taken as the game delivers them (rad/s)
  kHeadingFrom0To360 = 16,
  kSpeedAndRpm = 32,
};

double wrap180(double deg) {
  deg = std::fmod(deg + 180.0, 360.0);
  if (deg <= 0) deg += 360.0;
  return deg - 180.0;
}

// GameData against the drive: every value the game provides, and gravity
// split from the attitude.
void expectMotion(const double* g, const Motion& m, unsigned provides, GravityDirection gravity) {
  constexpr double kTol = 2e-3;
  EXPECT_NEAR(g[gd::kLateralAccel], m.lateralAccel, kTol);
  EXPECT_NEAR(g[gd::kLongitudinalAccel], m.longitudinalAccel, kTol);
  EXPECT_NEAR(g[gd::kVerticalAccel], m.verticalAccel, kTol);
  EXPECT_NEAR(g[gd::kPitchPosition], m.pitch, kTol);
  EXPECT_NEAR(g[gd::kRollPosition], m.roll, kTol);
  if (provides & kHeadingFrom0To360)
    EXPECT_NEAR(g[gd::kYawPosition], m.yaw < 0 ? m.yaw + 360.0 : m.yaw, kTol);
  else
    EXPECT_NEAR(g[gd::kYawPosition], m.yaw, kTol);
  if (provides & kVelocities) {
    EXPECT_NEAR(g[gd::kLateralSpeed], m.lateralSpeed, kTol);
    EXPECT_NEAR(g[gd::kLongitudinalSpeed], m.longitudinalSpeed, kTol);
    EXPECT_NEAR(g[gd::kVerticalSpeed], m.verticalSpeed, kTol);
  }
  if (provides & kRates) {
    const double unit = (provides & kRatesAsRadians) ? 3.141592653589793 / 180.0 : 1.0;
    EXPECT_NEAR(g[gd::kYawSpeed], m.yawRate * unit, kTol);
    EXPECT_NEAR(g[gd::kPitchSpeed], m.pitchRate * unit, kTol);
    EXPECT_NEAR(g[gd::kRollSpeed], m.rollRate * unit, kTol);
  }
  if (provides & kAngularAccels) {
    EXPECT_NEAR(g[gd::kYawAccel], m.yawAccel, 1e-2);
    EXPECT_NEAR(g[gd::kPitchAccel], m.pitchAccel, 1e-2);
    EXPECT_NEAR(g[gd::kRollAccel], m.rollAccel, 1e-2);
  }
  if (provides & kSpeedAndRpm) {
    EXPECT_NEAR(g[kSpeed], m.speed, kTol);
    EXPECT_NEAR(g[kRpm], m.rpm, 0.5);
  }

  // The car as a passenger feels it: slowing down, pushed to the right in a
  // right-hand corner, turning clockwise just past north, falling away over
  // the crest of the bump, nose down.
  EXPECT_LT(g[gd::kLongitudinalAccel], -2.0);
  EXPECT_GT(g[gd::kLateralAccel], 3.0);
  EXPECT_LT(g[gd::kVerticalAccel], -2.0);
  EXPECT_LT(g[gd::kPitchPosition], 0.0);
  EXPECT_GT(g[gd::kRollPosition], 0.0);
  const double heading = wrap180(g[gd::kYawPosition]);
  EXPECT_LT(heading, 0.0);
  EXPECT_GT(heading, -10.0);
  if (provides & kRates) {
    EXPECT_LT(g[gd::kYawSpeed], 0.0);
  }

  // Gravity from the attitude, split in the game's direction.
  const double p = m.pitch * 3.141592653589793 / 180.0, r = m.roll * 3.141592653589793 / 180.0;
  EXPECT_NEAR(g[gd::kLateralGravi], kStandardGravity * std::cos(p) * std::sin(r), kTol);
  EXPECT_NEAR(g[gd::kLongitudinalGravi], kStandardGravity * std::sin(p), kTol);
  EXPECT_NEAR(g[gd::kVerticalGravi], kStandardGravity * std::cos(p) * std::cos(r), kTol);
  EXPECT_GT(g[gd::kLateralGravi], 0.0);   // rolled onto its left side
  EXPECT_LT(g[gd::kLongitudinalGravi], 0.0);  // nose down
  EXPECT_NEAR(g[gd::kLateralAccelG], g[gd::kLateralAccel] + g[gd::kLateralGravi], 1e-9);
  EXPECT_NEAR(g[gd::kLongitudinalAccelG], g[gd::kLongitudinalAccel] + g[gd::kLongitudinalGravi], 1e-9);
  EXPECT_NEAR(g[gd::kVerticalAccelG], g[gd::kVerticalAccel] + g[gd::kVerticalGravi], 1e-9);
  (void)gravity;
}

struct SharedMemoryGames : ::testing::Test {
  test::ManualClock clock;
  TelemetrySources sources{clock};
  const double* g = sources.frame.gameData;

  int detect(int passes = 40) {
    for (int i = 0; i < passes; ++i)
      if (sources.detectGame() == 1) return sources.gameId();
    return -1;
  }
  // Reads until one brings new data (the game updates in real time).
  bool readUntilUpdate() {
    return test::eventually([&] { return sources.readGameData() == 1; });
  }
  bool sameGameData(const std::vector<double>& before) const {
    return std::memcmp(before.data(), g, sizeof(double) * kGameDataCount) == 0;
  }
  std::vector<double> gameData() const { return std::vector<double>(g, g + kGameDataCount); }
};

TEST_F(SharedMemoryGames, AssettoCorsaBrakingIntoARightHander) {
  GameDouble game(test::uniqueName("acs") + ".exe", {"--game", "ac", "--at", "7"});
  ASSERT_TRUE(game.started());
  ASSERT_EQ(detect(), 3);
  ASSERT_EQ(sources.attachGame(), 1);
  ASSERT_TRUE(readUntilUpdate());
  expectMotion(g, gamesim::driveAt(kMoment), kVelocities | kRates, GravityDirection::AddToAcceleration);
  EXPECT_EQ(sources.groundState(), 0);
  EXPECT_GT(static_cast<AcpmfReader&>(sources.reader(3)).lastPacket, 0);
  EXPECT_EQ(sources.detachGame(), 1);
}

TEST_F(SharedMemoryGames, AcpmfPacketCounterDecidesWhatIsNew) {
  // One physics step and no more: the counter stays where it is.
  GameDouble game("AssettoCorsaEVO.exe", {"--game", "acevo", "--at", "7", "--steps", "1"});
  ASSERT_TRUE(game.started());
  ASSERT_EQ(detect(), 16);
  ASSERT_EQ(sources.attachGame(), 1);
  ASSERT_EQ(sources.readGameData(), 1);
  expectMotion(g, gamesim::driveAt(kMoment), kVelocities | kRates, GravityDirection::AddToAcceleration);
  EXPECT_EQ(static_cast<AcpmfReader&>(sources.reader(16)).lastPacket, 1);
  const std::vector<double> before = gameData();
  for (int i = 0; i < 20; ++i) EXPECT_EQ(sources.readGameData(), 0);
  EXPECT_TRUE(sameGameData(before));  // not even the interval moves
  EXPECT_EQ(sources.detachGame(), 1);
}

TEST_F(SharedMemoryGames, AcpmfGraphicsPageIsReadAtWhateverSizeTheGameGaveIt) {
  // The original game's graphics page is smaller than its successor's.
  GameDouble game(test::uniqueName("acs") + ".exe", {"--game", "ac", "--at", "7", "--graphics-size", "600"});
  ASSERT_TRUE(game.started());
  ASSERT_EQ(detect(), 3);
  ASSERT_EQ(sources.attachGame(), 1);
  const auto& reader = static_cast<AcpmfReader&>(sources.reader(3));
  EXPECT_GE(reader.graphics().viewSize(), 600u);
#if !defined(_WIN32)
  EXPECT_EQ(reader.graphics().viewSize(), 600u);
#endif
  ASSERT_TRUE(readUntilUpdate());
  EXPECT_NEAR(g[gd::kLateralAccel], gamesim::driveAt(kMoment).lateralAccel, 2e-3);
  EXPECT_EQ(sources.detachGame(), 1);
}

TEST_F(SharedMemoryGames, RaceRoomIsReadAtTheFieldsOfEachVersion) {
  auto& reader = static_cast<MappedBlockReader&>(sources.reader(4));
  for (const char* version : {"2.11", "3.2", "3.3", "3.4", "3.5"}) {
    SCOPED_TRACE(version);
    GameDouble game("RRRE64.exe", {"--game", "r3e", "--r3e-version", version, "--at", "7"});
    ASSERT_TRUE(game.started());
    ASSERT_EQ(detect(), 4);
    ASSERT_EQ(sources.attachGame(), 1);
    EXPECT_EQ(reader.ready, 1);
    // No counter: every cycle in which the game drives is an update.
    ASSERT_EQ(sources.readGameData(), 1);
    ASSERT_EQ(sources.readGameData(), 1);
    // The rates are the car's own, not the world's: right at any heading.
    expectMotion(g, gamesim::driveAt(kMoment), kVelocities | kRates | kAngularAccels,
                 GravityDirection::AddToAcceleration);
    EXPECT_EQ(sources.detachGame(), 1);
  }
  // 3.5 is larger than the older blocks: mapped whole.
  GameDouble game("RRRE.exe", {"--game", "r3e", "--r3e-version", "3.5"});
  ASSERT_TRUE(game.started());
  ASSERT_EQ(detect(), 4);
  ASSERT_EQ(sources.attachGame(), 1);
  EXPECT_GE(reader.block().viewSize(), 43996u);
  EXPECT_FALSE(reader.block().isOpen());  // the view only: the game's leaving is seen
  EXPECT_EQ(sources.detachGame(), 1);
}

TEST_F(SharedMemoryGames, RaceRoomOfAnUnknownVersionOrInItsMenusGivesNothing) {
  auto& reader = static_cast<MappedBlockReader&>(sources.reader(4));
  {
    GameDouble game("RRRE64.exe", {"--game", "r3e", "--r3e-version", "4.0", "--at", "7"});
    ASSERT_TRUE(game.started());
    ASSERT_EQ(detect(), 4);
    ASSERT_EQ(sources.attachGame(), 1);
    const std::vector<double> before = gameData();
    testing::internal::CaptureStdout();
    for (int i = 0; i < 10; ++i) EXPECT_EQ(sources.readGameData(), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Unsupported $R3E version 4.0\n");  // once
    EXPECT_EQ(reader.ready, 0);
    EXPECT_TRUE(sameGameData(before));
    EXPECT_EQ(sources.detachGame(), 1);
  }
  GameDouble game("RRRE64.exe", {"--game", "r3e", "--r3e-in-menus", "--at", "7"});
  ASSERT_TRUE(game.started());
  ASSERT_EQ(detect(), 4);
  ASSERT_EQ(sources.attachGame(), 1);
  EXPECT_EQ(reader.ready, 1);
  const std::vector<double> before = gameData();
  EXPECT_EQ(sources.readGameData(), 0);
  EXPECT_EQ(reader.ready, 0);
  EXPECT_TRUE(sameGameData(before));
  EXPECT_EQ(sources.detachGame(), 1);
}

TEST_F(SharedMemoryGames, ProjectCars2AndAutomobilista2BlocksOfEitherSize) {
  for (const char* size : {"20700", "20576"}) {
    SCOPED_TRACE(size);
    GameDouble game(test::uniqueName("pcars2") + ".exe", {"--game", "pcars2", "--pcars2-size", size, "--at", "7"});
    ASSERT_TRUE(game.started());
    ASSERT_EQ(detect(), 9);
    ASSERT_EQ(sources.attachGame(), 1);
    ASSERT_EQ(sources.readGameData(), 1);
    expectMotion(g, gamesim::driveAt(kMoment), kVelocities | kRates, GravityDirection::AddToAcceleration);
    EXPECT_EQ(sources.detachGame(), 1);
  }
  // Too short to hold the fields: attached, but nothing is read.
  GameDouble game(test::uniqueName("pcars2") + ".exe", {"--game", "pcars2", "--pcars2-size", "6000"});
  ASSERT_TRUE(game.started());
  ASSERT_EQ(detect(), 9);
  ASSERT_EQ(sources.attachGame(), 1);
  EXPECT_EQ(sources.readGameData(), 0);
  EXPECT_EQ(sources.detachGame(), 1);
}

TEST_F(SharedMemoryGames, IracingLinesIncludeGravityWhichIsTakenOut) {
  GameDouble game("iRacingSim64DX11.exe", {"--game", "iracing", "--at", "7"});
  ASSERT_TRUE(game.started());
  ASSERT_EQ(detect(), 10);
  ASSERT_EQ(sources.attachGame(), 1);
  auto& reader = static_cast<IrsdkReader&>(sources.reader(10));
  // Every cycle is an update; a line is copied once the game's tick moves on.
  ASSERT_TRUE(test::eventually([&] { return sources.readGameData() == 1 && reader.lastUpdateTime > 0; }));
  EXPECT_NE(reader.lastTick, INT_MAX);
  expectMotion(g, gamesim::driveAt(kMoment), kRates | kRatesAsRadians, GravityDirection::RemoveFromAcceleration);
  EXPECT_EQ(sources.detachGame(), 1);
}

TEST_F(SharedMemoryGames, RFactor2PluginBlockAndItsClock) {
  {
    GameDouble game("rFactor2.exe", {"--game", "rf2", "--at", "7"});
    ASSERT_TRUE(game.started());
    ASSERT_EQ(detect(), 14);
    ASSERT_EQ(sources.attachGame(), 1);
    ASSERT_TRUE(readUntilUpdate());
    expectMotion(g, gamesim::driveAt(kMoment), kVelocities | kRates | kAngularAccels,
                 GravityDirection::AddToAcceleration);
    EXPECT_EQ(sources.detachGame(), 1);
  }
  // One update of the clock and no more: the same time is no news.
  GameDouble game("rFactor2.exe", {"--game", "rf2", "--at", "7", "--steps", "1"});
  ASSERT_TRUE(game.started());
  ASSERT_EQ(detect(), 14);
  ASSERT_EQ(sources.attachGame(), 1);
  auto& reader = static_cast<Rf2Reader&>(sources.reader(14));
  reader.lastSimulationTime = 0.0;
  ASSERT_EQ(sources.readGameData(), 1);
  const std::vector<double> before = gameData();
  for (int i = 0; i < 20; ++i) EXPECT_EQ(sources.readGameData(), 0);
  EXPECT_TRUE(sameGameData(before));
  EXPECT_EQ(sources.detachGame(), 1);
}

TEST_F(SharedMemoryGames, RFactor2BlockNeverFilledIsNotAttached) {
  GameDouble game("rFactor2.exe", {"--game", "rf2", "--rf2-not-ready"});
  ASSERT_TRUE(game.started());
  ASSERT_EQ(detect(), 14);
  EXPECT_EQ(sources.attachGame(), 0);
  EXPECT_EQ(static_cast<Rf2Reader&>(sources.reader(14)).failed, 1);
}

TEST_F(SharedMemoryGames, TruckSimulatorTurnsAreDegreesWithinLimits) {
  {
    GameDouble game("eurotrucks2.exe", {"--game", "scs", "--at", "7"});
    ASSERT_TRUE(game.started());
    ASSERT_EQ(detect(), 17);
    ASSERT_EQ(sources.attachGame(), 1);
    ASSERT_EQ(sources.readGameData(), 1);
    expectMotion(g, gamesim::driveAt(kMoment),
                 kVelocities | kRates | kAngularAccels | kHeadingFrom0To360 | kSpeedAndRpm,
                 GravityDirection::AddToAcceleration);
    EXPECT_EQ(sources.detachGame(), 1);
  }
  const std::string block(blocks::kScs);
  GameDouble game("eurotrucks2.exe", {"--shm", block + ":177", "--set", block + ":0:i32:1", "--set",
                                      block + ":25:f32:1.2", "--set", block + ":33:f32:-0.6", "--set",
                                      block + ":29:f32:0.3"});
  ASSERT_TRUE(game.started());
  ASSERT_EQ(detect(), 17);
  ASSERT_EQ(sources.attachGame(), 1);
  ASSERT_EQ(sources.readGameData(), 1);
  EXPECT_EQ(g[gd::kYawPosition], 360.0);
  EXPECT_EQ(g[gd::kRollPosition], 180.0);
  EXPECT_EQ(g[gd::kPitchPosition], 90.0);
  EXPECT_EQ(sources.detachGame(), 1);
}

// The game-source loop over the real sources, counting what it asks of them.
class CountingLink final : public TelemetryLink {
 public:
  TelemetryLink* inner = nullptr;
  int updates = 0, failedInARow = 0, failedBeforeDetach = -1, detaches = 0;

  int detectGame() override { return inner->detectGame(); }
  int attachGame() override { return inner->attachGame(); }
  int readGameData() override {
    const int r = inner->readGameData();
    failedInARow = r == 1 ? 0 : failedInARow + 1;
    updates += r == 1;
    return r;
  }
  int detachGame() override {
    const int r = inner->detachGame();
    if (r == 1) {
      ++detaches;
      failedBeforeDetach = failedInARow;
    }
    return r;
  }
  void clearGameFlags() override { inner->clearGameFlags(); }
  int gameId() const override { return inner->gameId(); }
  int groundState() const override { return inner->groundState(); }
};

// Runs the engine on the game until it reads from it, ends the game, and
// expects the engine to detach after the read-failure limit.
void expectDetachWhenTheGameEnds(const std::string& exe, const std::vector<std::string>& args, int gameId) {
  test::ManualClock clock;
  CountingLink link;
  Gamesource driven(clock, &link);
  link.inner = &driven.sources;
  driven.threadStartup();
  driven.setMotionSystemReady(1);
  auto game = std::make_unique<GameDouble>(exe, args);
  ASSERT_TRUE(game->started());
  const auto passUntil = [&](auto done, bool paced) {
    for (int i = 0; i < 200000 && !done(); ++i) {
      driven.loopPass();
      if (paced) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return done();
  };
  ASSERT_TRUE(passUntil([&] { return driven.attached.load() && link.updates > 0; }, true));
  EXPECT_EQ(link.gameId(), gameId);
  game.reset();
  ASSERT_TRUE(passUntil([&] { return link.detaches > 0; }, false));
  EXPECT_EQ(link.failedBeforeDetach, 1001);
  EXPECT_FALSE(driven.attached.load());
  EXPECT_EQ(link.gameId(), -1);
}

TEST(SharedMemoryGameEnds, AssettoCorsaIsDetachedWhenItsCounterStops) {
  expectDetachWhenTheGameEnds("AssettoCorsaEVO.exe", {"--game", "acevo"}, 16);
}

TEST(SharedMemoryGameEnds, RaceRoomIsDetachedWhenItsBlockIsGone) {
  expectDetachWhenTheGameEnds("RRRE64.exe", {"--game", "r3e"}, 4);
}

TEST(SharedMemoryGameEnds, ProjectCars2IsDetachedWhenItsBlockIsGone) {
  expectDetachWhenTheGameEnds(test::uniqueName("pcars2") + ".exe", {"--game", "pcars2"}, 9);
}

TEST(SharedMemoryGameEnds, RFactor2IsDetachedWhenItsClockStops) {
  expectDetachWhenTheGameEnds("rFactor2.exe", {"--game", "rf2"}, 14);
}

TEST(SharedMemoryGameEnds, TruckSimulatorIsDetachedWhenItsBlockIsGone) {
  expectDetachWhenTheGameEnds("eurotrucks2.exe", {"--game", "scs"}, 17);
}

TEST(SharedMemoryGameEnds, IracingStaysAttachedAfterItsGameEnds) {
  test::ManualClock clock;
  CountingLink link;
  Gamesource engine(clock, &link);
  link.inner = &engine.sources;
  engine.threadStartup();
  engine.setMotionSystemReady(1);
  {
    GameDouble game("iRacingSim64DX11.exe", {"--game", "iracing"});
    ASSERT_TRUE(game.started());
    for (int i = 0; i < 200000 && !engine.attached.load(); ++i) engine.loopPass();
    ASSERT_TRUE(engine.attached.load());
  }
  // The reader reports every cycle while attached, whatever the block does.
  for (int i = 0; i < 1500; ++i) engine.loopPass();
  EXPECT_TRUE(engine.attached.load());
  EXPECT_EQ(link.detaches, 0);
  EXPECT_EQ(link.failedInARow, 0);
  EXPECT_EQ(link.gameId(), 10);
}

}  // namespace
}  // namespace kinevra
