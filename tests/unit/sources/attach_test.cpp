// Attach, read and detach for every transport against real games (gamesim),
// and the game-source loop driving real sources: detection, attach, reads,
// the lost-telemetry detach and the search that follows.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "engine/gamesource.h"
#include "game_double.h"
#include "manual_clock.h"
#include "platform/shared_memory.h"
#include "platform/sockets.h"
#include "sources/shared_memory_readers.h"
#include "sources/tcp_reader.h"
#include "sources/telemetry_sources.h"
#include "sources/udp_reader.h"

namespace kinevra {
namespace {

using platform::SharedMemory;
using test::GameDouble;

constexpr int kFrontLeftSuspension = 26;
constexpr int kRpm = 31;

// An LFS packet of 280 bytes for the test formats below: a value at byte 4.
std::vector<std::uint8_t> lfsPacket(float value) {
  std::vector<std::uint8_t> p(280, 0);
  std::memcpy(p.data(), "LFST", 4);
  std::memcpy(p.data() + 4, &value, 4);
  return p;
}

// A stand-in format for LFS datagrams: the float at byte 4 as front-left
// suspension, pitch 30 degrees and a longitudinal acceleration of 1.
class TestLfsReader final : public UdpReader {
 public:
  explicit TestLfsReader(Clock& clock) : UdpReader(13, clock, udpReaderSetup(13)) {}
  int converted = 0;

 protected:
  bool convert(const std::uint8_t* d, std::size_t n, double* g) override {
    float v = 0;
    if (n < 8) return false;
    std::memcpy(&v, d + 4, 4);
    g[kFrontLeftSuspension] = v;
    g[gd::kPitchPosition] = 30.0;
    g[gd::kRollPosition] = 0.0;
    g[gd::kLongitudinalAccel] = 1.0;
    ++converted;
    return true;
  }
};

// A stand-in format for the "$pcars2$" block: the int32 at byte 0 as rpm,
// new whenever it changed.
class TestPcars2Reader final : public MappedBlockReader {
 public:
  explicit TestPcars2Reader(Clock& clock)
      : MappedBlockReader(9, clock, blocks::kPcars2, blocks::kPcars2Size) {}

 protected:
  bool convert(ByteView block, double* g) override {
    std::int32_t v = 0;
    if (!block.read(0, &v) || v == last_) return false;
    last_ = v;
    g[kRpm] = v;
    return true;
  }

 private:
  std::int32_t last_ = 0;
};

// Records each reply that reaches the roller-coaster reader.
class RecordingTcpReader final : public TcpReader {
 public:
  explicit RecordingTcpReader(Clock& clock) : TcpReader(8, clock, 15151) {}
  std::vector<std::uint8_t> lastReply;

 protected:
  bool convert(const std::uint8_t* d, std::size_t n, double*) override {
    lastReply.assign(d, d + n);
    return true;
  }
};

struct Attach : ::testing::Test {
  test::ManualClock clock;
  TelemetrySources sources{clock};

