// The rig moves with the game, end to end: gamesim plays Assetto Corsa (its
// shared-memory pages, a scripted lap), the engine's game-source thread reads
// it and runs it through configured filters and rig limits, the serial bridge
// writes the output to rigsim on a pseudo-terminal, and vrsim, a VR tool's
// stand-in, reads the pose block. And a controller unplugged during motion
// gets, once back, the after-connect messages and then only fresh poses.
//
// Windows has no pseudo-terminal to present as a COM port (and Wine's serial
// layer refuses one), so there the controller half is left out: the game,
// the engine's messages and the pose reader still run.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cueing/output_data.h"
#include "drive.h"
#include "engine/gamesource.h"
#include "game_double.h"
#include "link/host_bridge.h"
#include "link/message_routing.h"
#include "link/serial_frame.h"
#include "manual_clock.h"
#include "platform/pseudo_terminal.h"
#include "rig_double.h"
#include "sources/gravity.h"

namespace kinevra {
namespace {

using namespace std::chrono_literals;

#if defined(_WIN32)
constexpr const char* kVrsim = "vrsim.exe";
#else
constexpr const char* kVrsim = "vrsim";
#endif

bool havePseudoTerminals() {
  platform::PseudoTerminal probe;
  return probe.open();
}

std::vector<std::string> linesOf(const std::string& text, const std::string& prefix) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    if (l.rfind(prefix, 0) == 0) out.push_back(l);
  }
  return out;
}

// The bytes of a rigsim "rx FC crc-ok ..." line (empty if it is not one of 36).
OutputMessage messageOf(const std::string& line) {
  OutputMessage m{};
  std::istringstream in(line.substr(std::strlen("rx FC crc-ok ")));
  for (std::size_t i = 0; i < m.size(); ++i) {
    unsigned b = 0;
    if (!(in >> std::hex >> b)) return OutputMessage{};
    m[i] = static_cast<std::uint8_t>(b);
  }
  return m;
}

float channelOf(const OutputMessage& m, int i) {
  return output::floatLittleEndian(&m[kRigChannelOffset + 4 * static_cast<std::size_t>(i)]);
}

// The serial bridge of a test, on a link state of its own, with the
// controller looked for on "COM5" of a scratch mapping folder.
struct Bridge {
  std::unique_ptr<LinkState> link = std::make_unique<LinkState>();
  CSerialPort port;
  test::FakeCatalog catalog;
  SerialDiscovery discovery{*link, port, catalog, systemClock()};
  HostBridge bridge{*link, port, discovery, systemClock()};
  std::unique_ptr<test::ComFolder> folder;
  std::thread thread;

  Bridge() {
    folder = std::make_unique<test::ComFolder>();
    catalog.addPort(5);
    discovery.setStandartPort("COM5");
  }
  ~Bridge() { stop(); }
  void start() {
    thread = std::thread([this] { bridge.startMMFtoSerial_Thread(); });
    test::eventually([&] { return link->bridgeRunning.load(); });
  }
  void stop() {
    if (!thread.joinable()) return;
    bridge.stopMMFtoSerial_Thread();
    thread.join();
  }
};

// --- The game through filters and limits to the rig ---

// The rig profile of the test: what each channel makes of the car's motion.
constexpr double kLateralGain = 0.05, kLongitudinalGain = -0.04, kVerticalGain = 0.05;
constexpr double kYawGain = 0.004, kRollRateGain = 0.005, kPitchRateGain = 0.005;
constexpr double kTiltGain = 0.02, kAttitudeGain = 0.01, kBeltMix = 20.0, kWindPercent = 40.0;
constexpr std::array<std::array<double, 2>, 6> kRigLimits{{
    {-0.3, 0.3}, {-0.2, 0.2}, {0.0, 0.3}, {-0.1, 0.1}, {-0.25, 0.25}, {-0.25, 0.25}}};

