// The rig moves over the network, end to end: gamesim plays Assetto Corsa,
// the engine turns the drive into rig messages, the multicast sender sends
// them from its namespace's one wired adapter to a group that rigsim, in a
// second namespace across a veth pair, has joined; rigsim checks every CRC
// and sends its status frames back to the listener, where the host reads
// them. The namespaces, the veth pair and the group are the test's own
// (Linux, as root).
#include <gtest/gtest.h>

#include "isolated_documents.h"

#ifndef _WIN32
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../udp/network_namespaces.h"
#include "cueing/output_data.h"
#include "drive.h"
#include "engine/gamesource.h"
#include "game_double.h"
#include "link/message_routing.h"
#include "sources/gravity.h"
#include "temp_folder.h"
#include "udp/multicast_address.h"
#include "udp/multicast_sender.h"
#include "udp/udp_listener.h"
#endif

namespace kinevra {
namespace {

#ifdef _WIN32
TEST(UdpRigEndToEnd, NotOnWindows) {
  GTEST_SKIP() << "needs network namespaces of its own (Linux); under Wine the stepped and export tests cover the link";
}
#else

using namespace std::chrono_literals;

constexpr double kLateralGain = 0.05, kLongitudinalGain = -0.04;
constexpr const char* kGroup = "239.255.77.1";  // the test's own group, on its own veth only
constexpr std::uint16_t kGroupPort = 47001, kListenPort = 47002;

// What sway and surge should be at drive time t.
std::array<double, 2> expectedAt(double t) {
  const gamesim::Motion m = gamesim::driveAt(t);
  const double p = m.pitch * 3.141592653589793 / 180.0, r = m.roll * 3.141592653589793 / 180.0;
  const double lateralG = m.lateralAccel + kStandardGravity * std::cos(p) * std::sin(r);
  const double longitudinalG = m.longitudinalAccel + kStandardGravity * std::sin(p);
  return {kLateralGain * lateralG, kLongitudinalGain * longitudinalG};
}

struct Received {
  long long ns;
  std::vector<std::uint8_t> bytes;
};

// rigsim's --messages lines of rig messages: "NS FC STATUS HEX ...".
std::vector<Received> rigMessages(const std::filesystem::path& file, std::size_t* crcBad, std::size_t* junk) {
  std::vector<Received> out;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    std::istringstream f(line);
    long long ns = 0;
    std::string kind, status, hex;
    if (!(f >> ns >> kind >> status >> hex)) continue;
    if (status == "crc-bad") ++*crcBad;
    if (kind == "junk") ++*junk;
    if (kind != "FC" || status != "crc-ok") continue;
    Received r{ns, {}};
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) r.bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    out.push_back(std::move(r));
  }
  return out;
}

float channelOf(const std::vector<std::uint8_t>& m, int i) {
  return output::floatLittleEndian(&m[kRigChannelOffset + 4 * static_cast<std::size_t>(i)]);
}