  int detect(int passes = 40) {
    for (int i = 0; i < passes; ++i)
      if (sources.detectGame() == 1) return sources.gameId();
    return -1;
  }
  // Reads until one brings new data (datagrams take real time to arrive).
  bool readUntilUpdate(int limit = 20000) {
    for (int i = 0; i < limit; ++i) {
      if (sources.readGameData() == 1) return true;
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return false;
  }
};

TEST_F(Attach, UdpGameBindsItsPortAndCompletesGravityInItsDirection) {
  auto own = std::make_unique<TestLfsReader>(clock);
  TestLfsReader& lfs = *own;
  sources.setReader(13, std::move(own));
  GameDouble game("LFS.exe", {"--udp", "4123", "--payload", test::toHex(lfsPacket(0.25f))});
  ASSERT_TRUE(game.started());
  ASSERT_EQ(detect(), 13);
  ASSERT_EQ(sources.attachGame(), 1);
  EXPECT_TRUE(lfs.isOpen());

  ASSERT_TRUE(readUntilUpdate());
  const double* g = sources.frame.gameData;
  EXPECT_FLOAT_EQ(g[kFrontLeftSuspension], 0.25);
  // LFS delivers accelerations without gravity: gravity is added.
  EXPECT_NEAR(g[gd::kLongitudinalGravi], 4.903325, 1e-9);
  EXPECT_NEAR(g[gd::kLongitudinalAccelG], 5.903325, 1e-9);
  EXPECT_GT(g[gd::kIntervalMs], 0.0);
  EXPECT_EQ(sources.groundState(), 0);

  EXPECT_EQ(sources.detachGame(), 1);
  EXPECT_FALSE(lfs.isOpen());
  EXPECT_EQ(sources.gameId(), -1);
  EXPECT_EQ(sources.detachGame(), 0);  // nothing flagged any more
  EXPECT_EQ(sources.readGameData(), 0);
}

TEST_F(Attach, ReaderWithoutItsGameFormatReportsNoUpdates) {
  // The bare UDP reader in DiRT's place: it knows no datagram format.
  sources.setReader(5, std::make_unique<UdpReader>(5, clock, udpReaderSetup(5)));
  GameDouble game(test::uniqueName("dirt") + ".exe", {"--udp", "20778"});
  ASSERT_TRUE(game.started());
  ASSERT_EQ(detect(), 5);
  ASSERT_EQ(sources.attachGame(), 1);
  auto& reader = static_cast<UdpReader&>(sources.reader(5));
  // Datagrams arrive and are taken off the socket, but nothing is converted.
  ASSERT_TRUE(test::eventually([&] {
    sources.readGameData();
    return reader.senderAddress[0] != '\0' && sources.frame.gameData[gd::kIntervalMs] > 0.0;
  }));
  for (int i = 0; i < 50; ++i) EXPECT_EQ(sources.readGameData(), 0);
  EXPECT_EQ(sources.detachGame(), 1);
}

TEST_F(Attach, TcpGameIsAskedForTelemetryEveryRead) {
  auto own = std::make_unique<RecordingTcpReader>(clock);
  RecordingTcpReader& reader = *own;
  sources.setReader(8, std::move(own));
  std::vector<std::uint8_t> reply(86, 0);
  reply[0] = 'N';
  reply[2] = 6;
  reply[85] = 'L';
  GameDouble game(test::uniqueName("nl2") + ".exe", {"--tcp", "15151", "--reply", test::toHex(reply)});
  ASSERT_TRUE(game.started());
  ASSERT_EQ(detect(), 8);
  ASSERT_EQ(sources.attachGame(), 1);
  EXPECT_TRUE(reader.connected());
  ASSERT_TRUE(readUntilUpdate());
  // Replies to earlier requests may arrive together: whole replies, in order.
  ASSERT_GE(reader.lastReply.size(), reply.size());
  EXPECT_EQ(reader.lastReply.size() % reply.size(), 0u);
  EXPECT_TRUE(std::equal(reply.begin(), reply.end(), reader.lastReply.begin()));
  EXPECT_EQ(sources.detachGame(), 1);
  EXPECT_FALSE(reader.connected());
  EXPECT_EQ(reader.update(sources.frame.gameData), 0);
}

TEST_F(Attach, GameBlocksAreMappedAtMostAtTheirRealSize) {
  {
    // "$pcars2$" smaller than its format: the view ends where the block does.
    GameDouble game(test::uniqueName("ams2") + ".exe", {"--shm", std::string(blocks::kPcars2) + ":1000"});
    ASSERT_TRUE(game.started());
    ASSERT_EQ(detect(), 9);
    ASSERT_EQ(sources.attachGame(), 1);
    auto& reader = static_cast<MappedBlockReader&>(sources.reader(9));
    EXPECT_EQ(reader.mapped, 1);
    EXPECT_EQ(reader.ready, 1);
    EXPECT_EQ(reader.failed, 0);
    EXPECT_GE(reader.block().viewSize(), 1000u);
    EXPECT_LE(reader.block().viewSize(), blocks::kPcars2Size);
#if !defined(_WIN32)
    EXPECT_EQ(reader.block().viewSize(), 1000u);
#endif
    // A second attach maps afresh instead of failing for good.
    EXPECT_EQ(sources.attachGame(), 1);
    EXPECT_EQ(sources.readGameData(), 0);
    EXPECT_EQ(sources.detachGame(), 1);
    EXPECT_EQ(reader.mapped, 0);
    EXPECT_EQ(reader.ready, 0);
    EXPECT_FALSE(reader.block().isOpen());
  }
  {
    GameDouble truck("eurotrucks2.exe", {"--shm", std::string(blocks::kScs) + ":100"});
    ASSERT_TRUE(truck.started());
    ASSERT_EQ(detect(), 17);
    ASSERT_EQ(sources.attachGame(), 1);
    auto& reader = static_cast<ScsReader&>(sources.reader(17));
    EXPECT_GE(reader.block().viewSize(), 100u);
    EXPECT_LE(reader.block().viewSize(), blocks::kScsSize);
    EXPECT_EQ(sources.detachGame(), 1);
    EXPECT_FALSE(reader.block().isOpen());
  }
}

TEST_F(Attach, RaceRoomNeedsItsProcessAtAttachToo) {
  auto& reader = static_cast<MappedBlockReader&>(sources.reader(4));
  {
    GameDouble game("RRRE64.exe", {"--shm", std::string(blocks::kR3e) + ":39320"});
    ASSERT_TRUE(game.started());
    ASSERT_EQ(detect(), 4);
    ASSERT_EQ(sources.attachGame(), 1);
    EXPECT_GE(reader.block().viewSize(), blocks::kR3eSize);  // all of it (Windows: whole pages)
#if !defined(_WIN32)
    EXPECT_EQ(reader.block().viewSize(), blocks::kR3eSize);
#endif
    EXPECT_EQ(sources.detachGame(), 1);
    sources.gameFlags[4].store(1);  // flagged, but the game has gone by attach time
  }
  EXPECT_EQ(sources.attachGame(), 0);
  EXPECT_EQ(reader.mapped, 0);
  EXPECT_FALSE(reader.block().isOpen());
}

TEST_F(Attach, AcpmfSessionHoldsBothPagesUntilDetach) {
  const std::string page = std::string(blocks::kAcpmfGraphics);
  GameDouble game(test::uniqueName("acs") + ".exe", {"--shm", page + ":1320", "--set", page + ":4:i32:2"});
  ASSERT_TRUE(game.started());
  ASSERT_EQ(detect(), 3);
  ASSERT_EQ(sources.attachGame(), 1);
  auto& reader = static_cast<AcpmfReader&>(sources.reader(3));
  EXPECT_NE(reader.physics().view(), nullptr);
  EXPECT_NE(reader.graphics().view(), nullptr);
  // The physics page was not published, so the library made its own.
  EXPECT_TRUE(SharedMemory::exists(blocks::kAcpmfPhysics));
  EXPECT_EQ(sources.readGameData(), 0);
  EXPECT_EQ(sources.detachGame(), 1);
  EXPECT_EQ(reader.physics().view(), nullptr);
  EXPECT_EQ(reader.graphics().view(), nullptr);
  EXPECT_FALSE(SharedMemory::exists(blocks::kAcpmfPhysics));
}

TEST_F(Attach, IracingHoldsBlockViewAndEventUntilDetach) {
  auto& reader = static_cast<IrsdkReader&>(sources.reader(10));
  const std::string block = std::string(blocks::kIrsdk) + ":6000";
  {
    // Without the data-valid event the SDK is not ready (Windows; Linux has
    // no named events and goes by the block).
    GameDouble noEvent("iRacingSim64DX11.exe", {"--shm", block});
    ASSERT_TRUE(noEvent.started());
    ASSERT_EQ(detect(), 10);
#if defined(_WIN32)
    EXPECT_EQ(sources.attachGame(), 0);
    EXPECT_FALSE(reader.block().isOpen());
    EXPECT_FALSE(reader.valid);
#endif
    sources.detachGame();
  }
  GameDouble game("iRacingSim64DX11.exe", {"--shm", block, "--event", std::string(blocks::kIrsdkEvent)});
  ASSERT_TRUE(game.started());
  ASSERT_EQ(detect(), 10);
  ASSERT_EQ(sources.attachGame(), 1);
  EXPECT_TRUE(reader.valid);
  EXPECT_TRUE(reader.mapped);
  EXPECT_TRUE(reader.attached);
  EXPECT_TRUE(reader.event().isOpen());
  EXPECT_GE(reader.block().viewSize(), 6000u);  // all of the block
  EXPECT_EQ(reader.lastTick, INT_MAX);
  EXPECT_EQ(sources.attachGame(), 0);  // already attached: released instead
  EXPECT_FALSE(reader.block().isOpen());
  ASSERT_EQ(sources.attachGame(), 1);
  EXPECT_EQ(sources.detachGame(), 1);
  EXPECT_FALSE(reader.valid);
  EXPECT_FALSE(reader.attached);
  EXPECT_FALSE(reader.event().isOpen());
  EXPECT_FALSE(reader.block().isOpen());
}

TEST_F(Attach, Rf2WaitsUntilThePluginHasFilledItsBlock) {
  auto& reader = static_cast<Rf2Reader&>(sources.reader(14));
  const std::string block = std::string(blocks::kRf2);
  {
    GameDouble notReady("rFactor2.exe", {"--shm", block + ":1888", "--set", block + ":0:i32:1234567890"});
    ASSERT_TRUE(notReady.started());
    ASSERT_EQ(detect(), 14);
    EXPECT_EQ(sources.attachGame(), 0);
    EXPECT_EQ(reader.failed, 1);
    EXPECT_EQ(reader.mapped, 0);
    EXPECT_FALSE(reader.block().isOpen());  // the rejected view is not kept
  }
  GameDouble game("rFactor2.exe", {"--shm", block + ":1888", "--set", block + ":0:i32:7"});
  ASSERT_TRUE(game.started());
  ASSERT_EQ(detect(), 14);
  ASSERT_EQ(sources.attachGame(), 1);
  EXPECT_EQ(reader.failed, 0);
  EXPECT_EQ(reader.mapped, 1);
  EXPECT_EQ(reader.ready, 1);
  EXPECT_EQ(sources.detachGame(), 1);
  EXPECT_EQ(reader.mapped, 0);
  EXPECT_FALSE(reader.block().isOpen());
}

// Counts what the game-source loop asks of the real sources.
class CountingLink final : public TelemetryLink {
 public:
  TelemetryLink* inner = nullptr;
  int detects = 0, detaches = 0, successes = 0, failedInARow = 0, failedBeforeDetach = -1;