void configure(Gamesource& e) {
  auto install = [&](int ch, const std::string& text) { ASSERT_TRUE(e.installFilterString(0, ch, text.c_str())) << text; };
  install(0, "GAIN(VALUE;" + std::to_string(kLateralGain) + ")");
  install(1, "GAIN(VALUE;" + std::to_string(kLongitudinalGain) + ")");
  install(2, "GAIN(VALUE;" + std::to_string(kVerticalGain) + ")");
  install(3, "GAIN(VALUE;" + std::to_string(kYawGain) + ")");
  install(4, "GAIN(VALUE;" + std::to_string(kRollRateGain) + ")");
  install(5, "GAIN(VALUE;" + std::to_string(kPitchRateGain) + ")");
  install(6, "GAIN(VALUE;" + std::to_string(kTiltGain) + ")");     // roll from lateral acceleration
  install(7, "GAIN(VALUE;" + std::to_string(-kTiltGain) + ")");    // pitch from longitudinal acceleration
  install(8, "GAIN(VALUE;" + std::to_string(kAttitudeGain) + ")");  // roll attitude
  install(9, "GAIN(VALUE;" + std::to_string(kAttitudeGain) + ")");  // pitch attitude
  install(10, "ABS(VALUE)");                                          // the belt
  install(21, "SETVALUE(VALUE;" + std::to_string(kWindPercent) + ")");
  e.setBeltMix(0, 1, kBeltMix);
  for (unsigned ch = 0; ch < 8; ++ch) e.setInputDofLimit(ch, -100.0, 100.0);
  for (int ch = 0; ch < 6; ++ch) e.setRigDofLimit(ch, kRigLimits[ch][0], kRigLimits[ch][1]);
}

// What the rig should get when the car moves as at drive time t: six
// limited channels, the belt and the wind.
std::array<double, 8> expectedAt(double t) {
  const gamesim::Motion m = gamesim::driveAt(t);
  const double p = m.pitch * 3.141592653589793 / 180.0, r = m.roll * 3.141592653589793 / 180.0;
  const double lateralG = m.lateralAccel + kStandardGravity * std::cos(p) * std::sin(r);
  const double longitudinalG = m.longitudinalAccel + kStandardGravity * std::sin(p);
  const double verticalG = m.verticalAccel + kStandardGravity * std::cos(p) * std::cos(r);
  const double cue[6] = {
      kLateralGain * lateralG,
      kLongitudinalGain * longitudinalG,
      kVerticalGain * verticalG,
      kYawGain * m.yawRate,
      kTiltGain * lateralG + kRollRateGain * m.rollRate + kAttitudeGain * m.roll,
      -kTiltGain * longitudinalG + kPitchRateGain * m.pitchRate + kAttitudeGain * m.pitch,
  };
  std::array<double, 8> out{};
  for (int i = 0; i < 6; ++i)
    out[static_cast<std::size_t>(i)] = output::limitChannel(static_cast<float>(cue[i]), static_cast<float>(kRigLimits[i][0]),
                                                            static_cast<float>(kRigLimits[i][1]));
  out[6] = std::trunc(std::fabs(kBeltMix * longitudinalG));
  out[7] = kWindPercent;
  return out;
}

// The drive's 14-second loop in half-millisecond steps, and the moment whose
// output a message matches best (how far off, in units of the tolerance).
struct DriveTable {
  static constexpr double kStep = 0.0005;
  std::vector<std::array<double, 8>> rows;
  DriveTable() {
    for (double t = 0.0; t < 14.0; t += kStep) rows.push_back(expectedAt(t));
  }
  std::pair<double, double> bestFit(const OutputMessage& m) const {
    double got[8];
    for (int i = 0; i < 6; ++i) got[i] = channelOf(m, i);
    got[6] = output::uint32BigEndian(&m[kBeltOffset]);
    got[7] = output::uint32BigEndian(&m[kWindOffset]);
    double best = std::numeric_limits<double>::infinity(), at = -1.0;
    for (std::size_t k = 0; k < rows.size(); ++k) {
      double err = 0.0;
      for (int i = 0; i < 6; ++i) err = std::max(err, std::fabs(got[i] - rows[k][static_cast<std::size_t>(i)]) / 1e-3);
      err = std::max(err, std::fabs(got[6] - rows[k][6]) / 2.0);
      err = std::max(err, std::fabs(got[7] - rows[k][7]) / 0.5);
      if (err < best) {
        best = err;
        at = static_cast<double>(k) * kStep;
      }
    }
    return {best, at};
  }
};

// Every message is the drive at some moment through the filters and limits,
// and over the run those moments move on with the car.
void expectFollowsTheDrive(const std::vector<OutputMessage>& messages) {
  ASSERT_GE(messages.size(), 30u);
  static const DriveTable table;
  std::vector<double> moments;
  const std::size_t stride = std::max<std::size_t>(1, messages.size() / 400);
  bool limitSeen = false;
  for (std::size_t i = 0; i < messages.size(); i += stride) {
    const OutputMessage& m = messages[i];
    ASSERT_EQ(m[0], 0xFC);
    ASSERT_EQ(m[1], 0xFC);
    const auto [err, at] = table.bestFit(m);
    // The tolerance leaves room for a block the game rewrote while it was read
    // on a slow machine (seen under Wine in a loaded chroot: 2).
    EXPECT_LE(err, 3.0) << "message " << i << " matches no moment of the drive";
    moments.push_back(at);
    limitSeen = limitSeen || channelOf(m, 2) == 0.3f;
  }
  EXPECT_TRUE(limitSeen) << "the vertical channel never reached its limit";
  double lo = 14.0, hi = 0.0;
  for (double t : moments) {
    lo = std::min(lo, t);
    hi = std::max(hi, t);
  }
  EXPECT_GT(hi - lo, 0.5) << "the output did not move with the car";
}

