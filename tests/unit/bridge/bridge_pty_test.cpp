// The bridge end to end: a real bridge thread on a pseudo-terminal with
// rigsim as the controller (natively; Windows has no pseudo-terminal to
// present as a COM port, so these skip there).
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "allocation_counter.h"
#include "bridge_support.h"
#include "captured_stdout.h"
#include "link/engine_output.h"
#include "link/host_bridge.h"
#include "link/message_routing.h"
#include "platform/pseudo_terminal.h"
#include "rig_double.h"

namespace kinevra {
namespace {

using test::Rig;

std::string hex(const std::uint8_t* p, std::size_t n) {
  std::string s;
  char b[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, i ? " %02X" : "%02X", p[i]);
    s += b;
  }
  return s;
}

// The log line rigsim writes for a message of n bytes that arrived with the
// sender's CRC (or, for withCrc false, as it is).
std::string rxLine(const std::uint8_t* message, std::size_t n, bool withCrc = true) {
  std::vector<std::uint8_t> m(message, message + n);
  if (withCrc) applyFrameCrc(m.data(), n);
  char kind[4];
  std::snprintf(kind, sizeof kind, "%02X", m[0]);
  return std::string("rx ") + kind + (withCrc ? " crc-ok " : " lfcr ") + hex(m.data(), n);
}

std::vector<std::string> linesOf(const std::string& text, const std::string& prefix) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);)
    if (l.rfind(prefix, 0) == 0) out.push_back(l);
  return out;
}

struct BridgeOnPty : ::testing::Test {
  std::unique_ptr<LinkState> link = std::make_unique<LinkState>();
  CSerialPort port;
  test::FakeCatalog catalog;
  SerialDiscovery discovery{*link, port, catalog, systemClock()};
  HostBridge bridge{*link, port, discovery, systemClock()};
  std::unique_ptr<test::ComFolder> folder;
  std::thread thread;
  std::atomic<int> result{-1};

  void SetUp() override {
    platform::PseudoTerminal probe;
    if (!probe.open()) GTEST_SKIP() << "no pseudo-terminals on this system (Windows has none to map a COM port to)";
    folder = std::make_unique<test::ComFolder>();
    catalog.addPort(5);
    discovery.setStandartPort("COM5");
  }
  void TearDown() override { stop(); }

  void start() {
    thread = std::thread([this] { result = bridge.startMMFtoSerial_Thread(); });
    ASSERT_TRUE(test::eventually([&] { return link->bridgeRunning.load(); }));
  }
  void stop() {
    if (!thread.joinable()) return;
    bridge.stopMMFtoSerial_Thread();
    thread.join();
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(port.isOpen());
  }
  // The bridge waits without auto-connect; the host opens the standard port.
  void connectByResume() {
    start();
    ASSERT_EQ(bridge.resumeInterface(), 1);
    ASSERT_TRUE(link->serialPortOpen);
  }
  int send(const std::vector<std::uint8_t>& m) { return sendMessagemmf(*link, m.data()); }
};

TEST_F(BridgeOnPty, MessagesReachTheControllerAndFramesComeBack) {
  Rig rig(*folder, 5, {"--answers", "1"});
  ASSERT_TRUE(rig.started());
  connectByResume();
  EXPECT_EQ(isConnected(*link), 1);

  // To the controller: the CRC over the LF CR, whatever follows in the buffer.
  const auto m = test::hostBuffer(38, 0xF8, 0x20);
  ASSERT_EQ(send(m), 1);
  EXPECT_TRUE(rig.awaitLog(rxLine(m.data(), 38)));
  EXPECT_EQ(rig.log().find("crc-bad"), std::string::npos);

  // From the controller: checked frames in normal form, oldest first.
  EXPECT_EQ(newMessagemmf(*link), 0);
  rig.command("send F8 3");
  std::vector<std::vector<std::uint8_t>> frames;
  ASSERT_TRUE(test::eventually([&] {
    std::uint8_t b[512];
    if (const int n = readMessagemmf(*link, b); n > 0) frames.emplace_back(b, b + n);
    return frames.size() == 3;
  }));
  EXPECT_TRUE(link->serialDataValid);
  for (std::uint32_t i = 0; i < 3; ++i) {
    ASSERT_EQ(frames[i].size(), 38u);
    EXPECT_EQ(frames[i][0], 0xF8);
    std::uint32_t number = 0;
    std::memcpy(&number, &frames[i][2], 4);
    EXPECT_EQ(number, i);
    EXPECT_EQ(frames[i][36], kLf);
    EXPECT_EQ(frames[i][37], kCr);
  }
  EXPECT_EQ(newMessagemmf(*link), 0);
  EXPECT_GT(bridge.getOutputTimeFrame(), 0.0);
}

