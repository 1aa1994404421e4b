// The engine's fan controller: the power byte, the frame formats, the
// initWindSerial export and what the game-source thread does to the fan.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "engine/engine_instance.h"
#include "engine/gamesource.h"
#include "fan_port.h"
#include "kinevra.h"
#include "manual_clock.h"
#include "wind/wind_serial.h"

namespace kinevra {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(WindPowerByte, PercentClampsScalesAndTruncates) {
  EXPECT_EQ(windPowerByte(-5.0), 0);
  EXPECT_EQ(windPowerByte(50.0), 127);
  EXPECT_EQ(windPowerByte(100.5), 255);
  EXPECT_EQ(windPowerByte(0.0), 0);
  EXPECT_EQ(windPowerByte(100.0), 255);
  EXPECT_EQ(windPowerByte(0.3), 0);   // 0.765 truncates
  EXPECT_EQ(windPowerByte(99.9), 254);
  EXPECT_EQ(windPowerByte(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(windPowerByte(std::numeric_limits<double>::infinity()), 255);
  EXPECT_EQ(windPowerByte(-std::numeric_limits<double>::infinity()), 0);
  EXPECT_EQ(windPowerByte(1e300), 255);
}

TEST(WindFrameFormat, ThreeCharactersOfDataBitsParityAndStopBits) {
  platform::SerialLineSettings line;
  ASSERT_TRUE(frameFormatLine("8E2", line));
  EXPECT_EQ(line.dataBits, 8);
  EXPECT_EQ(line.parity, platform::Parity::Even);
  EXPECT_EQ(line.stopBits, platform::StopBits::Two);
  ASSERT_TRUE(frameFormatLine("7o1", line));
  EXPECT_EQ(line.dataBits, 7);
  EXPECT_EQ(line.parity, platform::Parity::Odd);
  EXPECT_EQ(line.stopBits, platform::StopBits::One);
  ASSERT_TRUE(frameFormatLine("8n1", line));
  EXPECT_EQ(line.parity, platform::Parity::None);
  for (const char* bad : {"7X1", "8N3", "8N1x", "8N", "", "8M1", "8N0"})
    EXPECT_FALSE(frameFormatLine(bad, line)) << bad;
}

struct EngineWind : ::testing::Test {
  std::unique_ptr<test::FanPort> fan;
  test::ManualClock clock;
  test::ScriptedLink link;

  void SetUp() override {
    fan = std::make_unique<test::FanPort>(8);
    if (!fan->available()) GTEST_SKIP() << fan->whyNot();
  }
};

TEST_F(EngineWind, SearchingPausesTheFanAndTheThreadsEndStopsIt) {
  auto g = std::make_unique<Gamesource>(clock, &link);
  ASSERT_TRUE(g->wind.init(fan->name(), 9600, "8N1", 5));
  g->wind.start();
  ASSERT_TRUE(g->wind.isRunning());
  g->wind.updateBuffer({200});
  ASSERT_TRUE(fan->awaitByte(200));

  g->threadStartup();  // begins by searching
  EXPECT_TRUE(g->wind.paused.load());
  EXPECT_TRUE(g->wind.isRunning());
  ASSERT_TRUE(fan->awaitCount(3));
  EXPECT_EQ(fan->bytes(), (Bytes{0, 200, 0}));

  // The thread body with running clear: start-up, no pass, then the end.
  g->runGameSource();
  EXPECT_FALSE(g->wind.isRunning());
  EXPECT_TRUE(g->wind.isInit());
  ASSERT_TRUE(fan->awaitCount(5));
  EXPECT_EQ(fan->settle(20), (Bytes{0, 200, 0, 0, 0}));  // the start-up pauses again, then the stop
#ifndef _WIN32
  EXPECT_FALSE(fan->heldOpen());
#endif
}

TEST_F(EngineWind, TheEngineThreadStopsTheFanWhenStopped) {
  auto g = std::make_unique<Gamesource>(clock, &link);
  link.detect = 0;  // searches for ever
  ASSERT_TRUE(g->wind.init(fan->name(), 9600, "8N1", 5));
  g->wind.start();
  ASSERT_TRUE(fan->awaitCount(1));
  g->startThread();
  ASSERT_TRUE(fan->awaitCount(2));  // searching paused it
  g->stopGameSource();
  EXPECT_FALSE(g->wind.isRunning());
  ASSERT_TRUE(fan->awaitCount(3));
  EXPECT_EQ(fan->settle(20), (Bytes{0, 0, 0}));
}

TEST_F(EngineWind, DestroyingTheEngineStopsARunningFan) {
  {
    Gamesource g(clock, &link);
    ASSERT_TRUE(g.wind.init(fan->name(), 9600, "8N1", 5));
    g.wind.start();
    ASSERT_TRUE(g.wind.isRunning());
  }
  ASSERT_TRUE(fan->awaitCount(2));
  EXPECT_EQ(fan->settle(20), (Bytes{0, 0}));
#ifndef _WIN32
  EXPECT_FALSE(fan->heldOpen());
#endif
}

// The same UTF-16 text on both targets, as kinevra_char16 units.
std::basic_string<kinevra_char16> wide(const std::u16string& s) {
  return std::basic_string<kinevra_char16>(s.begin(), s.end());
}

TEST_F(EngineWind, InitWindSerialConfiguresTheEnginesFanFromUtf16) {
  WindSerial& w = engine().wind;
  EXPECT_EQ(initWindSerial(wide(u"COM199").c_str(), 9600, wide(u"8N1").c_str(), 25), 0);
  EXPECT_FALSE(w.isInit());
  EXPECT_EQ(w.sendIntervalMs.load(), 25u);

  const auto name = wide(std::u16string(fan->name().begin(), fan->name().end()));
  EXPECT_EQ(initWindSerial(name.c_str(), 19200, wide(u"8e2").c_str(), 30), 1);
  EXPECT_TRUE(w.isInit());
  EXPECT_EQ(w.portName, fan->name());
  EXPECT_EQ(w.baudRate, 19200);
  EXPECT_EQ(w.frameFormat, "8e2");
  EXPECT_EQ(w.sendIntervalMs.load(), 30u);

  // Texts beyond ASCII arrive as UTF-8: a paired surrogate joins, an unpaired
  // one becomes U+FFFD (and names no device).
  EXPECT_EQ(initWindSerial(name.c_str(), 9600, wide(u"8\u00C41").c_str(), 30), 1);
  EXPECT_EQ(w.frameFormat, "8\xC3\x84" "1");
  EXPECT_EQ(initWindSerial(name.c_str(), 9600, wide(u"\U0001F32C").c_str(), 30), 1);
  EXPECT_EQ(w.frameFormat, "\xF0\x9F\x8C\xAC");
  const kinevra_char16 lone[] = {'C', 'O', 'M', 0xD800, 0};
  EXPECT_EQ(initWindSerial(lone, 9600, wide(u"8N1").c_str(), 30), 0);
  EXPECT_FALSE(w.isInit());

  // Null texts are refused without being read; the interval is kept.
  EXPECT_EQ(initWindSerial(nullptr, 9600, wide(u"8N1").c_str(), 45), 0);
  EXPECT_EQ(w.sendIntervalMs.load(), 45u);
  EXPECT_EQ(initWindSerial(name.c_str(), 9600, nullptr, 46), 1);  // the format is checked at start
  EXPECT_EQ(w.frameFormat, "");
  w.start();
  EXPECT_FALSE(w.isRunning());
  EXPECT_EQ(initWindSerial(name.c_str(), 9600, wide(u"8N1").c_str(), 10), 1);
  w.start();
  EXPECT_TRUE(w.isRunning());
  w.stop();
  ASSERT_TRUE(fan->awaitCount(2));
  EXPECT_EQ(fan->settle(20), (Bytes{0, 0}));
}

}  // namespace
}  // namespace kinevra
