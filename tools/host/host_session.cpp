#include "host_session.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "rig_setup.h"
#include "thread_cpu.h"

namespace kinevra_host {

std::atomic<bool> stopRequested{false};

namespace {

using Clock = std::chrono::steady_clock;

std::string hexOf(const std::uint8_t* p, std::size_t n, std::size_t shown) {
  std::string s;
  char b[4];
  for (std::size_t i = 0; i < n && i < shown; ++i) {
    std::snprintf(b, sizeof b, i ? " %02X" : "%02X", p[i]);
    s += b;
  }
  if (n > shown) s += " .. (" + std::to_string(n) + " bytes)";
  return s;
}

void report(const std::vector<ProfileMessage>& list, const char* kind) {
  for (const auto& m : list) std::fprintf(stderr, "%s%s\n", kind, m.format().c_str());
}

// A command-line setting, read as the profile line it stands for; its
// errors name the option, not a line.
ProfileParse parseOption(const std::string& section, const std::string& value, const std::string& option) {
  ProfileParse p = parseRigProfile("[" + section + "]\nport = " + value + "\n", option);
  for (auto& e : p.errors) e.line = 0;
  return p;
}

// Sleeps up to ms, waking early when flag is set.
void nap(int ms, const std::atomic<bool>& flag) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (!flag && !stopRequested && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

}  // namespace

double readShared(const double* p) {
  // The library writes these with atomic stores; a plain read would race.
  return std::atomic_ref<double>(*const_cast<double*>(p)).load(std::memory_order_relaxed);
}

HostSession::HostSession(HostOptions options) : options_(std::move(options)) { keyItems_.fill(-1); }

HostSession::~HostSession() { shutdown(); }

int HostSession::prepare() {
  if (!options_.profile.empty()) {
    ProfileParse parse = loadRigProfile(options_.profile);
    if (!parse.ok()) {
      report(parse.errors, "");
      std::fprintf(stderr, "kinevra-host: %s: %zu error%s; the rig was not started\n", options_.profile.c_str(),
                   parse.errors.size(), parse.errors.size() == 1 ? "" : "s");
      return 2;
    }
    report(parse.warnings, "warning: ");
    profile_ = std::move(parse.profile);
  } else {
    profile_.file = "(no profile)";
  }
  if (options_.controller && *options_.controller == "udp") {
    profile_.controller.link = ControllerSetting::Link::Udp;
    profile_.controller.linkLine = 0;
  } else if (options_.controller) {
    const ProfileParse p = parseOption("controller", *options_.controller, "--controller");
    if (!p.ok()) return report(p.errors, ""), 2;
    const ControllerSetting udpSettings = profile_.controller;
    profile_.controller = p.profile.controller;
    // A serial port named on the command line; the profile's UDP settings stay for a later run.
    profile_.controller.listenPort = udpSettings.listenPort;
    profile_.controller.group = udpSettings.group;
    profile_.controller.groupPort = udpSettings.groupPort;
  }
  if (options_.wind) {
    const ProfileParse p = parseOption("wind", *options_.wind, "--wind");
    if (!p.ok()) return report(p.errors, ""), 2;
    profile_.wind.port = p.profile.wind.port;
  }

  if (!library_.open(options_.library.empty() ? nullptr : options_.library.c_str())) {
    std::fprintf(stderr, "kinevra-host: cannot load %s: %s\n",
                 options_.library.empty() ? kLibraryName : options_.library.c_str(), library_.error().c_str());
    return 1;
  }
  // Loaded until the process ends, as the rig's front end keeps it.
  library_.keepForProcessLife();
  api_.load(library_);
  // Without these there is no engine to run or watch.
  for (const char* name : {"startGamesource_Thread", "stopGamesource_Thread", "setMotionsystemready", "getGameID",
                           "getGameName", "getMotionDataTimeFrame", "getTransitionStatus", "getactiveProfil"}) {
    if (!library_.symbol(name)) {
      std::fprintf(stderr, "kinevra-host: the library lacks the engine export %s\n", name);
      return 1;
    }
  }
  if (udp()) {
    for (const char* name : {"setUDPport", "startUPDListenThread", "setMulticastAddr", "startUPDMulticastSenderThread",
                             "stopMMFtoSerial_Thread", "isConnected"}) {
      if (!library_.symbol(name)) {
        std::fprintf(stderr, "%s:%d: the library lacks %s, needed for the UDP controller link\n",
                     profile_.file.c_str(), profile_.controller.linkLine, name);
        return 1;
      }
    }
  } else if (profile_.controller.mode != ControllerSetting::Mode::None) {
    for (const char* name : {"startMMFtoSerial_Thread", "stopMMFtoSerial_Thread", "isConnected", "enableAutoconnect",
                             "disableAutoconnect", "setStandartPort", "resumeInterface"}) {
      if (!library_.symbol(name)) {
        std::fprintf(stderr, "%s:%d: the library lacks %s, needed for the controller link\n",
                     profile_.file.c_str(), profile_.controller.line, name);
        return 1;
      }
    }
  }

  std::vector<ProfileMessage> errors, warnings;
  configureEngine(api_, profile_, errors, warnings);
  report(warnings, "warning: ");
  if (!errors.empty()) {
    report(errors, "");
    std::fprintf(stderr, "kinevra-host: %s: the library refused %zu setting%s; the rig was not started\n",
                 profile_.file.c_str(), errors.size(), errors.size() == 1 ? "" : "s");
    return 2;
  }

  // Telemetry names: item j of getGameData carries name j - 1 of the table,
  // whose texts follow one another, each NUL-terminated.
  gameDataNames_.assign(1, std::string());
  if (api_.getGameDataNames) {
    const char* p = nullptr;
    int count = 0;
    api_.getGameDataNames(&p, &count);
    for (int e = 0; p && e < count && e < 64; ++e) {
      const std::size_t len = strnlen(p, 64);
      gameDataNames_.emplace_back(p, len);
      p += len + 1;
    }
  }
  for (std::size_t k = 0; k < kKeyValues.size(); ++k) keyItems_[k] = gameDataItem(kKeyValues[k].name);
  if (!options_.record.empty()) {
    if (!api_.GetCalculationSnapshots || !api_.GetAccelerationSnapshots || !api_.FreeCalculationSnapshots ||
        !api_.FreeAccelerationSnapshots) {
      std::fprintf(stderr, "kinevra-host: the library lacks the snapshot exports --record reads\n");
      return 1;
    }
    recordFile_ = std::fopen(options_.record.c_str(), "wb");
    if (!recordFile_) {
      std::fprintf(stderr, "kinevra-host: cannot create %s\n", options_.record.c_str());
      return 1;
    }
    // The limits the engine applies to the message's axes (0 0 unless set).
    std::array<std::array<double, 2>, kRecordedRigAxes> limits{};
    for (const LimitSetting& l : profile_.rigLimits)
      if (l.channel >= 0 && l.channel < kRecordedRigAxes) limits[static_cast<std::size_t>(l.channel)] = {l.low, l.high};
    std::FILE* file = recordFile_;
    recorder_ = std::make_unique<Recorder>(api_, gameDataNames_, limits, [file](const std::string& text) {
      return std::fwrite(text.data(), 1, text.size(), file) == text.size();
    });
  }
  return 0;
}

int HostSession::gameDataItem(const std::string& name) const {
  for (std::size_t i = 1; i < gameDataNames_.size(); ++i)
    if (gameDataNames_[i] == name) return static_cast<int>(i);
  return -1;
}

std::string HostSession::controllerText() const {
  if (udp()) {
    return "udp " + profile_.controller.group.value_or("232.11.12.14") + ":" +
           std::to_string(profile_.controller.groupPort.value_or(51324)) + ", listening on " +
           std::to_string(profile_.controller.listenPort.value_or(53241));
  }
  switch (profile_.controller.mode) {
    case ControllerSetting::Mode::Auto: return "auto";
    case ControllerSetting::Mode::Port: return "COM" + std::to_string(profile_.controller.port);
    default: return "none";
  }
}

void HostSession::start() {
  begin_ = Clock::now();
  // From here on the library's diagnostics go through the capture.
  captureOn_ = capture_.start();
  // Before the engine thread: both snapshot lists then begin with its first cycle.
  if (recorder_) recorder_->start();
  api_.startGamesource_Thread();
  engineStarted_ = true;
  configureAfterStart(api_, profile_);
  if (udp()) {
    // The library's two UDP loops, each on a thread of its own; the
    // settings apply to their start.
    const ControllerSetting& c = profile_.controller;
    if (c.listenPort) api_.setUDPport(static_cast<unsigned short>(*c.listenPort));
    if (c.group || c.groupPort) {
      api_.setMulticastAddr(c.group.value_or("232.11.12.14").c_str(), static_cast<unsigned short>(c.groupPort.value_or(51324)));
    }
    listenerDone_ = false;
    senderDone_ = false;
    listener_ = std::thread([this] {
      nameThisThread("kv-udp-listener");
      api_.startUPDListenThread();
      listenerDone_ = true;
    });
    sender_ = std::thread([this] {
      nameThisThread("kv-udp-sender");
      api_.startUPDMulticastSenderThread();
      senderDone_ = true;
    });
    bridgeDone_ = true;
    bridgeStarted_ = true;
    return;
  }
  if (profile_.controller.mode == ControllerSetting::Mode::None) return;
  if (profile_.controller.mode == ControllerSetting::Mode::Auto) {
    api_.enableAutoconnect();
  } else {
    api_.disableAutoconnect();
    const std::string port = controllerText();
    api_.setStandartPort(port.c_str());
  }
  bridgeDone_ = false;
  bridge_ = std::thread([this] {
    nameThisThread("kv-bridge");
    api_.startMMFtoSerial_Thread();
    bridgeDone_ = true;
  });
  bridgeStarted_ = true;
  if (profile_.controller.mode == ControllerSetting::Mode::Port) {
    connectorStop_ = false;
    connector_ = std::thread([this] {
      nameThisThread("kv-connector");
      connectLoop();
    });
  }
}

// Opens the standard port whenever the controller is not connected: at the
// start, and again after the controller was unplugged or restarted.
void HostSession::connectLoop() {
  while (!connectorStop_ && !stopRequested) {
    if (!api_.isConnected()) api_.resumeInterface();
    nap(2000, connectorStop_);
  }
}

void HostSession::shutdown() {
  if (stopped_ || (!engineStarted_ && !bridgeStarted_)) return;
  stopped_ = true;
  connectorStop_ = true;
  // 1. The engine thread: no more motion; its end writes the fan-off byte and
  //    closes the fan's port.
  if (engineStarted_) {
    if (ready_) api_.setMotionsystemready(0);
    api_.stopGamesource_Thread();
  }
  finishRecording();
  // 2. The controller link: no more connection attempts, then the bridge,
  //    which closes the port. A stop that came before the bridge loop began
  //    would find nothing to stop, so it is repeated until the thread ends.
  if (connector_.joinable()) connector_.join();
  if (bridgeStarted_) {
    while (!linkDone()) {
      api_.stopMMFtoSerial_Thread();
      const auto until = Clock::now() + std::chrono::seconds(2);
      while (!linkDone() && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (std::thread* t : {&bridge_, &listener_, &sender_})
      if (t->joinable()) t->join();
  }
  if (captureOn_) {
    capture_.stop();
    captureOn_ = false;
    // What the library printed while stopping, for the record.
    for (const std::string& l : capture_.takeNew())
      if (options_.plain || !capture_.terminal()) std::printf("  | %s\n", l.c_str());
  }
  std::printf("kinevra-host: engine stopped%s%s\n", bridgeStarted_ ? ", controller link closed" : "",
              profile_.wind.port.empty() ? "" : ", fan off");
  std::fflush(stdout);
}

void HostSession::finishRecording() {
  if (!recorder_) return;
  recorder_->stop();
  const bool closed = std::fclose(recordFile_) == 0;
  recordFile_ = nullptr;
  std::printf("kinevra-host: recorded %llu motion cycles to %s\n",
              static_cast<unsigned long long>(recorder_->written()), options_.record.c_str());
  if (recorder_->dropped() > 0)
    std::printf("kinevra-host: %llu rows were dropped: the disk did not keep up%s\n",
                static_cast<unsigned long long>(recorder_->dropped()), recorder_->writeFailed() ? " (a write failed)" : "");
  if (recorder_->overrun())
    std::printf("kinevra-host: the recording ends early: the tool fell more than 150 cycles behind the engine\n");
  if (!closed) std::printf("kinevra-host: closing %s failed; the recording may be incomplete\n", options_.record.c_str());
  std::fflush(stdout);
  recorder_.reset();
}

double HostSession::runningSeconds() const {
  return std::chrono::duration<double>(Clock::now() - begin_).count();
}

void HostSession::print(const std::string& text) {
  if (captureOn_) {
    capture_.write(text);
  } else {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
  }
}

void HostSession::updateReadiness(HostStatus& s) {
  bool want = !options_.hold;
  if (options_.hold) s.readiness = "--hold";
  if (want && hasController() && !s.connected) {
    want = false;
    s.readiness = "waiting for the controller";
  }
  // Each change restarts the engine's fade-in, so a controller that comes
  // back is eased into motion again.
  if (want != ready_) {
    api_.setMotionsystemready(want ? 1 : 0);
    ready_ = want;
  }
  s.ready = ready_;
}

HostStatus HostSession::poll() {
  HostStatus s;
  s.title = options_.demo ? "demo" : profile_.name.empty() ? profile_.file : profile_.name + " (" + profile_.file + ")";
  s.runningSeconds = runningSeconds();
  char name[64] = {};
  api_.getGameName(name);
  s.gameName = name;
  s.gameId = api_.getGameID();
  if (api_.getGameTimeFrame) s.telemetryMs = api_.getGameTimeFrame();
  s.cycleMs = api_.getMotionDataTimeFrame();
  s.activeProfile = api_.getactiveProfil();
  s.fadePercent = api_.getTransitionStatus();
  if (api_.getProfilAirTransitionStatus) s.airPercent = api_.getProfilAirTransitionStatus();
  if (api_.getProfilGrdTransitionStatus) s.groundPercent = api_.getProfilGrdTransitionStatus();
  if (api_.getGameData) {
    const double* values = nullptr;
    int count = 0;
    api_.getGameData(&values, &count);
    for (std::size_t k = 0; k < kKeyValues.size(); ++k) {
      if (values && keyItems_[k] >= 0 && keyItems_[k] < count) {
        s.keyValues[k] = readShared(values + keyItems_[k]);
        s.haveKeyValue[k] = true;
      }
    }
  }
  if (api_.getMotionCueData) {
    const double* cue = nullptr;
    int count = 0;
    api_.getMotionCueData(2, &cue, &count);
    for (int i = 0; cue && i < count && i < 23; ++i) s.cue[static_cast<std::size_t>(i)] = readShared(cue + i);
  }
  if (api_.getOutputData) {
    std::uint8_t msg[kRigMessageBytes] = {};
    api_.getOutputData(msg);
    s.haveOutput = decodeRigMessage(msg, sizeof msg, s.output);
  }
  if (recorder_) {
    // The recorder takes the snapshots; it counts the cycles.
    motionCycles_ = recorder_->cycles();
  } else if (!options_.demo && api_.GetCalculationSnapshots && api_.FreeCalculationSnapshots) {
    // (The demo's sampler takes them itself, every cycle's, and counts them.)
    int count = 0;
    const double* snaps = api_.GetCalculationSnapshots(&count);
    if (snaps) api_.FreeCalculationSnapshots(snaps);
    if (count > 0) motionCycles_ += static_cast<std::uint64_t>(count);
  }
  s.controller = controllerText();
  if (bridgeStarted_) {
    s.linkRunning = !linkDone();
    s.connected = api_.isConnected() == 1;
    if (api_.isInterfaceRunning) s.interfaceRunning = api_.isInterfaceRunning() == 1;
    if (api_.getOutputTimeFrame) s.bridgeCycleMs = api_.getOutputTimeFrame();
    // The host's part of the link: take the controller's frames.
    if (api_.readMessagemmf) {
      std::uint8_t frame[512];
      for (int i = 0; i < 200; ++i) {
        const int n = api_.readMessagemmf(frame);
        if (n <= 0) break;
        ++framesIn_;
        lastFrame_ = hexOf(frame, static_cast<std::size_t>(n > 512 ? 512 : n), 8);
      }
    }
  }
  s.framesIn = framesIn_;
  s.lastFrame = lastFrame_;
  s.motionCycles = motionCycles_;
  s.wind = profile_.wind.port.empty()
               ? "none"
               : profile_.wind.port + " " + std::to_string(profile_.wind.baudRate) + " " + profile_.wind.format +
                     ", a byte every " + std::to_string(profile_.wind.intervalMs) + " ms";
  if (captureOn_) s.messages = capture_.recent(6);
  updateReadiness(s);
  return s;
}

void HostSession::run(const std::function<bool(HostStatus&)>& step) {
  const bool screen = captureOn_ && capture_.terminal() && !options_.plain;
  if (screen) print("\x1b[2J\x1b[?25l");  // clear, hide the cursor
  auto nextLine = Clock::now();
  for (;;) {
    HostStatus s = poll();
    if (options_.seconds >= 0) s.secondsLeft = std::max(0.0, options_.seconds - s.runningSeconds);
    const bool more = !step || step(s);
    if (screen) {
      print(renderScreen(s));
    } else {
      // Lines: what the process printed as it comes, the state once a second.
      if (captureOn_)
        for (const std::string& l : capture_.takeNew()) print("  | " + l + "\n");
      if (Clock::now() >= nextLine) {
        print(renderStatusLine(s));
        nextLine += std::chrono::seconds(1);
      }
    }
    if (!more || stopRequested || (options_.seconds >= 0 && s.runningSeconds >= options_.seconds)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (screen) print("\x1b[?25h\n");
}

}  // namespace kinevra_host
