// NoLimits 2's telemetry server: gamesim serves the scripted drive as the
// game does (request type 5, reply type 6 of 86 bytes, frames advancing) as a
// separate process over loopback TCP; and the reply conversion driven
// straight from the replies gamesim sends, frame by frame.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "drive.h"
#include "game_double.h"
#include "manual_clock.h"
#include "network_games.h"
#include "sources/game_values.h"
#include "sources/network/nolimits2.h"
#include "sources/telemetry_sources.h"

namespace kinevra {
namespace {

using gamesim::Motion;
using test::GameDouble;

constexpr int kSpeed = 32, kTurn = 26, kFrame = 36;

// Attitude, speed, and the accelerations with gravity taken out as for every
// other game (from roll and pitch).
void expectCoaster(const double* g, const Motion& m) {
  constexpr double kTol = 2e-3;
  EXPECT_NEAR(g[gd::kYawPosition], m.yaw, kTol);
  EXPECT_NEAR(g[gd::kPitchPosition], m.pitch, kTol);
  EXPECT_NEAR(g[gd::kRollPosition], m.roll, kTol);
  EXPECT_NEAR(g[kSpeed], m.speed, kTol);
  EXPECT_NEAR(g[gd::kLateralAccel], m.lateralAccel, kTol);
  EXPECT_NEAR(g[gd::kLongitudinalAccel], m.longitudinalAccel, kTol);
  EXPECT_NEAR(g[gd::kVerticalAccel], m.verticalAccel, kTol);
  const double p = m.pitch * kPi / 180.0, r = m.roll * kPi / 180.0;
  EXPECT_NEAR(g[gd::kLateralGravi], kStandardGravity * std::cos(p) * std::sin(r), kTol);
  EXPECT_NEAR(g[gd::kLongitudinalGravi], kStandardGravity * std::sin(p), kTol);
  EXPECT_NEAR(g[gd::kVerticalGravi], kStandardGravity * std::cos(p) * std::cos(r), kTol);
  EXPECT_NEAR(g[gd::kVerticalAccelG], g[gd::kVerticalAccel] + g[gd::kVerticalGravi], 1e-9);
}

TEST(NoLimits2Game, ServedOverTcpFrameByFrame) {
  test::ManualClock clock;
  TelemetrySources sources(clock);
  const double* g = sources.frame.gameData;
  GameDouble game(test::uniqueName("nl2") + ".exe", {"--game", "nolimits2", "--at", "7"});
  ASSERT_TRUE(game.started());
  int found = -1;
  for (int i = 0; i < 40 && found < 0; ++i)
    if (sources.detectGame() == 1) found = sources.gameId();
  ASSERT_EQ(found, 8);
  ASSERT_EQ(sources.attachGame(), 1);
  ASSERT_TRUE(test::eventually([&] { return sources.readGameData() == 1; }));
  expectCoaster(g, gamesim::driveAt(7.0));
  const double frame = g[kFrame];
  EXPECT_GT(frame, 0.0);
  // The coaster moves on: later frames, each taken once.
  ASSERT_TRUE(test::eventually([&] { return sources.readGameData() == 1 && g[kFrame] > frame; }));
  // Attached again, the reader remembers where it was.
  auto& reader = static_cast<NoLimits2Reader&>(sources.reader(8));
  const std::int32_t last = reader.state.lastFrame;
  EXPECT_EQ(sources.detachGame(), 1);
  sources.gameFlags[8].store(1);
  ASSERT_EQ(sources.attachGame(), 1);
  EXPECT_EQ(reader.state.lastFrame, last);
  EXPECT_TRUE(reader.state.hasPrevious);
  EXPECT_EQ(sources.detachGame(), 1);
}

TEST(NoLimits2Game, AServerThatAnswersBadlyOrNotAtAllGivesNothing) {
  test::ManualClock clock;
  TelemetrySources sources(clock);
  const std::vector<std::uint8_t> shortReply = {'N', 0, 6, 0, 0, 0x0c, 0xab, 0, 76, 1, 2, 3, 'L'};
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--tcp", "15151", "--reply", test::toHex(shortReply)},
        std::vector<std::string>{"--tcp", "15151", "--tcp-silent"}}) {
    SCOPED_TRACE(args.back());
    GameDouble server(test::uniqueName("nl2") + ".exe", args);
    ASSERT_TRUE(server.started());
    sources.gameFlags[8].store(1);
    ASSERT_EQ(sources.attachGame(), 1);
    const std::vector<double> before(sources.frame.gameData + 1, sources.frame.gameData + kGameDataCount);
    // Each read asks, looks without waiting, and finds no whole reply.
    for (int i = 0; i < 200; ++i) {
      EXPECT_EQ(sources.readGameData(), 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(std::equal(before.begin(), before.end(), sources.frame.gameData + 1));
    EXPECT_EQ(sources.detachGame(), 1);
  }
}

struct NoLimits2Replies : ::testing::Test {
  NoLimits2State state;
  double g[kGameDataCount] = {};

  bool take(const std::uint8_t* bytes, std::size_t n, double intervalMs = 10.0) {
    g[gd::kIntervalMs] = intervalMs;
    return convertNoLimits2Reply(bytes, n, g, state);
  }
  template <std::size_t N>
  bool take(const std::array<std::uint8_t, N>& b, double intervalMs = 10.0) {
    return take(b.data(), b.size(), intervalMs);
  }
  bool unchangedSince(const std::vector<double>& before) const {
    return std::memcmp(before.data() + 1, g + 1, sizeof(double) * (kGameDataCount - 1)) == 0;
  }
  std::vector<double> record() const { return std::vector<double>(g, g + kGameDataCount); }
};

TEST_F(NoLimits2Replies, RatesFromTheTurnBetweenFramesInTheCoastersAxes) {
  // 10 ms frames through the corner, over the bump.
  int frame = 0;
  for (double t = 6.5; t < 7.0 + 1e-9; t += 0.01) {
    const Motion m = gamesim::driveAt(t);
    ASSERT_TRUE(take(gamesim::noLimits2Reply(m, ++frame)));
    expectCoaster(g, m);
    EXPECT_EQ(g[kFrame], frame);
  }
  // The turn of the last 10 ms in the coaster's own axes: heading (about
  // y), roll (about z) and pitch (about x) rates combined through the
  // attitude. The smoothing settles at 0.98 · 0.99 / (1 - 0.98 · 0.01) of it.
  const Motion mid = gamesim::driveAt(7.0 - 0.005);
  const double p = mid.pitch * kPi / 180.0, r = mid.roll * kPi / 180.0;
  const double aboutX = mid.pitchRate + mid.yawRate * std::sin(r);
  const double aboutY = mid.yawRate * std::cos(r) * std::cos(p) + mid.rollRate * std::sin(p);
  const double aboutZ = mid.rollRate * std::cos(p) - mid.yawRate * std::cos(r) * std::sin(p);
  const double settled = 0.98 * 0.99 / (1.0 - 0.98 * 0.01);
  EXPECT_NEAR(g[gd::kPitchSpeed], settled * aboutX, 0.02 * std::fabs(aboutX) + 0.1);
  EXPECT_NEAR(g[gd::kYawSpeed], settled * aboutY, 0.02 * std::fabs(aboutY) + 0.1);
  EXPECT_NEAR(g[gd::kRollSpeed], settled * aboutZ, 0.02 * std::fabs(aboutZ) + 0.1);
  EXPECT_LT(g[gd::kYawSpeed], -10.0);
  EXPECT_GT(g[kTurn], 0.0);

  // The same frame again is no news.
  const auto same = gamesim::noLimits2Reply(gamesim::driveAt(7.0), frame);
  auto before = record();
  EXPECT_FALSE(take(same));
  EXPECT_TRUE(unchangedSince(before));

  // A quaternion of no length: refused, nothing written, nothing learnt.
  auto zero = gamesim::noLimits2Reply(gamesim::driveAt(7.0), frame + 1);
  std::memset(zero.data() + nolimits2::kQuaternion, 0, 16);
  const NoLimits2State kept = state;
  EXPECT_FALSE(take(zero));
  EXPECT_TRUE(unchangedSince(before));
  EXPECT_EQ(state.lastFrame, kept.lastFrame);
  EXPECT_EQ(state.previous, kept.previous);
  EXPECT_EQ(state.rates, kept.rates);

  // One that is not of unit length gives the same attitude.
  auto scaled = gamesim::noLimits2Reply(gamesim::driveAt(7.0), frame + 1);
  for (std::size_t at = nolimits2::kQuaternion; at < nolimits2::kQuaternion + 16; at += 4) {
    std::uint32_t bits = std::uint32_t(scaled[at]) << 24 | std::uint32_t(scaled[at + 1]) << 16 |
                         std::uint32_t(scaled[at + 2]) << 8 | scaled[at + 3];
    float f;
    std::memcpy(&f, &bits, 4);
    f *= 3.0f;
    std::memcpy(&bits, &f, 4);
    for (int i = 0; i < 4; ++i) scaled[at + i] = std::uint8_t(bits >> (24 - 8 * i));
  }
  ASSERT_TRUE(take(scaled));
  expectCoaster(g, gamesim::driveAt(7.0));
  EXPECT_NEAR(g[kTurn], 0.0, 1e-3);
}

TEST_F(NoLimits2Replies, ALongGapBetweenRepliesIsOneBoundedStep) {
  int frame = 0;
  for (double t = 3.6; t < 4.0; t += 0.01) ASSERT_TRUE(take(gamesim::noLimits2Reply(gamesim::driveAt(t), ++frame)));
  const double before = g[gd::kLongitudinalSpeed];
  const double decayed = state.speeds[1];
  // Hard braking, then five seconds of silence (a paused game).
  ASSERT_TRUE(take(gamesim::noLimits2Reply(gamesim::driveAt(4.0), ++frame), 5000.0));
  const double a = state.accels[1];
  EXPECT_LT(a, -2.0);
  EXPECT_NEAR(g[gd::kLongitudinalSpeed], decayed + a * nolimits2::kLongestStep, 1e-9);
  EXPECT_LT(std::fabs(g[gd::kLongitudinalSpeed] - before), 1.0);
}

TEST_F(NoLimits2Replies, TheNewestWholeReplyAmongWhatArrived) {
  const Motion m = gamesim::driveAt(7.0);
  const auto older = gamesim::noLimits2Reply(gamesim::driveAt(2.0), 5);
  const auto newer = gamesim::noLimits2Reply(m, 6);
  // The tail of a reply cut by an earlier receive, then two whole ones.
  std::vector<std::uint8_t> bytes(older.begin() + 40, older.end());
  bytes.insert(bytes.end(), older.begin(), older.end());
  bytes.insert(bytes.end(), newer.begin(), newer.end());
  ASSERT_TRUE(take(bytes.data(), bytes.size()));
  EXPECT_EQ(g[kFrame], 6.0);
  expectCoaster(g, m);
  // Too short, wrong type, a rider-less state: nothing.
  const auto before = record();
  const auto next = gamesim::noLimits2Reply(m, 7);
  EXPECT_FALSE(take(next.data(), next.size() - 1));
  auto wrongType = next;
  wrongType[2] = 1;
  EXPECT_FALSE(take(wrongType));
  auto idle = next;
  idle[12] = 0;
  EXPECT_FALSE(take(idle));
  EXPECT_TRUE(unchangedSince(before));
}

}  // namespace
}  // namespace kinevra