  int detectGame() override {
    ++detects;
    return inner->detectGame();
  }
  int attachGame() override { return inner->attachGame(); }
  int readGameData() override {
    const int r = inner->readGameData();
    if (r == 1) {
      ++successes;
      failedInARow = 0;
    } else {
      ++failedInARow;
    }
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

TEST(GameSourceLoop, LostGameIsDetachedAfter1001EmptyReadsAndTheValuesItLeftStay) {
  test::ManualClock clock;
  CountingLink link;
  Gamesource engine(clock, &link);
  link.inner = &engine.sources;
  engine.sources.setReader(13, std::make_unique<TestLfsReader>(clock));
  engine.sources.setReader(9, std::make_unique<TestPcars2Reader>(clock));
  const double* g = engine.sources.frame.gameData;

  engine.threadStartup();
  engine.setMotionSystemReady(1);
  auto passUntil = [&](auto done, bool paced) {
    for (int i = 0; i < 100000 && !done(); ++i) {
      engine.loopPass();
      if (paced) std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return done();
  };

  auto lfs = std::make_unique<GameDouble>("LFS64.exe", std::vector<std::string>{
                                                           "--udp", "4123", "--interval", "2", "--payload",
                                                           test::toHex(lfsPacket(0.5f))});
  ASSERT_TRUE(lfs->started());
  // Found, attached and read while the game sends (paced in real time, as
  // the datagrams are).
  ASSERT_TRUE(passUntil([&] { return engine.attached.load() && link.successes > 0; }, true));
  EXPECT_EQ(engine.sources.gameId(), 13);
  EXPECT_FALSE(engine.outputSuspended.load());
  EXPECT_FLOAT_EQ(g[kFrontLeftSuspension], 0.5);

  // The game goes quiet: detached after more than 1000 reads without data.
  const int detachesBefore = link.detaches;
  lfs.reset();
  ASSERT_TRUE(passUntil([&] { return link.detaches > detachesBefore; }, false));
  EXPECT_EQ(link.failedBeforeDetach, 1001);
  EXPECT_FALSE(engine.attached.load());
  EXPECT_TRUE(engine.outputSuspended.load());
  EXPECT_EQ(engine.sources.gameId(), -1);
  EXPECT_FALSE(static_cast<UdpReader&>(engine.sources.reader(13)).isOpen());
  // ... and the search goes on.
  const int detectsBefore = link.detects;
  engine.loopPass();
  EXPECT_EQ(link.detects, detectsBefore + 1);
  EXPECT_FALSE(engine.attached.load());

  // Another game that does not write the suspension: the old value stays.
  const std::string block = std::string(blocks::kPcars2);
  GameDouble ams2(test::uniqueName("ams2") + ".exe", {"--shm", block + ":20700", "--set", block + ":0:i32:4500"});
  ASSERT_TRUE(ams2.started());
  const int successesBefore = link.successes;
  ASSERT_TRUE(passUntil([&] { return engine.attached.load() && link.successes > successesBefore; }, false));
  EXPECT_EQ(engine.sources.gameId(), 9);
  EXPECT_EQ(g[kRpm], 4500.0);
  EXPECT_FLOAT_EQ(g[kFrontLeftSuspension], 0.5);
}

TEST(GameSourceThread, FindsAndAttachesARunningGameWhileHostsWatch) {
  Gamesource engine;  // the system clock and the engine's own sources
  engine.sources.setReader(13, std::make_unique<TestLfsReader>(systemClock()));
  GameDouble lfs("LFS.exe", {"--udp", "4123", "--interval", "2", "--payload", test::toHex(lfsPacket(0.75f))});
  ASSERT_TRUE(lfs.started());
  engine.setMotionSystemReady(1);
  engine.startThread();
  // What host threads look at while the thread searches, attaches and reads.
  EXPECT_TRUE(test::eventually([&] {
    return engine.link().gameId() == 13 && engine.attached.load() &&
           loadShared(engine.sources.frame.gameData[gd::kIntervalMs]) > 0.0;
  }));
  EXPECT_EQ(engine.link().groundState(), 0);
  engine.stopGameSource();
  EXPECT_FALSE(engine.attached.load());
}

TEST(GroundState, ComesFromTheFirstFlaggedGamesReader) {
  test::ManualClock clock;
  TelemetrySources sources(clock);
  EXPECT_EQ(sources.groundState(), -1);
  sources.reader(2).setGroundState(1);
  sources.gameFlags[12].store(1);
  EXPECT_EQ(sources.groundState(), 0);
  sources.gameFlags[2].store(1);  // before 12 in priority order
  EXPECT_EQ(sources.groundState(), 1);
  EXPECT_EQ(sources.gameId(), 2);
  sources.clearGameFlags();
  EXPECT_EQ(sources.groundState(), -1);
}

TEST(SetReader, OnlyAReaderForThatGameTakesItsPlace) {
  test::ManualClock clock;
  TelemetrySources sources(clock);
  GameReader* before = &sources.reader(13);
  sources.setReader(12, std::make_unique<TestLfsReader>(clock));  // an LFS reader for BeamNG: refused
  sources.setReader(13, nullptr);
  sources.setReader(-1, std::make_unique<TestLfsReader>(clock));
  EXPECT_EQ(&sources.reader(13), before);
  EXPECT_EQ(sources.reader(12).gameId(), 12);
}

}  // namespace
}  // namespace kinevra
