// Game detection against real games: gamesim runs under the games'
// executable names and publishes their shared memory, datagrams and TCP
// server. The pauses between tests are taken on a manual clock; the probes'
// waits are real.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "game_double.h"
#include "isolated_documents.h"
#include "manual_clock.h"
#include "platform/shared_memory.h"
#include "platform/sockets.h"
#include "sources/probes.h"
#include "sources/shared_memory_readers.h"
#include "sources/telemetry_sources.h"
#include "sources/udp_reader.h"

namespace kinevra {
namespace {

using platform::SharedMemory;
using test::GameDouble;

// Open files, sockets and blocks of this process (Linux: /proc/self/fd);
// -1 where the system gives no count.
int openHandles() {
#if defined(_WIN32)
  return -1;
#else
  int n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
#endif
}

// Can this process bind the UDP port? (Nobody else holds it.)
bool udpPortFree(std::uint16_t port) {
  platform::startSockets();
  const auto s = platform::openDatagramSocket();
  const bool ok = s != platform::kInvalidSocket && platform::bindSocket(s, {platform::kAnyAddress, port});
  if (s != platform::kInvalidSocket) platform::closeSocket(s);
  platform::stopSockets();
  return ok;
}

struct Detection : ::testing::Test {
  test::ManualClock clock;
  TelemetrySources sources{clock};

