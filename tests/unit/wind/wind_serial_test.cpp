// WindSerial against a real port: the fan controller's end of a
// pseudo-terminal (under Wine: a recorded port, see fan_port.h).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "fan_port.h"
#include "wind/wind_serial.h"

namespace kinevra {
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

std::int64_t msSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

struct WindPort : ::testing::Test {
  std::unique_ptr<test::FanPort> fan;

  void SetUp() override {
    fan = std::make_unique<test::FanPort>();
    if (!fan->available()) GTEST_SKIP() << fan->whyNot();
  }

  // Configured on the fan port and started: the fan-off byte has arrived.
  void startOn(WindSerial& w, std::uint32_t intervalMs, const std::string& format = "8N1") {
    const std::size_t before = fan->bytes().size();
    ASSERT_TRUE(w.init(fan->name(), 9600, format, intervalMs));
    w.start();
    ASSERT_TRUE(w.isRunning());
    ASSERT_TRUE(fan->awaitCount(before + 1));
    ASSERT_EQ(fan->bytes()[before], 0x00);
  }

  // Waits until the sending thread has taken everything from the buffer.
  static bool awaitTaken(WindSerial& w) {
    return test::eventually([&] {
      std::lock_guard<std::mutex> hold(w.bufferMutex);
      return w.buffer.empty();
    });
  }
};

TEST_F(WindPort, AnUnknownNameFailsInitButKeepsTheInterval) {
  WindSerial w;
  EXPECT_EQ(w.sendIntervalMs.load(), 15u);
  EXPECT_FALSE(w.isInit());
  EXPECT_FALSE(w.init("COM199", 9600, "8N1", 40));
  EXPECT_EQ(w.sendIntervalMs.load(), 40u);
  EXPECT_FALSE(w.isInit());
  EXPECT_TRUE(w.portName.empty());
  w.start();
  EXPECT_FALSE(w.isRunning());
  EXPECT_EQ(w.startFailures.load(), 0);  // nothing was tried

  // A known name configures; a later unknown one leaves it unstartable again.
  EXPECT_TRUE(w.init(fan->name(), 9600, "8N1", 40));
  EXPECT_TRUE(w.isInit());
  EXPECT_FALSE(w.init("", 9600, "8N1", 50));
  EXPECT_FALSE(w.isInit());
  EXPECT_EQ(w.sendIntervalMs.load(), 50u);
  w.start();
  EXPECT_FALSE(w.isRunning());
  EXPECT_TRUE(fan->settle(50).empty());
}

TEST_F(WindPort, FrameFormatsDecideWhetherTheStartSucceeds) {
  for (const char* good : {"8N1", "8E2", "8n1", "8o1"}) {
    WindSerial w;
    startOn(w, 15, good);
    w.stop();
    EXPECT_FALSE(w.isRunning()) << good;
  }
  ASSERT_TRUE(fan->awaitCount(8));  // each start's and stop's fan-off byte
  const std::size_t before = fan->bytes().size();
  for (const char* bad : {"7X1", "8N3", "8N1x", "8N", ""}) {
    WindSerial w;
    ASSERT_TRUE(w.init(fan->name(), 9600, bad, 15));
    w.start();
    EXPECT_FALSE(w.isRunning()) << bad;
    EXPECT_EQ(w.startFailures.load(), 1) << bad;
  }
  WindSerial zeroBaud;
  ASSERT_TRUE(zeroBaud.init(fan->name(), 0, "8N1", 15));
  zeroBaud.start();
  EXPECT_FALSE(zeroBaud.isRunning());
  // A port that failed to configure never hears a byte.
  EXPECT_EQ(fan->settle(50).size(), before);
}

TEST_F(WindPort, ThreeFailedStartsThenNothingUntilInitOrStop) {
  WindSerial w;
  ASSERT_TRUE(w.init(fan->name(), 9600, "7X1", 15));
  for (int i = 1; i <= 3; ++i) {
    w.start();
    EXPECT_FALSE(w.isRunning());
    EXPECT_EQ(w.startFailures.load(), i);
  }
  // Even with a format that would work, start does not try any more.
  w.frameFormat = "8N1";
  w.start();
  EXPECT_FALSE(w.isRunning());
  EXPECT_EQ(w.startFailures.load(), 3);
  EXPECT_TRUE(fan->settle(50).empty());

  w.stop();  // forgets the failures
  EXPECT_EQ(w.startFailures.load(), 0);
  w.start();
  EXPECT_TRUE(w.isRunning());
  ASSERT_TRUE(fan->awaitCount(1));
  w.stop();
  ASSERT_TRUE(fan->awaitCount(2));

  w.frameFormat = "8N3";
  for (int i = 0; i < 4; ++i) w.start();
  EXPECT_EQ(w.startFailures.load(), 3);
  ASSERT_TRUE(w.init(fan->name(), 9600, "8E2", 15));  // so does init
  EXPECT_EQ(w.startFailures.load(), 0);
  w.start();
  EXPECT_TRUE(w.isRunning());
  w.stop();
  EXPECT_TRUE(fan->awaitCount(4));
  EXPECT_EQ(fan->bytes(), (Bytes{0, 0, 0, 0}));
}

#ifndef _WIN32
TEST_F(WindPort, AStartThatCannotOpenThePortCountsAsFailed) {
  WindSerial w;
  ASSERT_TRUE(w.init(fan->name(), 9600, "8N1", 15));
  fan->relink("/nonexistent/kinevra-fan");  // the name stays known, the device is gone
  for (int i = 0; i < 4; ++i) w.start();
  EXPECT_FALSE(w.isRunning());
  EXPECT_EQ(w.startFailures.load(), 3);
  fan->relink();
  ASSERT_TRUE(w.init(fan->name(), 9600, "8N1", 15));
  w.start();
  EXPECT_TRUE(w.isRunning());
  w.stop();
  EXPECT_TRUE(fan->awaitCount(2));
}
#endif

// The engine refreshes the buffer every 2 ms; the fan hears at most one byte
// per send interval, each time the newest, never one twice.
TEST_F(WindPort, OneNewestBytePerIntervalWhileFedEvery2Ms) {
  WindSerial w;
  const auto t0 = Clock::now();
  startOn(w, 100);
  std::thread feeder([&] {
    for (int k = 1; k <= 250; ++k) {
      w.updateBuffer({static_cast<std::uint8_t>(k)});
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  feeder.join();
  ASSERT_TRUE(fan->awaitByte(250));  // the last value is sent once the thread wakes
  const std::int64_t elapsed = msSince(t0);
  const Bytes sent(fan->bytes().begin() + 1, fan->bytes().end());
  EXPECT_TRUE(awaitTaken(w));
  EXPECT_EQ(fan->settle(250).size(), sent.size() + 1);  // nothing more: no byte twice
  w.stop();
  EXPECT_TRUE(fan->awaitCount(sent.size() + 2));

  for (std::size_t i = 1; i < sent.size(); ++i) EXPECT_LT(sent[i - 1], sent[i]) << "at " << i;
  EXPECT_EQ(sent.back(), 250);
  // Each write is followed by a 100 ms pause, so no more than this many fit.
  EXPECT_LE(static_cast<std::int64_t>(sent.size()), elapsed / 100 + 1) << elapsed << " ms";
}

TEST_F(WindPort, AnIntervalOfZeroStillPausesBetweenBytes) {
  WindSerial w;
  const auto t0 = Clock::now();
  startOn(w, 0);
  std::uint8_t k = 0;
  while (msSince(t0) < 300) {
    for (int i = 0; i < 100; ++i) w.updateBuffer({static_cast<std::uint8_t>(++k | 1)});
    std::this_thread::yield();
  }
  w.stop();
  const std::int64_t elapsed = msSince(t0);
  ASSERT_TRUE(fan->awaitByte(0x00, 1));  // the stop's byte (every other one is odd)
  const std::size_t n = fan->bytes().size();
  // Start and stop bytes, and at most one byte per millisecond between.
  EXPECT_LE(static_cast<std::int64_t>(n), elapsed + 3) << elapsed << " ms";
  EXPECT_GT(n, 2u);
}

TEST_F(WindPort, PauseWritesZeroAtOnceAndDropsWhatItTakes) {
  WindSerial w;
  startOn(w, 20);
  w.updateBuffer({5});
  ASSERT_TRUE(fan->awaitByte(5));
  w.pause();
  EXPECT_TRUE(w.paused.load());
  ASSERT_TRUE(fan->awaitCount(3));
  EXPECT_EQ(fan->bytes(), (Bytes{0, 5, 0}));

  // Taken while paused: dropped. The second take proves the thread has
  // finished the step of the first.
  w.updateBuffer({9});
  ASSERT_TRUE(awaitTaken(w));
  w.updateBuffer({9});
  ASSERT_TRUE(awaitTaken(w));
  EXPECT_EQ(fan->settle(60), (Bytes{0, 5, 0}));

  w.unpause();
  w.updateBuffer({11});
  ASSERT_TRUE(fan->awaitByte(11));
  w.stop();
  ASSERT_TRUE(fan->awaitCount(5));
  EXPECT_EQ(fan->bytes(), (Bytes{0, 5, 0, 11, 0}));
}

TEST_F(WindPort, StopWritesZeroEndsTheThreadAndClosesThePort) {
  WindSerial w;
  startOn(w, 1000);  // stop must not wait out a long interval
  w.updateBuffer({42});
  ASSERT_TRUE(fan->awaitByte(42));
  w.updateBuffer({43});  // waits for the next step, which never comes
  const auto t0 = Clock::now();
  w.stop();
  const std::int64_t took = msSince(t0);
  EXPECT_FALSE(w.isRunning());
  EXPECT_FALSE(w.sendingThread.joinable());
  EXPECT_TRUE(w.isInit());  // still configured
  ASSERT_TRUE(fan->awaitCount(3));
  EXPECT_EQ(fan->settle(50), (Bytes{0, 42, 0}));
  EXPECT_LT(took, 60000);
#ifndef _WIN32
  EXPECT_FALSE(fan->heldOpen());
#endif
  // Closed: another object can take the port (opens are exclusive).
  WindSerial other;
  startOn(other, 15);
  WindSerial third;
  ASSERT_TRUE(third.init(fan->name(), 9600, "8N1", 15));
#ifdef _WIN32
  third.start();  // the port is taken
  EXPECT_FALSE(third.isRunning());
#endif
  other.stop();
  third.stop();  // stop without a start: nothing to write or join
  EXPECT_TRUE(fan->awaitCount(5));
  EXPECT_EQ(fan->settle(20), (Bytes{0, 42, 0, 0, 0}));

  // Stopped objects start again.
  w.start();
  EXPECT_TRUE(w.isRunning());
  w.stop();
  EXPECT_TRUE(fan->awaitCount(7));
}

TEST_F(WindPort, DestroyingARunningObjectTurnsTheFanOffAndCloses) {
  {
    WindSerial w;
    startOn(w, 30);
    w.updateBuffer({77});
    ASSERT_TRUE(fan->awaitByte(77));
    w.updateBuffer({78});
  }
  ASSERT_TRUE(fan->awaitCount(3));
  const Bytes got = fan->settle(50);
  EXPECT_EQ(got.back(), 0x00);
  EXPECT_LE(got.size(), 4u);  // 78 only if its step came before the end
#ifndef _WIN32
  EXPECT_FALSE(fan->heldOpen());
#endif
}

// Host threads pausing, stopping, restarting and configuring while an engine
// thread feeds it: whatever the interleaving, the fan-off byte of the last
// stop is the last byte the fan hears.
TEST_F(WindPort, ConcurrentControlEndsWithTheFanOff) {
  WindSerial w;
  startOn(w, 1);
  std::atomic<bool> go{true};
  std::thread engine([&] {
    std::uint8_t k = 0;
    while (go.load()) {
      if (w.isRunning()) {
        w.paused.exchange(false);
        std::lock_guard<std::mutex> hold(w.bufferMutex);
        w.buffer.assign(1, static_cast<std::uint8_t>(++k | 1));
      } else if (w.isInit()) {
        w.start();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  std::thread host([&] {
    for (int i = 0; i < 40; ++i) {
      switch (i % 4) {
        case 0: w.pause(); break;
        case 1: w.stop(); break;
        case 2: w.init(fan->name(), 9600, "8N1", static_cast<std::uint32_t>(i % 3)); break;
        default: w.unpause(); break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
  });
  host.join();
  go.store(false);
  engine.join();
  w.stop();
  EXPECT_FALSE(w.isRunning());
  const Bytes got = fan->settle(100);
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back(), 0x00);
}

}  // namespace
}  // namespace kinevra
