// Loads the built library by name, as a host does, and drives it through its
// exports only.
#include <gtest/gtest.h>

#include <cstring>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "kinevra.h"
#include "library_loader.h"

namespace {

using kinevra_host::LibraryLoader;

class LoadedLibrary : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(lib.open()) << lib.error(); }
  template <class Fn>
  Fn fn(const char* name) {
    Fn f = lib.get<Fn>(name);
    EXPECT_NE(f, nullptr) << name;
    return f;
  }
  LibraryLoader lib;
};

TEST_F(LoadedLibrary, EveryListedExportResolves) {
  const char* names[] = {"startGamesource_Thread", "stopGamesource_Thread", "setMotionsystemready",
                         "setTimerPrecision",      "getGameID",             "getGameName",
                         "getGameTimeFrame",       "getMotionDataTimeFrame", "getGameDataCount",
                         "getGameData",            "getGameDataNames",      "getMotionCueData",
                         "getTransitionStatus",    "getactiveProfil",       "getProfilAirTransitionStatus",
                         "getProfilGrdTransitionStatus", "setActiveAxis",  "setBelt_Mix",
                         "SetInputDofLimitValue", "setStandartPort", "startMMFtoSerial_Thread",
                         "stopMMFtoSerial_Thread", "sendMessagemmf", "autoMessagemmf", "readMessagemmf",
                         "newMessagemmf", "isConnected", "isInterfaceRunning", "pauseInterface",
                         "resumeInterface", "enableAutoconnect", "disableAutoconnect", "getOutputTimeFrame",
                         "SetRigDofLimitValue", "getOutputData", "activateMotionCancel", "setFilterMotionCancel",
                         "setGainMotionCancel", "GetCalculationSnapshots", "FreeCalculationSnapshots",
                         "GetAccelerationSnapshots", "FreeAccelerationSnapshots", "GetPositionSnapshot"};
  for (const char* n : names) EXPECT_NE(lib.symbol(n), nullptr) << n;
  EXPECT_EQ(lib.symbol("kinevraNoSuchExport"), nullptr);
}

TEST_F(LoadedLibrary, FreshEngineReportsItsDefaults) {
  EXPECT_EQ(fn<decltype(&getGameID)>("getGameID")(), -1);
  EXPECT_EQ(fn<decltype(&getTransitionStatus)>("getTransitionStatus")(), 100.0);
  EXPECT_EQ(fn<decltype(&getGameDataCount)>("getGameDataCount")(), 44);
  EXPECT_EQ(fn<decltype(&getactiveProfil)>("getactiveProfil")(), 0);
  EXPECT_EQ(fn<decltype(&getProfilAirTransitionStatus)>("getProfilAirTransitionStatus")(), 100.0);
  EXPECT_EQ(fn<decltype(&getProfilGrdTransitionStatus)>("getProfilGrdTransitionStatus")(), 0.0);

  char name[21];
  std::memset(name, 'x', sizeof name);
  auto getName = fn<decltype(&getGameName)>("getGameName");
  getName(name);
  EXPECT_STREQ(name, "No Game online");
  getName(nullptr);  // ignored, not dereferenced

  const double* values = nullptr;
  int count = 0;
  fn<decltype(&getGameData)>("getGameData")(&values, &count);
  ASSERT_NE(values, nullptr);
  EXPECT_EQ(count, 43);
  for (int i = 0; i < count; ++i) EXPECT_EQ(values[i], 0.0);
  fn<decltype(&getGameData)>("getGameData")(nullptr, nullptr);

  const char* first = nullptr;
  fn<decltype(&getGameDataNames)>("getGameDataNames")(&first, &count);
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first, "lateral_speed");
  EXPECT_EQ(count, 43);
}

TEST_F(LoadedLibrary, ThreadStartsSearchesAndStops) {
  auto start = fn<decltype(&startGamesource_Thread)>("startGamesource_Thread");
  auto stop = fn<decltype(&stopGamesource_Thread)>("stopGamesource_Thread");
  auto ready = fn<decltype(&setMotionsystemready)>("setMotionsystemready");
  auto status = fn<decltype(&getTransitionStatus)>("getTransitionStatus");
  stop();  // no thread yet: returns at once
  start();
  start();  // ignored while running
  ready(1);
  EXPECT_EQ(status(), 0.0);  // a change of readiness restarts the fade-in
  EXPECT_EQ(fn<decltype(&getGameID)>("getGameID")(), -1);  // searching, nothing found
  stop();
  stop();
  ready(0);
  start();  // a fresh thread on the same engine
  stop();
}