TEST_F(BridgeOnPty, ALoneAutoMessageIsWrittenTwelveTimesAndTwoOnceEach) {
  Rig rig(*folder, 5, {});
  ASSERT_TRUE(rig.started());
  start();
  // Queued before the cycles begin, so that each cycle finds the queue as
  // the test set it up.
  const auto lone = test::hostBuffer(8, 0xF9, 0x30);
  ASSERT_EQ(autoMessagemmf(*link, lone.data()), 1);
  ASSERT_EQ(bridge.resumeInterface(), 1);
  ASSERT_TRUE(test::eventually([&] { return link->autoTxQueue.empty(); }));
  const auto marker1 = test::hostBuffer(38, 0xF8, 0x40);
  ASSERT_EQ(send(marker1), 1);
  ASSERT_TRUE(rig.awaitLog(rxLine(marker1.data(), 38)));
  // Unchanged, LF CR and all, in 12 cycles.
  EXPECT_EQ(test::countOf(rig.log(), rxLine(lone.data(), 8, false)), 12);

  bridge.pauseInterface();
  const auto first = test::hostBuffer(8, 0xF9, 0x50);
  const auto second = test::hostBuffer(8, 0xF9, 0x60);
  ASSERT_EQ(autoMessagemmf(*link, first.data()), 1);
  ASSERT_EQ(autoMessagemmf(*link, second.data()), 1);
  ASSERT_EQ(bridge.resumeInterface(), 1);
  ASSERT_TRUE(test::eventually([&] { return link->autoTxQueue.empty(); }));
  const auto marker2 = test::hostBuffer(38, 0xF8, 0x70);
  ASSERT_EQ(send(marker2), 1);
  ASSERT_TRUE(rig.awaitLog(rxLine(marker2.data(), 38)));
  const std::string log = rig.log();
  EXPECT_EQ(test::countOf(log, rxLine(first.data(), 8, false)), 1);
  // The second then is a lone message; the counter starts again from 0.
  EXPECT_EQ(test::countOf(log, rxLine(second.data(), 8, false)), 12);
  EXPECT_LT(log.find(rxLine(first.data(), 8, false)), log.find(rxLine(second.data(), 8, false)));
}