// The poses vrsim logged, oldest first.
std::vector<std::array<double, 6>> loggedPoses(const std::filesystem::path& log) {
  std::vector<std::array<double, 6>> poses;
  for (const std::string& line : linesOf(test::readAll(log), "pose ")) {
    std::array<double, 6> p{};
    if (std::sscanf(line.c_str(), "pose %lf %lf %lf %lf %lf %lf", &p[0], &p[1], &p[2], &p[3], &p[4], &p[5]) == 6)
      poses.push_back(p);
  }
  return poses;
}

TEST(RigEndToEnd, TheRigMovesWithTheGame) {
  const bool withController = havePseudoTerminals();
  std::unique_ptr<Bridge> line;
  std::unique_ptr<test::Rig> rig;
  if (withController) {
    line = std::make_unique<Bridge>();
    rig = std::make_unique<test::Rig>(*line->folder, 5, std::vector<std::string>{"--seconds", "600"});
    ASSERT_TRUE(rig->started());
  }
  LinkState ownLink;  // Windows: messages go nowhere
  auto engine = std::make_unique<Gamesource>(systemClock(), nullptr, line ? line->link.get() : &ownLink);
  engine->poseMappingName = "Local\\motionRigPose-e2e-" + test::uniqueName("pose");
  configure(*engine);
  engine->activateMotionCancel(true);
  ASSERT_TRUE(engine->setGainMotionCancel(2.0));
  ASSERT_TRUE(engine->setFilterMotionCancel(20.0));

  test::TempFolder scratch;
  const auto poseLog = scratch.path() / "vrsim.log";
  test::ChildProcess vrsim;
  ASSERT_TRUE(vrsim.start(test::programDir() / kVrsim, {"--name", engine->poseMappingName, "--log", poseLog.string()}));

  test::GameDouble game(test::uniqueName("acs") + ".exe", {"--game", "ac"});
  ASSERT_TRUE(game.started());

  if (line) {
    line->start();
    ASSERT_EQ(line->bridge.resumeInterface(), 1);
  }
  engine->startThread();
  ASSERT_TRUE(test::eventually([&] { return engine->attached.load(); }, 60s));
  engine->timer.precise = 0;  // sleep pacing: the machine has other work
  engine->setMotionSystemReady(1);
  ASSERT_TRUE(test::eventually([&] { return engine->transitionStatus() == 100.0; }, 120s));

  std::vector<OutputMessage> messages;
  if (line) {
    // At the controller: every rig message whole with a valid CRC, about 500
    // a second, and nothing else after the identification.
    const std::size_t mark = linesOf(rig->log(), "rx FC").size() + 5;  // some were under way
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(rig->awaitLog("rx FC", static_cast<int>(mark + 1000)));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const std::string log = rig->log();
    const auto fc = linesOf(log, "rx FC");
    const double rate = static_cast<double>(fc.size() - mark) / seconds;
    std::printf("rig messages: %.0f per second\n", rate);
    EXPECT_GT(rate, 50.0);   // a pipeline that works at all (the machine may be busy)
    EXPECT_LT(rate, 520.0);  // never more than one per 2 ms cycle: no backlog
    EXPECT_EQ(log.find("crc-bad"), std::string::npos);
    EXPECT_EQ(log.find("rx junk"), std::string::npos);
    for (std::size_t i = mark; i < fc.size(); ++i) {
      ASSERT_EQ(fc[i].rfind("rx FC crc-ok FC FC ", 0), 0u) << fc[i];
      messages.push_back(messageOf(fc[i]));
    }
  } else {
    // Without a controller: the engine's last message, sampled as a host does.
    for (int i = 0; i < 600; ++i) {
      messages.push_back(engine->outputData.load());
      std::this_thread::sleep_for(5ms);
    }
  }
  expectFollowsTheDrive(messages);

  // The pose block, read by the other program while motion cancel is on: it
  // moved, and holds the engine's last smoothed pose once the engine stops.
  engine->stopGameSource();
  const std::array<double, 6> last{engine->poseFiltered[0], engine->poseFiltered[1], engine->poseFiltered[2],
                                   engine->poseFiltered[3], engine->poseFiltered[4], engine->poseFiltered[5]};
  EXPECT_TRUE(test::eventually([&] {
    const auto poses = loggedPoses(poseLog);
    return !poses.empty() && poses.back() == last;
  })) << "vrsim did not see the last pose";
  const auto poses = loggedPoses(poseLog);
  EXPECT_GT(poses.size(), 50u);
  for (const auto& p : poses)
    for (double v : p) ASSERT_TRUE(std::isfinite(v));
  engine->activateMotionCancel(false);
  vrsim.stop();
}