TEST_F(LoadedLibrary, FilterChainsAreCheckedBeforeTheyAreInstalled) {
  auto install = fn<decltype(&setcheckFilterstring)>("setcheckFilterstring");
  auto status = fn<decltype(&getTransitionStatus)>("getTransitionStatus");
  ASSERT_NE(install, nullptr);
  EXPECT_TRUE(install(0, 0, "GAIN(EMALP(VALUE;20);1.5)"));
  EXPECT_EQ(status(), 0.0);  // installing restarts the fade-in
  EXPECT_TRUE(install(1, 22, " gain (VALUE; 1,5 ) "));
  EXPECT_FALSE(install(0, 0, "GAIN(VALUE;1e3)"));
  EXPECT_FALSE(install(2, 0, "VALUE"));
  EXPECT_FALSE(install(0, 23, "VALUE"));
  EXPECT_FALSE(install(0, 0, nullptr));
  EXPECT_TRUE(install(0, 0, "VALUE"));
}

TEST_F(LoadedLibrary, AFilterTextIsEvaluatedOnAChainOfItsOwn) {
  auto run = fn<decltype(&evaluateFilterstring)>("evaluateFilterstring");
  ASSERT_NE(run, nullptr);
  const double in[4] = {1, 1, 1, 1};
  double out[4] = {};
  int column = 7;
  char reason[64] = "x";
  // 'EMALP(VALUE;4)' from rest: 0.25, 0.4375, 0.578125, ... ; then doubled.
  EXPECT_EQ(run("GAIN(EMALP(VALUE;4);2)", in, out, 4, &column, reason, sizeof reason), 4);
  EXPECT_EQ(column, -1);
  EXPECT_STREQ(reason, "");
  EXPECT_DOUBLE_EQ(out[0], 0.5);
  EXPECT_DOUBLE_EQ(out[1], 0.875);
  EXPECT_DOUBLE_EQ(out[2], 1.15625);
  // Each call starts from rest.
  EXPECT_EQ(run("GAIN(EMALP(VALUE;4);2)", in, out, 1, nullptr, nullptr, 0), 1);
  EXPECT_DOUBLE_EQ(out[0], 0.5);
  // Refused: where and why, cut to the buffer.
  char small[8];
  EXPECT_EQ(run("EMALP(VALUE;0.5)", in, out, 4, &column, small, sizeof small), -1);
  EXPECT_EQ(column, 12);
  EXPECT_STREQ(small, "EMALP's");
  EXPECT_EQ(run("EMALP(VALUE;0.5)", nullptr, nullptr, 0, nullptr, nullptr, 0), -1);
  EXPECT_EQ(run(nullptr, in, out, 4, &column, reason, sizeof reason), -2);
  EXPECT_EQ(run("VALUE", in, out, -1, nullptr, nullptr, 0), -2);
  EXPECT_EQ(run("VALUE", nullptr, out, 4, nullptr, nullptr, 0), -2);
  EXPECT_EQ(run("VALUE", in, out, 0, nullptr, nullptr, 0), 0);
}

TEST_F(LoadedLibrary, CueArraysAndProfileSettings) {
  auto cues = fn<decltype(&getMotionCueData)>("getMotionCueData");
  const double* arrays[4] = {};
  for (int which = 0; which < 4; ++which) {
    int count = 0;
    cues(which, &arrays[which], &count);
    ASSERT_NE(arrays[which], nullptr) << which;
    EXPECT_EQ(count, 23);
    for (int prev = 0; prev < which; ++prev) EXPECT_NE(arrays[prev], arrays[which]);
  }
  const double* untouched = arrays[0];
  int count = -7;
  cues(4, &untouched, &count);
  cues(-1, &untouched, &count);
  EXPECT_EQ(untouched, arrays[0]);
  EXPECT_EQ(count, -7);
  cues(2, nullptr, nullptr);

  // Out-of-range settings are ignored without harm.
  auto belt = fn<decltype(&setBelt_Mix)>("setBelt_Mix");
  auto axis = fn<decltype(&setActiveAxis)>("setActiveAxis");
  auto limit = fn<decltype(&SetInputDofLimitValue)>("SetInputDofLimitValue");
  belt(0, 43, 1.0);
  belt(2, 1, 1.0);
  belt(0, 1, 0.5);
  axis(2, 0, true);
  axis(0, 23, false);
  axis(1, 5, false);
  axis(1, 5, true);
  limit(8, 1.0, 2.0);
  limit(12, 1.0, 2.0);
  limit(0xFFFFFFFFu, 1.0, 2.0);
  limit(0, -2.0, 2.0);
  EXPECT_EQ(fn<decltype(&getactiveProfil)>("getactiveProfil")(), 0);
}