  // Detection passes until one finds a game (a slow sender may need more
  // than one); the game's id, or -1.
  int detect(int passes = 40) {
    for (int i = 0; i < passes; ++i)
      if (sources.detectGame() == 1) return sources.gameId();
    return -1;
  }
  int flagCount() const {
    int n = 0;
    for (const auto& f : sources.gameFlags) n += f.load() != 0;
    return n;
  }
};

TEST_F(Detection, NothingRunningFindsNothingAndLeavesNothingBehind) {
  for (auto& f : sources.gameFlags) f.store(1);
  const int handlesBefore = openHandles();

  EXPECT_EQ(sources.detectGame(), 0);
  EXPECT_EQ(flagCount(), 0);  // every failed test clears its flag
  EXPECT_EQ(sources.gameId(), -1);
  EXPECT_EQ(sources.groundState(), -1);
  EXPECT_EQ(gameDisplayName(sources.gameId()), nullptr);  // getGameName: "No Game online"

  // 17 pauses of 10 ms between the 18 tests, none after the last.
  ASSERT_EQ(clock.sleepsNs.size(), 17u);
  for (auto ns : clock.sleepsNs) EXPECT_EQ(ns, 10000000);

  // Blocks the pass created for its own look are gone again; the truck
  // plug-in's block was never created; every probed port is free.
  EXPECT_FALSE(SharedMemory::exists(blocks::kAcpmfGraphics));
  EXPECT_FALSE(SharedMemory::exists(blocks::kAcpmfPhysics));
  EXPECT_FALSE(SharedMemory::exists(blocks::kScs));
  for (int id : {0, 1, 5, 6, 7, 11, 12, 13}) EXPECT_TRUE(udpPortFree(gameInfo(id).udpPort)) << id;
  EXPECT_EQ(openHandles(), handlesBefore);
}

TEST_F(Detection, LfsNeedsItsProcessAndItsDatagrams) {
  {
    GameDouble quiet("LFS64.exe", {});
    ASSERT_TRUE(quiet.started());
    EXPECT_EQ(detect(2), -1);  // the process alone is not enough
  }
  {
    GameDouble stranger(test::uniqueName("sender") + ".exe", {"--udp", "4123"});
    ASSERT_TRUE(stranger.started());
    EXPECT_EQ(detect(2), -1);  // nor are datagrams from another program
  }
  {
    GameDouble xplane("X-Plane.exe", {});
    ASSERT_TRUE(xplane.started());
    EXPECT_EQ(detect(2), -1);  // X-Plane is seen by its datagrams first
  }
  GameDouble lfs("LFS64.exe", {"--udp", "4123"});
  ASSERT_TRUE(lfs.started());
  ASSERT_EQ(detect(), 13);
  EXPECT_EQ(flagCount(), 1);
  EXPECT_STREQ(gameDisplayName(sources.gameId()), "LFS");
  auto& reader = static_cast<UdpReader&>(sources.reader(13));
  EXPECT_EQ(reader.datagramSeen, 1);
  EXPECT_STREQ(reader.senderAddress, "127.0.0.1");
  EXPECT_FALSE(reader.isOpen());  // detection only looked; attach binds the port
  EXPECT_TRUE(udpPortFree(4123));
}

TEST_F(Detection, ExecutableNamesMatchExactlyIncludingLetterCase) {
  const std::string block = std::string(blocks::kIrsdk) + ":4096";
  {
    GameDouble wrongCase("iracing.exe", {"--shm", block});
    ASSERT_TRUE(wrongCase.started());
    EXPECT_EQ(detect(2), -1);
    EXPECT_EQ(sources.gameFlags[10].load(), 0);
  }
  GameDouble iracing("Iracing.exe", {"--shm", block});
  ASSERT_TRUE(iracing.started());
  EXPECT_EQ(detect(), 10);
}

TEST_F(Detection, RaceRoomComesBeforeTheOtherBlockGames) {
  {
    GameDouble both("RRRE.exe", {"--shm", std::string(blocks::kR3e) + ":39320", "--shm",
                                 std::string(blocks::kPcars2) + ":20700"});
    ASSERT_TRUE(both.started());
    EXPECT_EQ(detect(), 4);
    EXPECT_EQ(sources.gameFlags[9].load(), 0);  // later games are not looked at
    EXPECT_EQ(flagCount(), 1);
  }
  // Without the RaceRoom process its block does not count, the other does.
  GameDouble onlyBlocks(test::uniqueName("host") + ".exe", {"--shm", std::string(blocks::kR3e) + ":39320",
                                                            "--shm", std::string(blocks::kPcars2) + ":20700"});
  ASSERT_TRUE(onlyBlocks.started());
  EXPECT_EQ(detect(), 9);
  EXPECT_EQ(sources.gameFlags[4].load(), 0);
}

TEST_F(Detection, AcpmfGraphicsPageMustReportALiveSession) {
  const std::string page = std::string(blocks::kAcpmfGraphics);
  {
    GameDouble idle(test::uniqueName("acs") + ".exe", {"--shm", page + ":1320", "--set", page + ":4:i32:0"});
    ASSERT_TRUE(idle.started());
    const int handlesBefore = openHandles();
    EXPECT_EQ(detect(2), -1);
    EXPECT_EQ(sources.gameFlags[3].load(), 0);
    EXPECT_EQ(openHandles(), handlesBefore);
    idle.stop();
    // Nothing of ours kept the game's page alive.
    EXPECT_FALSE(SharedMemory::exists(blocks::kAcpmfGraphics));
  }
  {
    // A page shorter than the status field is not live either.
    GameDouble tiny(test::uniqueName("acs") + ".exe", {"--shm", page + ":3"});
    ASSERT_TRUE(tiny.started());
    EXPECT_EQ(detect(2), -1);
  }
  GameDouble live(test::uniqueName("acs") + ".exe", {"--shm", page + ":1320", "--set", page + ":4:i32:2"});
  ASSERT_TRUE(live.started());
  EXPECT_EQ(detect(), 3);
}

TEST_F(Detection, TruckBlockIsOpenedAtItsRealSizeAndNeverCreated) {
  {
    GameDouble noTruck(test::uniqueName("host") + ".exe", {"--shm", std::string(blocks::kScs) + ":100"});
    ASSERT_TRUE(noTruck.started());
    EXPECT_EQ(detect(2), -1);  // the block without the game's process
  }
  EXPECT_FALSE(SharedMemory::exists(blocks::kScs));
  GameDouble truck("eurotrucks2.exe", {"--shm", std::string(blocks::kScs) + ":100"});
  ASSERT_TRUE(truck.started());
  EXPECT_EQ(detect(), 17);
}

TEST_F(Detection, RollerCoasterServerMustAnswerItsRequest) {
  {
    GameDouble silent(test::uniqueName("nl2") + ".exe", {"--tcp", "15151", "--tcp-silent"});
    ASSERT_TRUE(silent.started());
    EXPECT_EQ(detect(1), -1);
    EXPECT_FALSE(probeTcpServer());
  }
  GameDouble server(test::uniqueName("nl2") + ".exe", {"--tcp", "15151"});
  ASSERT_TRUE(server.started());
  EXPECT_EQ(detect(), 8);
}

TEST_F(Detection, AProbeThatCannotBindItsPortSeesNothing) {
  GameDouble dirt(test::uniqueName("dirt") + ".exe", {"--udp", "20778"});
  ASSERT_TRUE(dirt.started());
  ASSERT_EQ(detect(), 5);
  auto& reader = static_cast<UdpReader&>(sources.reader(5));
  EXPECT_EQ(reader.datagramSeen, 1);

  // The port taken by someone else: what the earlier probe saw must not count.
  platform::startSockets();
  const auto holder = platform::openDatagramSocket();
  ASSERT_NE(holder, platform::kInvalidSocket);
  ASSERT_TRUE(platform::bindSocket(holder, {platform::kAnyAddress, 20778}));
  EXPECT_EQ(probeUdpPort(reader, 20778), 0);
  EXPECT_EQ(reader.datagramSeen, 0);
  EXPECT_EQ(sources.detectGame(), 0);
  EXPECT_EQ(sources.gameFlags[5].load(), 0);
  platform::closeSocket(holder);
  platform::stopSockets();
}

TEST(ProbeHelpers, RequestFramesAndAddressText) {
  const auto f = requestFrame(0, 1234);
  const std::uint8_t expected[10] = {'N', 0, 0, 0, 0, 0x04, 0xD2, 0, 0, 'L'};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(f[i], expected[i]) << i;
  const auto t = requestFrame(5, 3243, 0x0102);
  EXPECT_EQ(t[2], 5);
  EXPECT_EQ(t[5], 0x0C);
  EXPECT_EQ(t[6], 0xAB);
  EXPECT_EQ(t[7], 1);
  EXPECT_EQ(t[8], 2);

  char text[16];
  formatIpv4(0x7F000001, text, sizeof text);
  EXPECT_STREQ(text, "127.0.0.1");
  formatIpv4(0xFFFFFFFF, text, sizeof text);
  EXPECT_STREQ(text, "255.255.255.255");
  formatIpv4(0x0A00FF09, text, sizeof text);
  EXPECT_STREQ(text, "10.0.255.9");
  char small[5];
  formatIpv4(0xC0A80001, small, sizeof small);
  EXPECT_STREQ(small, "192.");  // cut to fit, always terminated
}

}  // namespace
}  // namespace kinevra