// An engine thread hands over a rig message every millisecond, from before
// the controller is found until the test has seen some arrive.
TEST_F(BridgeOnPty, EngineOutputArrivesWholeAndOnlyFreshAfterAConnection) {
  Rig rig(*folder, 5, {});
  ASSERT_TRUE(rig.started());
  start();
  // Numbered rig messages with LF CR inside a channel and at their end.
  auto message = [](std::uint32_t n) {
    std::array<std::uint8_t, 36> m{};
    m[0] = m[1] = 0xFC;
    for (std::size_t i = 6; i < 34; ++i) m[i] = static_cast<std::uint8_t>(i);
    std::memcpy(&m[2], &n, 4);
    m[10] = kLf;
    m[11] = kCr;
    m[34] = kLf;
    m[35] = kCr;
    return m;
  };
  std::atomic<bool> engineRuns{true};
  std::atomic<std::uint32_t> madeBeforeConnection{0};  // newest made while no port was open
  std::thread engine([&] {
    for (std::uint32_t n = 1; engineRuns; ++n) {
      queueEngineOutput(*link, message(n));
      if (!link->serialPortOpen) madeBeforeConnection = n;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  ASSERT_TRUE(test::eventually([&] { return madeBeforeConnection > 20; }));
  bridge.enableAutoconnect();
  const bool arrived = rig.awaitLog("rx FC", 20);
  engineRuns = false;
  engine.join();
  ASSERT_TRUE(arrived);

  const std::string log = rig.log();
  const auto afterConnect1 = log.find(rxLine(kFirstAfterConnect.data(), 8));
  const auto afterConnect2 = log.find(rxLine(kSecondAfterConnect.data(), 8));
  ASSERT_NE(afterConnect1, std::string::npos);
  ASSERT_NE(afterConnect2, std::string::npos);
  EXPECT_LT(afterConnect1, afterConnect2);
  EXPECT_LT(afterConnect2, log.find("rx FC"));
  std::uint32_t previous = 0;
  for (const std::string& line : linesOf(log, "rx FC")) {
    // Whole, with the CRC over its last two bytes, sent once, newer each time.
    unsigned b[4];
    ASSERT_EQ(std::sscanf(line.c_str(), "rx FC crc-ok FC FC %X %X %X %X", &b[0], &b[1], &b[2], &b[3]), 4) << line;
    const std::uint32_t n = b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    EXPECT_EQ(line, rxLine(message(n).data(), 36));
    EXPECT_GT(n, madeBeforeConnection.load());
    EXPECT_GT(n, previous);
    previous = n;
  }
}

TEST_F(BridgeOnPty, APausedInterfaceClosesThePortAndSendsNothingUntilResumed) {
  Rig rig(*folder, 5, {});
  ASSERT_TRUE(rig.started());
  connectByResume();
  const auto before = test::hostBuffer(38, 0xF8, 1);
  ASSERT_EQ(send(before), 1);
  ASSERT_TRUE(rig.awaitLog(rxLine(before.data(), 38)));

  EXPECT_EQ(bridge.pauseInterface(), 1);
  EXPECT_EQ(bridge.isInterfaceRunning(), 0);
  EXPECT_FALSE(link->serialPortOpen);
  EXPECT_FALSE(port.isOpen());
  const auto during = test::hostBuffer(38, 0xF8, 2);
  ASSERT_EQ(send(during), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a few idle steps
  EXPECT_EQ(rig.log().find(rxLine(during.data(), 38)), std::string::npos);

  ASSERT_EQ(bridge.resumeInterface(), 1);
  EXPECT_TRUE(rig.awaitLog(rxLine(during.data(), 38)));
}

TEST_F(BridgeOnPty, AnUnpluggedControllerIsFoundAgainWhenItReturns) {
  auto rig = std::make_unique<Rig>(*folder, 5, std::vector<std::string>{});
  ASSERT_TRUE(rig->started());
  start();
  bridge.enableAutoconnect();
  ASSERT_TRUE(test::eventually([&] { return link->serialPortOpen.load(); }));
  ASSERT_TRUE(rig->awaitLog(rxLine(kSecondAfterConnect.data(), 8)));

  {
    test::Stdout out_;
    rig->command("close");
    ASSERT_TRUE(rig->awaitLog("closed"));
    ASSERT_TRUE(test::eventually([&] { return !link->serialPortOpen; }));
    EXPECT_TRUE(rig->stop()) << "rigsim had to be forced to end";
    rig.reset();  // gone from the machine
    const std::string out = out_.take();
    EXPECT_NE(out.find(" Serial Exception Error: "), std::string::npos) << out;
  }
  EXPECT_EQ(isConnected(*link), 0);

  Rig back(*folder, 5, {}, "b");
  ASSERT_TRUE(back.started());
  ASSERT_TRUE(test::eventually([&] { return link->serialPortOpen.load(); }));
  EXPECT_TRUE(back.awaitLog(rxLine(kFirstAfterConnect.data(), 8)));
  EXPECT_TRUE(back.awaitLog(rxLine(kSecondAfterConnect.data(), 8)));
  const auto m = test::hostBuffer(38, 0xF8, 3);
  ASSERT_EQ(send(m), 1);
  EXPECT_TRUE(back.awaitLog(rxLine(m.data(), 38)));
}

// The bridge thread's own allocations over 500 connected cycles with traffic
// both ways: host messages, engine output, automatic messages and frames.
TEST_F(BridgeOnPty, ConnectedCyclesAllocateNothing) {
  Rig rig(*folder, 5, {"--answers", "1"});
  ASSERT_TRUE(rig.started());
  std::atomic<int> cycles{0};
  std::atomic<long> allocations{-1};
  bridge.onCycle = [&] {
    const int n = ++cycles;
    if (n == 20) {
      tAllocations = 0;
      tCounting = true;
    } else if (n == 520) {
      tCounting = false;
      allocations = tAllocations;
    }
  };
  connectByResume();
  std::array<std::uint8_t, 36> output{0xFC, 0xFC};
  output[34] = kLf;
  output[35] = kCr;
  const auto host = test::hostBuffer(38, 0xF8, 0x21);
  const auto state = test::hostBuffer(8, 0xF9, 0x22);
  int round = 0;
  // One round of traffic every 5 ms until the count is in.
  EXPECT_TRUE(test::eventually(
      [&] {
        queueEngineOutput(*link, output);
        sendMessagemmf(*link, host.data());
        if (round % 5 == 0) autoMessagemmf(*link, state.data());
        if (round % 10 == 0) rig.command("send F8 3");
        ++round;
        return allocations >= 0;
      },
      std::chrono::seconds(300)));
  EXPECT_EQ(allocations, 0);
  EXPECT_TRUE(link->serialDataValid);  // frames did come in
}

// Host threads send and read while the bridge runs: every message the bridge
// accepted reaches the controller once, in its thread's order, and none it
// refused (its queue full) does; every frame the controller sent is read once.
TEST_F(BridgeOnPty, HostThreadsSendAndReadConcurrently) {
  Rig rig(*folder, 5, {"--answers", "1", "--seconds", "900"});
  ASSERT_TRUE(rig.started());
  connectByResume();
  // Serial frames valid, so messages go to the serial queue alone.
  rig.command("send F9");
  ASSERT_TRUE(test::eventually([&] { return link->serialDataValid.load(); }));
  std::uint8_t drop[512];
  while (readMessagemmf(*link, drop) > 0) {
  }

  constexpr int kSenders = 3, kPerSender = 400, kReaders = 2, kBursts = 4, kPerBurst = 100;
  std::array<std::vector<int>, kSenders> accepted;
  std::array<std::vector<std::uint32_t>, kReaders> read;
  std::atomic<int> readTotal{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kSenders; ++t)
    threads.emplace_back([&, t] {
      for (int seq = 0; seq < kPerSender; ++seq) {
        auto m = test::hostBuffer(38, 0xF8, 0x11);
        m[2] = static_cast<std::uint8_t>(t);
        m[3] = static_cast<std::uint8_t>(seq & 0xFF);
        m[4] = static_cast<std::uint8_t>(seq >> 8);
        const int r = sendMessagemmf(*link, m.data());
        ASSERT_TRUE(r == 1 || r == -1);
        if (r == 1) accepted[t].push_back(seq);
        if (seq % 20 == 19) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
  for (int t = 0; t < kReaders; ++t)
    threads.emplace_back([&, t] {
      std::uint8_t b[512];
      while (readTotal < kBursts * kPerBurst) {
        const int n = readMessagemmf(*link, b);
        if (n == 0) {
          std::this_thread::yield();
          continue;
        }
        ASSERT_EQ(n, 38);
        ASSERT_EQ(b[36], kLf);
        std::uint32_t number = 0;
        std::memcpy(&number, &b[2], 4);
        read[t].push_back(number);
        ++readTotal;
      }
    });
  // Bursts the receive queue can hold whole (151 entries).
  for (int burst = 0; burst < kBursts; ++burst) {
    rig.command("send F8 " + std::to_string(kPerBurst));
    ASSERT_TRUE(test::eventually([&] { return readTotal >= (burst + 1) * kPerBurst; }, std::chrono::seconds(120)));
  }
  for (auto& th : threads) th.join();

  std::vector<bool> seen(kBursts * kPerBurst, false);
  for (const auto& r : read) {
    for (std::size_t i = 0; i < r.size(); ++i) {
      ASSERT_LT(r[i], seen.size());
      EXPECT_FALSE(seen[r[i]]) << r[i];
      seen[r[i]] = true;
      if (i > 0) {
        EXPECT_LT(r[i - 1], r[i]);  // each reader sees them in order
      }
    }
  }

  int total = 0;
  for (const auto& a : accepted) total += static_cast<int>(a.size());
  EXPECT_GT(total, 0);
  ASSERT_TRUE(test::eventually([&] { return test::countOf(rig.log(), "rx F8 crc-ok") == total; },
                               std::chrono::seconds(120)))
      << test::countOf(rig.log(), "rx F8 crc-ok") << " of " << total;
  std::map<int, std::vector<int>> delivered;
  for (const std::string& line : linesOf(rig.log(), "rx F8 crc-ok ")) {
    unsigned kind, t, lo, hi;
    ASSERT_EQ(std::sscanf(line.c_str(), "rx F8 crc-ok F8 %X %X %X %X", &kind, &t, &lo, &hi), 4);
    delivered[static_cast<int>(t)].push_back(static_cast<int>(lo | hi << 8));
  }
  for (int t = 0; t < kSenders; ++t) EXPECT_EQ(delivered[t], accepted[t]) << "sender " << t;
  EXPECT_EQ(rig.log().find("crc-bad"), std::string::npos);
}

TEST(EngineOutputSlots, HandingOverAndTakingAllocateNothing) {
  auto s = test::runningLink();
  Message kept;
  kept.reserve(kMaxMessageBytes);
  std::array<std::uint8_t, 36> msg{0xFC, 0xFC};
  CountAllocations count;
  for (int i = 0; i < 1000; ++i) {
    queueEngineOutput(*s, msg);
    takeSerialEngineOutput(*s, kept);
    takeUdpEngineOutput(*s, kept);
  }
  EXPECT_EQ(count.count(), 0);
}

// A controller pulled while host messages wait: the write that fails is lost
// with the line, the messages behind it wait for the next connection.
TEST_F(BridgeOnPty, MessagesQueuedBehindAFailedWriteWaitForTheNextConnection) {
  auto line = std::make_unique<platform::PseudoTerminal>();
  ASSERT_TRUE(line->open());
  std::error_code ec;
  std::filesystem::create_symlink(line->peerPath(), folder->path() / "com5", ec);
  ASSERT_FALSE(ec) << ec.message();
  ASSERT_TRUE(discovery.openComPort(5));
  link->serialPortOpen = true;  // as after the identification
  link->bridgeRunning = true;   // messages are taken while a link loop runs
  std::array<std::uint8_t, 512> m{};
  for (std::uint8_t k = 0; k < 5; ++k) {
    m = {0xF8, 0xF8, k, 0x00};
    m[36] = 0x0A;
    m[37] = 0x0D;
    ASSERT_EQ(sendMessagemmf(*link, m.data()), 1);
  }
  line.reset();  // the controller's end is gone
  test::Stdout out;
  start();
  ASSERT_TRUE(test::eventually([&] { return !link->serialPortOpen.load(); }));
  stop();
  EXPECT_EQ(link->serialTxQueue.size(), 4u);
  EXPECT_NE(out.take().find("Serial Exception Error"), std::string::npos);
}

}  // namespace
}  // namespace kinevra
