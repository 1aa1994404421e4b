// The output stage on the real-time path: with every side output working
// (link, pose block, fan buffer, snapshot lists) a motion cycle allocates
// nothing.
#include <gtest/gtest.h>

#include <cmath>

#include "allocation_counter.h"
#include "link/engine_output.h"
#include "output_fixture.h"

namespace kinevra {
namespace {

using test::OutputFixture;

TEST_F(OutputFixture, OutputCyclesAllocateNothing) {
  start();
  engine->activateMotionCancel(true);
  engine->wind.running = true;
  clock.sleepsNs.reserve(100000);  // the test clock's own record of sleeps
  link.onRead = [this, inner = link.onRead] {
    inner();
    frame.gameData[gd::kLateralAccelG] = std::sin(cycles * 0.01);
    frame.gameData[test::kSpeed] = 50.0 + 50.0 * std::sin(cycles * 0.003);
    frame.gameData[gd::kLongitudinalAccelG] = 100.0 * std::cos(cycles * 0.02);
  };
  cycle();  // the fan buffer gets its one byte of room
  Message sent;
  sent.reserve(kMaxMessageBytes);
  long allocations = 0;
  {
    CountAllocations count;
    for (int i = 0; i < 3000; ++i) {
      cycle();
      if (i % 3 == 0) takeSerialEngineOutput(*controller, sent);  // as a bridge sends them
    }
    allocations = count.count();
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(engine->calculationSnapshotCount(), 150u);
  EXPECT_EQ(engine->wind.buffer.size(), 1u);
  engine->wind.running = false;
  engine->activateMotionCancel(false);
}

}  // namespace
}  // namespace kinevra