// The controller link through its exports, with the serial bridge running on
// a host thread of its own (no controller attached).
TEST_F(LoadedLibrary, ControllerLinkRefusesUntilABridgeRunsAndStopsWithIt) {
  auto send = fn<decltype(&sendMessagemmf)>("sendMessagemmf");
  auto autoSend = fn<decltype(&autoMessagemmf)>("autoMessagemmf");
  auto read = fn<decltype(&readMessagemmf)>("readMessagemmf");
  auto fresh = fn<decltype(&newMessagemmf)>("newMessagemmf");
  auto connected = fn<decltype(&isConnected)>("isConnected");
  auto running = fn<decltype(&isInterfaceRunning)>("isInterfaceRunning");
  auto startBridge = fn<decltype(&startMMFtoSerial_Thread)>("startMMFtoSerial_Thread");
  auto stopBridge = fn<decltype(&stopMMFtoSerial_Thread)>("stopMMFtoSerial_Thread");
  auto pause = fn<decltype(&pauseInterface)>("pauseInterface");
  auto resume = fn<decltype(&resumeInterface)>("resumeInterface");
  ASSERT_TRUE(send && autoSend && read && fresh && connected && running && startBridge && stopBridge && pause && resume);

  unsigned char message[512] = {0xF9, 0xF9, 0x02, 0x00, 0x01, 0x00, 0x0A, 0x0D};
  unsigned char buffer[512];
  stopBridge();  // nothing runs: returns at once
  EXPECT_EQ(send(message), -1);
  EXPECT_EQ(autoSend(message), 0);
  EXPECT_EQ(read(buffer), 0);
  EXPECT_EQ(fresh(), 0);
  EXPECT_EQ(connected(), 0);
  EXPECT_EQ(running(), 1);
  EXPECT_EQ(fn<decltype(&enableAutoconnect)>("enableAutoconnect")(), 1);
  EXPECT_EQ(fn<decltype(&disableAutoconnect)>("disableAutoconnect")(), 1);

  std::atomic<int> result{-1};
  std::thread bridge([&] { result = startBridge(); });
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int sent = -1;
  while ((sent = send(message)) != 1 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(sent, 1);
  EXPECT_EQ(autoSend(message), 1);
  EXPECT_EQ(send(nullptr), -1);  // refused, never read
  EXPECT_EQ(autoSend(nullptr), 0);
  EXPECT_EQ(read(nullptr), 0);
  EXPECT_EQ(connected(), 0);  // no controller found
  EXPECT_EQ(pause(), 1);
  EXPECT_EQ(running(), 0);
  EXPECT_EQ(resume(), 0);  // no controller on the standard port: three tries
  EXPECT_EQ(running(), 1);
  EXPECT_GE(fn<decltype(&getOutputTimeFrame)>("getOutputTimeFrame")(), 0.0);

  stopBridge();
  bridge.join();
  EXPECT_EQ(result, 1);
  EXPECT_EQ(send(message), -1);
  stopBridge();
}

}  // namespace

namespace {

TEST_F(LoadedLibrary, OutputMotionCancelAndSnapshotExports) {
  unsigned char message[36];
  std::memset(message, 0xAA, sizeof message);
  auto output = fn<decltype(&getOutputData)>("getOutputData");
  output(message);
  for (unsigned char b : message) EXPECT_EQ(b, 0);  // nothing sent yet
  output(nullptr);
  fn<decltype(&SetRigDofLimitValue)>("SetRigDofLimitValue")(0, -0.5, 0.5);
  fn<decltype(&SetRigDofLimitValue)>("SetRigDofLimitValue")(99, -0.5, 0.5);  // ignored

  auto activate = fn<decltype(&activateMotionCancel)>("activateMotionCancel");
  auto gain = fn<decltype(&setGainMotionCancel)>("setGainMotionCancel");
  auto filter = fn<decltype(&setFilterMotionCancel)>("setFilterMotionCancel");
  EXPECT_FALSE(gain(2.0));
  EXPECT_FALSE(filter(30.0));
  activate(true);
  EXPECT_TRUE(gain(2.0));
  EXPECT_TRUE(filter(30.0));
  activate(false);
  EXPECT_FALSE(gain(1.0));

  int count = -1;
  auto calc = fn<decltype(&GetCalculationSnapshots)>("GetCalculationSnapshots");
  auto accel = fn<decltype(&GetAccelerationSnapshots)>("GetAccelerationSnapshots");
  EXPECT_EQ(calc(&count), nullptr);  // no motion cycle has run
  EXPECT_EQ(count, 0);
  count = -1;
  EXPECT_EQ(accel(&count), nullptr);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(calc(nullptr), nullptr);
  // One release operation under two names.
  EXPECT_EQ(lib.symbol("FreeCalculationSnapshots"), lib.symbol("FreeAccelerationSnapshots"));
  fn<decltype(&FreeCalculationSnapshots)>("FreeCalculationSnapshots")(nullptr);

  const double* latest = fn<decltype(&GetPositionSnapshot)>("GetPositionSnapshot")();
  ASSERT_NE(latest, nullptr);
  for (int i = 0; i < 23; ++i) EXPECT_EQ(latest[i], 0.0);
}

}  // namespace
