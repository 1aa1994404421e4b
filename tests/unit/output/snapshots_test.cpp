// Snapshot lists: one calculation and one acceleration record per motion
// cycle, the newest 150 kept, drained by the host; the latest record.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "output_fixture.h"

namespace kinevra {
namespace {

using test::OutputFixture;

struct Taken {
  const double* data = nullptr;
  int count = -1;
  ~Taken() { Gamesource::freeSnapshots(data); }
};

void drain(Gamesource& e) {
  int n = 0;
  Gamesource::freeSnapshots(e.takeCalculationSnapshots(&n));
  Gamesource::freeSnapshots(e.takeAccelerationSnapshots(&n));
}

TEST_F(OutputFixture, ListsKeepTheNewest150) {
  start();
  drain(*engine);
  const int first = cycles + 1;  // the speed (wind channel) counts the cycles
  link.onRead = [this, inner = link.onRead] {
    inner();
    frame.gameData[test::kSpeed] = cycles;
  };
  cycle(200);

  Taken calc;
  calc.data = engine->takeCalculationSnapshots(&calc.count);
  ASSERT_EQ(calc.count, 150);
  ASSERT_NE(calc.data, nullptr);
  for (int r = 0; r < 150; ++r) ASSERT_EQ(calc.data[r * 23 + 21], first + 50 + r) << r;

  Taken accel;
  accel.data = engine->takeAccelerationSnapshots(&accel.count);
  ASSERT_EQ(accel.count, 150);
  for (int r = 0; r < 150; ++r) ASSERT_EQ(accel.data[r * 43 + (test::kSpeed - 4)], first + 50 + r) << r;

  // Drained: a second call finds nothing.
  Taken none;
  none.data = engine->takeCalculationSnapshots(&none.count);
  EXPECT_EQ(none.data, nullptr);
  EXPECT_EQ(none.count, 0);
  Taken noneAccel;
  noneAccel.data = engine->takeAccelerationSnapshots(&noneAccel.count);
  EXPECT_EQ(noneAccel.data, nullptr);
  EXPECT_EQ(noneAccel.count, 0);
}

TEST_F(OutputFixture, RecordContents) {
  start();
  ASSERT_TRUE(engine->installFilterString(0, 15, "SETVALUE(VALUE;0.25)"));
  input[gd::kLateralAccelG] = 0.5;
  input[gd::kLongitudinalAccelG] = 2.0;
  input[gd::kVerticalAccelG] = -1.0;
  input[gd::kRollSpeed] = 3.0;
  input[test::kSpeed] = 70.0;
  engine->setBeltMix(0, 2, 0.5);
  cycle(3);
  drain(*engine);
  cycle();

  Taken calc;
  calc.data = engine->takeCalculationSnapshots(&calc.count);
  ASSERT_EQ(calc.count, 1);
  for (int i = 0; i < 23; ++i) {
    const double expected = (i >= 11 && i <= 20) ? frame.airCue[i] : frame.cue[i];
    EXPECT_EQ(calc.data[i], expected) << i;
    EXPECT_EQ(engine->positionSnapshot[static_cast<std::size_t>(i)], expected) << i;
  }
  EXPECT_EQ(calc.data[10], 2.0 - 0.5);  // the summed belt channel
  EXPECT_EQ(calc.data[11], 2.0);        // its components, from the air profile
  EXPECT_EQ(calc.data[12], -1.0);
  EXPECT_EQ(calc.data[13], 3.0);
  EXPECT_EQ(calc.data[15], 0.25);  // an effect channel
  EXPECT_EQ(calc.data[0], 0.5 + 0.25);
  EXPECT_EQ(calc.data[21], 70.0);

  Taken accel;
  accel.data = engine->takeAccelerationSnapshots(&accel.count);
  ASSERT_EQ(accel.count, 1);
  for (int i = 0; i < 43; ++i) EXPECT_EQ(accel.data[i], frame.gameData[4 + i]) << i;
  EXPECT_EQ(accel.data[46 - 4], 2.0 - 0.5);  // the belt sum, written by the cue computation
}

TEST_F(OutputFixture, NullCountTakesNothing) {
  start();
  cycle(4);
  EXPECT_EQ(engine->takeCalculationSnapshots(nullptr), nullptr);
  EXPECT_EQ(engine->takeAccelerationSnapshots(nullptr), nullptr);
  EXPECT_EQ(engine->calculationSnapshotCount(), 6u);  // with the two start-up cycles
  EXPECT_EQ(engine->accelerationSnapshotCount(), 6u);
  Gamesource::freeSnapshots(nullptr);
}

// A host thread drains both lists and reads the latest record while the
// engine thread runs cycles (ThreadSanitizer checks the accesses); no
// record is taken twice.
TEST_F(OutputFixture, DrainingDuringCycles) {
  start();
  drain(*engine);
  std::atomic<bool> stop{false};
  std::thread engineThread([&] {
    for (int i = 0; i < 3000; ++i) cycle();
    stop.store(true);
  });
  long calcTaken = 0, accelTaken = 0;
  double latest = 0.0;  // read as a host reads the latest record
  auto takeBoth = [&] {
    Taken c, a;
    c.data = engine->takeCalculationSnapshots(&c.count);
    a.data = engine->takeAccelerationSnapshots(&a.count);
    calcTaken += c.count;
    accelTaken += a.count;
    latest += loadShared(engine->positionSnapshot[0]);
  };
  while (!stop.load()) {
    takeBoth();
    std::this_thread::yield();
  }
  engineThread.join();
  takeBoth();
  // A list holds 150 at most: a slow host may lose the oldest, never more
  // than it missed, and never gets one twice.
  EXPECT_LE(calcTaken, 3000);
  EXPECT_LE(accelTaken, 3000);
  EXPECT_GE(calcTaken, 150);
  EXPECT_GE(accelTaken, 150);
  EXPECT_GE(latest, 0.0);  // the cue of an idle input stays 0
}

}  // namespace
}  // namespace kinevra
