#pragma once
// One run of kinevra-host: the loaded library, the rig profile applied to
// it, the engine and the serial bridge on their threads, the view, and the
// orderly shutdown.
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "console_capture.h"
#include "library_api.h"
#include "library_loader.h"
#include "live_view.h"
#include "recorder.h"
#include "rig_profile.h"

namespace kinevra_host {

struct HostOptions {
  std::string library;                    // empty: by name
  std::string profile;                    // empty: the engine's defaults
  bool check = false;                     // check the profile, start nothing
  std::optional<std::string> controller;  // overrides the profile: COMn, auto, none, udp
  std::optional<std::string> wind;        // overrides the profile: COMn, none
  bool hold = false;                      // never declare the motion system ready
  double seconds = -1;                    // -1: until Ctrl-C
  bool plain = false;                     // status lines instead of the screen
  bool demo = false;
  std::string plot = "kinevra-demo.svg";
  std::string demoGame = "ac";  // the game gamesim plays in the demo (any of its --game names)
  int demoLibraryPort = 0;  // real ports for the demo (a null-modem pair)
  int demoRigPort = 0;
  std::string record;  // --record: a CSV row per motion cycle into this file
};

// Set by Ctrl-C (SIGINT) and SIGTERM.
extern std::atomic<bool> stopRequested;

class HostSession {
 public:
  explicit HostSession(HostOptions options);
  ~HostSession();
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  // Reads the profile, loads the library and configures the engine. Reports
  // every problem on standard error; returns 0 or the exit code.
  int prepare();
  // Starts the engine thread, the bridge and the search for the controller.
  void start();
  // Shows the view until Ctrl-C, the time is up, or step (called with each
  // snapshot before it is drawn, and free to add to it) answers false.
  void run(const std::function<bool(HostStatus&)>& step = {});
  // Stops in order: the engine thread (its end switches the fan off), the
  // connection attempts, the serial bridge. Safe to call twice.
  void shutdown();

  // One snapshot of everything the view shows; also takes the controller's
  // frames and the engine's snapshots, and declares the rig ready or not.
  HostStatus poll();
  // Writes to the terminal, past the capture of standard output.
  void print(const std::string& text);

  // The getGameData index of a telemetry value by its name, -1 when none.
  int gameDataItem(const std::string& name) const;

  const LibraryApi& api() const { return api_; }
  const RigProfile& profile() const { return profile_; }
  bool ready() const { return ready_; }
  double runningSeconds() const;

 private:
  void connectLoop();
  void finishRecording();
  bool udp() const { return profile_.controller.link == ControllerSetting::Link::Udp; }
  // A controller link runs: UDP, or a serial port (auto or COMn).
  bool hasController() const { return udp() || profile_.controller.mode != ControllerSetting::Mode::None; }
  bool linkDone() const { return bridgeDone_ && listenerDone_ && senderDone_; }
  void updateReadiness(HostStatus& s);
  std::string controllerText() const;

  HostOptions options_;
  LibraryLoader library_;
  LibraryApi api_;
  RigProfile profile_;
  ConsoleCapture capture_;
  bool captureOn_ = false;

  bool engineStarted_ = false;
  bool bridgeStarted_ = false;
  bool stopped_ = false;
  std::thread bridge_;
  std::atomic<bool> bridgeDone_{false};
  std::thread listener_, sender_;  // the UDP link's loops
  std::atomic<bool> listenerDone_{true};
  std::atomic<bool> senderDone_{true};
  std::thread connector_;
  std::atomic<bool> connectorStop_{false};
  bool ready_ = false;

  // The telemetry names, by getGameData index; the shown ones' indexes.
  std::vector<std::string> gameDataNames_;
  std::array<int, kKeyValues.size()> keyItems_{};
  std::uint64_t framesIn_ = 0;
  std::string lastFrame_;
  std::uint64_t motionCycles_ = 0;
  std::chrono::steady_clock::time_point begin_;

  std::FILE* recordFile_ = nullptr;
  std::unique_ptr<Recorder> recorder_;
};

// A double the engine thread rewrites, read whole.
double readShared(const double* p);

}  // namespace kinevra_host