// --- An unplugged controller comes back ---

// The engine's telemetry counts its cycles: channel 0 of each message says
// which cycle made it.
TEST(RigEndToEnd, AfterAnUnplugTheControllerGetsOnlyFreshPoses) {
  if (!havePseudoTerminals()) GTEST_SKIP() << "no pseudo-terminals on this system (Windows has none to map a COM port to)";
  Bridge line;
  test::ScriptedLink telemetry;
  std::atomic<std::uint32_t> made{0};           // cycles so far
  std::atomic<std::uint32_t> madeUnplugged{0};  // newest made while no port was open
  auto engine = std::make_unique<Gamesource>(systemClock(), &telemetry, line.link.get());
  engine->poseMappingName = "Local\\motionRigPose-e2e-" + test::uniqueName("pose");
  telemetry.onRead = [&] {
    const std::uint32_t n = made + 1;
    engine->sources.frame.gameData[gd::kLateralAccelG] = n;
    engine->sources.frame.gameData[gd::kLateralSpeed] = n;  // never stale
    if (!line.link->serialPortOpen) madeUnplugged = n;
    made = n;
  };
  engine->setInputDofLimit(0, -1e9, 1e9);
  engine->setRigDofLimit(0, -1e9, 1e9);

  engine->fadeDurationMs = 1.0;  // the counter reaches the rig at once

  auto rig = std::make_unique<test::Rig>(*line.folder, 5, std::vector<std::string>{"--seconds", "600"});
  ASSERT_TRUE(rig->started());
  line.start();
  line.bridge.enableAutoconnect();
  engine->startThread();
  ASSERT_TRUE(test::eventually([&] { return engine->attached.load(); }));
  engine->timer.precise = 0;  // sleep pacing: the machine has other work
  engine->setMotionSystemReady(1);
  ASSERT_TRUE(rig->awaitLog("rx FC", 20));

  // Unplugged during motion; the engine goes on making poses for longer than
  // a send queue could hold.
  rig->command("close");
  ASSERT_TRUE(rig->awaitLog("closed"));
  ASSERT_TRUE(test::eventually([&] { return !line.link->serialPortOpen; }));
  rig.reset();
  const std::uint32_t atUnplug = made;
  ASSERT_TRUE(test::eventually([&] { return made > atUnplug + 400; }));

  test::Rig back(*line.folder, 5, {"--seconds", "600"}, "b");
  ASSERT_TRUE(back.started());
  ASSERT_TRUE(back.awaitLog("rx FC", 100));
  engine->stopGameSource();
  line.stop();

  const std::string log = back.log();
  auto crcLine = [](const IdFrame& frame) {
    std::array<std::uint8_t, 8> f = frame;
    applyFrameCrc(f.data(), f.size());
    char text[64];
    std::snprintf(text, sizeof text, "rx F9 crc-ok %02X %02X %02X %02X %02X %02X %02X %02X", f[0], f[1], f[2], f[3],
                  f[4], f[5], f[6], f[7]);
    return std::string(text);
  };
  const auto first = log.find(crcLine(kFirstAfterConnect));
  const auto second = log.find(crcLine(kSecondAfterConnect));
  ASSERT_NE(first, std::string::npos) << log.substr(0, 2000);
  ASSERT_NE(second, std::string::npos);
  EXPECT_LT(first, second);
  EXPECT_LT(second, log.find("rx FC"));
  EXPECT_EQ(log.find("crc-bad"), std::string::npos);

  // Then only poses made since the controller came back, each once, newer
  // each time: none of those made while it was away.
  const auto fc = linesOf(log, "rx FC");
  std::uint32_t previous = 0;
  for (const std::string& l : fc) {
    ASSERT_EQ(l.rfind("rx FC crc-ok FC FC ", 0), 0u) << l;
    const float v = channelOf(messageOf(l), 0);
    const auto n = static_cast<std::uint32_t>(v);
    ASSERT_EQ(static_cast<float>(n), v) << l;
    EXPECT_GE(n, madeUnplugged.load()) << "a pose from before the controller came back";
    EXPECT_GT(n, previous);
    previous = n;
  }
  EXPECT_LE(fc.size(), previous - madeUnplugged + 1);
}

}  // namespace
}  // namespace kinevra
