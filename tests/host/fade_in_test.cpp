// A host's view of the fade-in, through the exports and in real time: a game
// publishes from another process, the motion system is declared ready after
// a wait, and the motion eases in over 4 s instead of starting part-way up.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "game_double.h"
#include "kinevra.h"
#include "library_loader.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(FadeInThroughTheExports, AfterAWaitTheMotionEasesInOverFourSeconds) {
  kinevra_host::LibraryLoader lib;
  ASSERT_TRUE(lib.open()) << lib.error();
  auto start = lib.get<decltype(&startGamesource_Thread)>("startGamesource_Thread");
  auto stop = lib.get<decltype(&stopGamesource_Thread)>("stopGamesource_Thread");
  auto ready = lib.get<decltype(&setMotionsystemready)>("setMotionsystemready");
  auto status = lib.get<decltype(&getTransitionStatus)>("getTransitionStatus");
  auto gameId = lib.get<decltype(&getGameID)>("getGameID");
  ASSERT_TRUE(start && stop && ready && status && gameId);

  kinevra::test::GameDouble game(kinevra::test::uniqueName("acs") + ".exe", {"--game", "ac"});
  ASSERT_TRUE(game.started());
  ready(0);
  start();
  ASSERT_TRUE(kinevra::test::eventually([&] { return gameId() == 3; }, 60s)) << "the game was not attached";

  // The rig waits for its motion system, long enough that a fade fed by the
  // waiting time would be a quarter done at once.
  std::this_thread::sleep_for(1s);
  ready(1);
  const auto readyAt = Clock::now();
  double reached = -1.0;
  while (Clock::now() - readyAt < 120s) {
    const double pct = status();
    const double sinceReadyMs = std::chrono::duration<double, std::milli>(Clock::now() - readyAt).count();
    // The fade counts at most the time that really passed since readiness.
    ASSERT_LE(pct, std::floor(100.0 * sinceReadyMs / 4000.0) + 1.0) << sinceReadyMs << " ms after readiness";
    if (pct >= 100.0) {
      reached = sinceReadyMs;
      break;
    }
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_GE(reached, 3960.0) << "the fade never completed";
  ready(0);
  stop();
}

}  // namespace