TEST(UdpRigEndToEnd, TheRigMovesWithTheGameOverMulticastAndItsFramesComeBack) {
  test::NetworkNamespaces ns("udp-rig", 2);
  if (!ns.ok()) GTEST_SKIP() << ns.why();
  ASSERT_TRUE(ns.vethPair(0, "host0", "10.213.9.1", 10, 1, "rig0", "10.213.9.2"));

  test::TempFolder scratch;
  const auto rigLog = scratch.path() / "rig.log";
  const auto rigMessagesFile = scratch.path() / "rig-messages.log";
  test::ChildProcess rig;
  std::vector<std::string> args = ns.execIn(1);
  const std::string group = std::string(kGroup) + ":" + std::to_string(kGroupPort);
  args.insert(args.end(), {(test::programDir() / "rigsim").string(), "--udp", group, "--interface", "10.213.9.2",
                           "--to", "10.213.9.1:" + std::to_string(kListenPort), "--status-ms", "20", "--version",
                           "328", "--log", rigLog.string(), "--messages", rigMessagesFile.string(), "--seconds", "600"});
  ASSERT_TRUE(rig.start(ns.ipProgram(), args));
  ASSERT_TRUE(test::eventually([&] { return test::readFileBytes(rigLog).find("ready") != std::string::npos; }, 60s));

  // The link of the host's namespace: listener and sender on threads inside it.
  LinkState link;
  setMulticastAddr(link, kGroup, kGroupPort);
  link.listenPort = kListenPort;
  std::thread listener = ns.threadIn(0, [&] { UdpListener(link, systemClock()).run(); });
  std::thread sender = ns.threadIn(0, [&] { MulticastSender(link, systemClock()).run(); });
  struct Joiner {
    LinkState& link;
    std::thread& a;
    std::thread& b;
    ~Joiner() {
      link.linkRunning = false;
      a.join();
      b.join();
    }
  } joiner{link, listener, sender};

  // rigsim's frames reached the listener: the link is valid, and its
  // version report switched the automatic messages to the CRC.
  ASSERT_TRUE(test::eventually([&] { return link.udpDataValid.load() && link.udpLoops.load() == 2; }, 60s))
      << "loops running: " << link.udpLoops.load();
  EXPECT_EQ(link.autoMessageCrc.load(), 1);
  EXPECT_EQ(isConnected(link), 1);

  auto engine = std::make_unique<Gamesource>(systemClock(), nullptr, &link);
  engine->poseMappingName = "Local\\motionRigPose-udp-" + test::uniqueName("pose");
  ASSERT_TRUE(engine->installFilterString(0, 0, ("GAIN(VALUE;" + std::to_string(kLateralGain) + ")").c_str()));
  ASSERT_TRUE(engine->installFilterString(0, 1, ("GAIN(VALUE;" + std::to_string(kLongitudinalGain) + ")").c_str()));
  for (unsigned ch = 0; ch < 8; ++ch) engine->setInputDofLimit(ch, -100.0, 100.0);
  engine->setRigDofLimit(0, -10.0, 10.0);
  engine->setRigDofLimit(1, -10.0, 10.0);

  test::GameDouble game(test::uniqueName("acs") + ".exe", {"--game", "ac"});
  ASSERT_TRUE(game.started());
  engine->startThread();
  ASSERT_TRUE(test::eventually([&] { return engine->attached.load(); }, 60s));
  engine->timer.precise = 0;  // sleep pacing: the machine has other work
  engine->setMotionSystemReady(1);
  ASSERT_TRUE(test::eventually([&] { return engine->transitionStatus() == 100.0; }, 120s));

  // Rig messages at the controller for a while.
  std::size_t crcBad = 0, junk = 0;
  const std::size_t mark = rigMessages(rigMessagesFile, &crcBad, &junk).size() + 5;
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(test::eventually(
      [&] {
        std::size_t b = 0, j = 0;
        return rigMessages(rigMessagesFile, &b, &j).size() >= mark + 1000;
      },
      120s));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

  // The frames rigsim sent, as the host reads them.
  int frames = 0;
  std::uint8_t buffer[512];
  for (int n; (n = readMessagemmf(link, buffer)) > 0;) {
    ASSERT_EQ(n, 8);
    EXPECT_EQ(buffer[0], 0xF9);
    EXPECT_EQ(buffer[6], 0x0A);
    EXPECT_EQ(buffer[7], 0x0D);
    ++frames;
  }
  EXPECT_GT(frames, 10);
  engine->stopGameSource();

  crcBad = junk = 0;
  const std::vector<Received> received = rigMessages(rigMessagesFile, &crcBad, &junk);
  EXPECT_EQ(crcBad, 0u);
  EXPECT_EQ(junk, 0u);
  ASSERT_GT(received.size(), mark + 500);
  const double rate = static_cast<double>(received.size() - mark) / seconds;
  std::printf("rig messages over multicast: %.0f per second\n", rate);
  EXPECT_GT(rate, 50.0);   // a pipeline that works at all (the machine may be busy)
  EXPECT_LT(rate, 520.0);  // one per 2 ms cycle at most: never a backlog

  // Every message is the drive at some moment, and the moments move on.
  std::vector<std::array<double, 2>> table;
  for (double t = 0.0; t < 14.0; t += 0.0005) table.push_back(expectedAt(t));
  double lo = 14.0, hi = 0.0;
  for (std::size_t i = mark; i < received.size(); i += 10) {
    const auto& m = received[i].bytes;
    ASSERT_EQ(m.size(), 36u);
    ASSERT_EQ(m[0], 0xFC);
    double best = std::numeric_limits<double>::infinity(), at = 0.0;
    for (std::size_t k = 0; k < table.size(); ++k) {
      const double err = std::max(std::fabs(channelOf(m, 0) - table[k][0]), std::fabs(channelOf(m, 1) - table[k][1]));
      if (err < best) best = err, at = static_cast<double>(k) * 0.0005;
    }
    EXPECT_LE(best, 3e-3) << "message " << i << " matches no moment of the drive";
    lo = std::min(lo, at);
    hi = std::max(hi, at);
  }
  EXPECT_GT(hi - lo, 0.5) << "the output did not move with the car";
}
#endif

}  // namespace
}  // namespace kinevra
