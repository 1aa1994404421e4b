#include "demo.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "child_process.h"
#include "rig_message.h"
#include "svg_plot.h"
#include "thread_cpu.h"

namespace kinevra_host {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// The game's motion behind each rig axis, as the plot shows it.
struct AxisInput {
  const char* axis;
  const char* telemetry;
  const char* unit;
  bool removeMean;  // vertical acceleration carries gravity
};
constexpr std::array<AxisInput, 6> kAxisInputs = {{{"sway", "lateral_accel_g", "m/s2", false},
                                                   {"surge", "longitu_accel_g", "m/s2", false},
                                                   {"heave", "vertica_accel_g", "m/s2", true},
                                                   {"yaw", "yaw_speed", "deg/s", false},
                                                   {"roll", "roll_position", "deg", false},
                                                   {"pitch", "pitch_position", "deg", false}}};

struct InputSample {
  std::int64_t ns;
  std::array<double, 6> v;
};

// Watches the engine from a thread of its own, a few thousand times a
// second: the game's motion, every cycle's snapshots, cycle times and the
// profile switch.
class Sampler {
 public:
  static constexpr std::size_t kMaxRecords = 1'000'000;  // an hour-long demo stops recording, not the rig

  // items: the GameData entries behind the six axes; keyItems: those of the
  // three speeds that tell the game's updates apart.
  Sampler(const LibraryApi& api, const std::array<int, 6>& items, const std::array<int, 3>& keyItems)
      : api_(api), items_(items), keyItems_(keyItems) {}
  ~Sampler() { stop(); }

  void start() {
    thread_ = std::thread([this] {
      nameThisThread("kv-sampler");
      loop();
    });
  }
  void stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

  std::vector<InputSample> inputs;
  struct Timed {
    std::int64_t ns;
    double ms;
  };
  std::vector<Timed> cycleMs;
  std::vector<Timed> telemetryMs;
  // Every motion cycle's telemetry key and rig channels, from the engine's
  // snapshots; given up (and noted) should a list ever overflow between two
  // looks, since the two lists could no longer be paired.
  std::vector<CycleRecord> cycles;
  bool snapshotsLost = false;
  std::atomic<std::uint64_t> cycleCount{0};
  // The profile switch as the exports tell it, at every change.
  struct ProfileState {
    std::int64_t ns;
    int active;
    double air, ground;
  };
  std::vector<ProfileState> profiles;
  // Each switch's end, and whether the profile faded out had its channels
  // at 0 then (the ground profile's 23; the air profile's ten main ones, as
  // its belt, effect and wind channels run on at full weight).
  struct SwitchEnd {
    std::int64_t ns;
    bool toAir;
    bool otherAtZero;
  };
  std::vector<SwitchEnd> switchEnds;

 private:
  static constexpr int kSnapshotCapacity = 150;  // the engine keeps at most this many of each
  static constexpr int kCueCount = 23, kTelemetryCount = 43;

  void takeSnapshots() {
    if (!api_.GetCalculationSnapshots || !api_.FreeCalculationSnapshots || !api_.GetAccelerationSnapshots ||
        !api_.FreeAccelerationSnapshots)
      return;
    int n = 0;
    if (const double* c = api_.GetCalculationSnapshots(&n)) {
      for (int i = 0; i < n && !snapshotsLost; ++i) {
        std::array<float, 6> axes{};
        for (int k = 0; k < 6; ++k) axes[static_cast<std::size_t>(k)] = static_cast<float>(c[kCueCount * i + k]);
        calcPending_.push_back(axes);
      }
      api_.FreeCalculationSnapshots(c);
    }
    int m = 0;
    if (const double* a = api_.GetAccelerationSnapshots(&m)) {
      for (int i = 0; i < m && !snapshotsLost; ++i) {
        UpdateKey key{};
        for (std::size_t k = 0; k < key.size(); ++k) {
          const int item = keyItems_[k];
          key[k] = item >= 0 && item < kTelemetryCount
                       ? static_cast<float>(std::fabs(a[kTelemetryCount * i + item]))
                       : 0.0f;
        }
        accelPending_.push_back(key);
      }
      api_.FreeAccelerationSnapshots(a);
    }
    if (n > 0) cycleCount += static_cast<std::uint64_t>(n);
    // A full list may have dropped records; lists that drift apart (one
    // record of a cycle taken, the other not yet) never do so by more than
    // one look's worth.
    if (n >= kSnapshotCapacity || m >= kSnapshotCapacity || calcPending_.size() > 2 * kSnapshotCapacity ||
        accelPending_.size() > 2 * kSnapshotCapacity)
      snapshotsLost = true;
    if (snapshotsLost) {
      calcPending_.clear();
      accelPending_.clear();
      return;
    }
    // A cycle leaves its calculation record before its telemetry record.
    while (!calcPending_.empty() && !accelPending_.empty()) {
      if (cycles.size() < kMaxRecords) cycles.push_back({accelPending_.front(), calcPending_.front()});
      calcPending_.pop_front();
      accelPending_.pop_front();
    }
  }

  bool cuesAtZero(int which, int count) const {
    const double* cue = nullptr;
    int n = 0;
    if (!api_.getMotionCueData) return false;
    api_.getMotionCueData(which, &cue, &n);
    if (!cue) return false;
    for (int i = 0; i < count && i < n; ++i)
      if (readShared(cue + i) != 0.0) return false;
    return true;
  }

  void watchProfiles(std::int64_t t) {
    if (!api_.getactiveProfil || !api_.getProfilAirTransitionStatus || !api_.getProfilGrdTransitionStatus) return;
    const ProfileState p{t, api_.getactiveProfil(), api_.getProfilAirTransitionStatus(),
                         api_.getProfilGrdTransitionStatus()};
    if (!profiles.empty()) {
      const ProfileState& q = profiles.back();
      if (p.active == q.active && p.air == q.air && p.ground == q.ground) return;
      if (p.active == 0 && p.air >= 100 && q.air < 100) switchEnds.push_back({t, true, cuesAtZero(1, kCueCount)});
      if (p.active == 1 && p.ground >= 100 && q.ground < 100) switchEnds.push_back({t, false, cuesAtZero(0, 10)});
    }
    if (profiles.size() < kMaxRecords) profiles.push_back(p);
  }

  void loop() {
    const double* data = nullptr;
    int count = 0;
    if (api_.getGameData) api_.getGameData(&data, &count);
    InputSample lastInput{0, {}};
    double lastCycle = -1, lastTelemetry = -1;
    while (!stop_) {
      const std::int64_t t = nowNs();
      if (data && inputs.size() < kMaxRecords) {
        InputSample in{t, {}};
        for (std::size_t a = 0; a < 6; ++a)
          in.v[a] = items_[a] >= 0 && items_[a] < count ? readShared(data + items_[a]) : 0.0;
        if (in.v != lastInput.v) {
          inputs.push_back(in);
          lastInput = in;
        }
      }
      const double cycle = api_.getMotionDataTimeFrame();
      if (cycle != lastCycle && cycle > 0 && cycleMs.size() < kMaxRecords) cycleMs.push_back({t, cycle});
      lastCycle = cycle;
      if (api_.getGameTimeFrame) {
        const double tm = api_.getGameTimeFrame();
        if (tm != lastTelemetry && tm > 0 && telemetryMs.size() < kMaxRecords) telemetryMs.push_back({t, tm});
        lastTelemetry = tm;
      }
      takeSnapshots();
      watchProfiles(t);
      std::this_thread::sleep_for(std::chrono::microseconds(250));
    }
  }

  const LibraryApi& api_;
  std::array<int, 6> items_;
  std::array<int, 3> keyItems_;
  std::deque<std::array<float, 6>> calcPending_;
  std::deque<UpdateKey> accelPending_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

bool waitFor(const fs::path& file, ChildProcess& child, int seconds) {
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  std::error_code ec;
  while (Clock::now() < end && !stopRequested) {
    if (fs::exists(file, ec)) return true;
    if (!child.running()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// Waits until the file holds the text (the child writes it when it is ready).
bool waitForText(const fs::path& file, const std::string& text, ChildProcess& child, int seconds) {
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  while (Clock::now() < end && !stopRequested) {
    std::ifstream in(file);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (all.find(text) != std::string::npos) return true;
    if (!child.running()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

std::string fileText(const fs::path& p) {
  std::ifstream in(p);
  std::string text, line;
  while (std::getline(in, line)) text += "    " + line + "\n";
  return text;
}

// The values noted from `from` on.
std::vector<double> since(const std::vector<Sampler::Timed>& v, std::int64_t from) {
  std::vector<double> out;
  for (const auto& x : v)
    if (x.ns >= from) out.push_back(x.ms);
  return out;
}

// The executable name the game must run under, as gamesim names it (empty
// when the library looks for no process); false, with gamesim's complaint in
// *error, when gamesim does not know the game.
bool gameExecutable(const std::string& game, const fs::path& dir, std::string* exe, std::string* error) {
  const fs::path out = dir / "gamesim-executable.txt";
  ChildProcess ask;
  if (!ask.start(toolProgram("gamesim"), {"--game", game, "--print-executable"}, out.string())) {
    *error = "cannot start " + toolProgram("gamesim");
    return false;
  }
  const auto end = Clock::now() + std::chrono::seconds(60);
  while (ask.running() && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::ifstream in(out);
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.rfind("gamesim:", 0) == 0 || ask.running()) {
    *error = line.empty() ? "gamesim did not answer" : line;
    return false;
  }
  *exe = line;
  return true;
}

std::string latencyText(const Spread& s) {
  char b[128];
  if (s.count == 0) return "no data";
  std::snprintf(b, sizeof b, "median %.3f ms, p99 %.3f ms, worst %.3f ms (%zu updates)", s.median, s.p99, s.worst,
                s.count);
  return b;
}

// The flight simulators are played by fsimsim, which speaks their client
// interface; the other games by gamesim.
bool isFlightSimulator(const std::string& game) { return game == "msfs2020" || game == "msfs2024"; }

// Writes a command for fsimsim: whole, under the name it watches for.
bool sendFlightCommand(const fs::path& commands, const std::string& line) {
  const fs::path next = commands.string() + ".new";
  {
    std::ofstream out(next);
    out << line << "\n";
    if (!out) return false;
  }
  std::error_code ec;
  fs::rename(next, commands, ec);
  return !ec;
}

std::string ms(const Spread& s) {
  char b[96];
  if (s.count == 0) return "no data";
  std::snprintf(b, sizeof b, "median %.3f ms, worst %.3f ms", s.median, s.worst);
  return b;
}

}  // namespace

int runDemo(HostOptions o) {
  const fs::path dir = makeScratchFolder("demo");
  if (dir.empty()) {
    std::fprintf(stderr, "kinevra-host: cannot make a folder for the demo\n");
    return 1;
  }
  if (o.profile.empty()) {
    // The sample profile is built beside the program.
    o.profile = programFolder() + "profiles/sample-rig.profile";
  }
  const double motionSeconds = o.seconds > 0 ? o.seconds : 20;
  o.seconds = -1;  // the demo decides when to stop
  o.demo = true;
  o.hold = false;
  o.wind = "none";
  const std::string childSeconds = std::to_string(static_cast<long>(motionSeconds) + 300);

  // The controller: rigsim on a pseudo-terminal that the library finds as a
  // USB controller on COM5, on a real port of a null-modem pair, or on the
  // network (UDP).
  ChildProcess rig, game;
  const fs::path rigLog = dir / "rig-messages.log";
  const bool overUdp = o.controller && *o.controller == "udp";
  if (overUdp) {
    // rigsim joins the library's multicast group on the adapter the library
    // sends from and sends its status frames to the listener on this machine.
    const fs::path events = dir / "rigsim-events.log";
    if (!rig.start(toolProgram("rigsim"),
                   {"--udp", "232.11.12.14:51324", "--interface", "auto", "--to", "127.0.0.1:53241", "--log",
                    events.string(), "--messages", rigLog.string(), "--seconds", childSeconds},
                   (dir / "rigsim.txt").string()) ||
        !waitForText(events, "ready", rig, 30)) {
      std::fprintf(stderr,
                   "kinevra-host: rigsim could not join the multicast group (the demo over UDP needs an active wired "
                   "Ethernet adapter)\n%s",
                   fileText(dir / "rigsim.txt").c_str());
      return 1;
    }
  } else {
    int libraryPort = 5;
    if (o.demoLibraryPort > 0) {
      libraryPort = o.demoLibraryPort;
      if (!rig.start(toolProgram("rigsim"),
                     {"--port", std::to_string(o.demoRigPort), "--messages", rigLog.string(), "--seconds", childSeconds},
                     (dir / "rigsim.txt").string())) {
        std::fprintf(stderr, "kinevra-host: cannot start %s\n", toolProgram("rigsim").c_str());
        return 1;
      }
    } else {
#if defined(_WIN32)
      std::fprintf(stderr,
                   "kinevra-host: on Windows the demo's controller needs a pair of connected ports (a null-modem\n"
                   "pair): --demo-ports LIBRARY_PORT RIG_PORT, e.g. --demo-ports 10 11, or the network: --controller udp\n");
      std::error_code ec;
      fs::remove_all(dir, ec);
      return 2;
#else
      const fs::path comDir = dir / "com";
      fs::create_directories(comDir);
      std::ofstream(comDir / "com5.hwid") << "USB\\VID_1A86&PID_7523&REV_0264\n";  // a CH340, as many rigs use
      setEnvironment("KINEVRA_COM_DIR", comDir.string());
      const fs::path link = comDir / "com5";
      if (!rig.start(toolProgram("rigsim"),
                     {"--pty", link.string(), "--messages", rigLog.string(), "--seconds", childSeconds},
                     (dir / "rigsim.txt").string()) ||
          !waitFor(link, rig, 30)) {
        std::fprintf(stderr, "kinevra-host: rigsim did not make its pseudo-terminal\n%s",
                     fileText(dir / "rigsim.txt").c_str());
        return 1;
      }
#endif
    }
    o.controller = "COM" + std::to_string(libraryPort);
  }

  // The game: gamesim playing it (Assetto Corsa's shared-memory pages by
  // default), under the game's executable name where the library looks for
  // one; a flight simulator is fsimsim flying its circuit, held taxiing until
  // the rig moves and then flown from just before the take-off roll's end to
  // past the landing within the demo's time.
  const bool flight = isFlightSimulator(o.demoGame);
  const std::string simName = flight ? "fsimsim" : "gamesim";
  std::string exe, error;
  std::string gameProgram = toolProgram(simName);
  if (flight) {
    exe = o.demoGame == "msfs2024" ? "FlightSimulator2024.exe" : "FlightSimulator.exe";
  } else if (!gameExecutable(o.demoGame, dir, &exe, &error)) {
    std::fprintf(stderr, "kinevra-host: no game %s for the demo: %s\n", o.demoGame.c_str(), error.c_str());
    rig.stop();
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 2;
  }
  if (!exe.empty()) {
    const fs::path named = dir / exe;
    std::error_code ec;
    fs::copy_file(gameProgram, named, ec);
    if (ec) {
      std::fprintf(stderr, "kinevra-host: cannot copy %s to %s: %s\n", simName.c_str(), named.string().c_str(),
                   ec.message().c_str());
      return 1;
    }
    gameProgram = named.string();
  }
  constexpr double kFlightFrom = 30, kFlightTo = 118;  // the circuit's take-off (35 s) and landing (115 s)
  const double flightRate = std::max(1.0, (kFlightTo - kFlightFrom) / (0.85 * motionSeconds));
  const fs::path gameReady = dir / "game-ready", stamps = dir / "game-stamps.txt",
                 flightCommands = dir / "fsimsim-commands";
  char rateText[32];
  std::snprintf(rateText, sizeof rateText, "%.3f", flightRate);
  const std::vector<std::string> gameArgs =
      flight ? std::vector<std::string>{"--at", "10", "--rate", rateText, "--commands", flightCommands.string(),
                                        "--seconds", childSeconds, "--ready", gameReady.string()}
             : std::vector<std::string>{"--game", o.demoGame, "--seconds", childSeconds, "--stamps", stamps.string(),
                                        "--ready", gameReady.string()};
  if (!game.start(gameProgram, gameArgs, (dir / (simName + ".txt")).string()) || !waitFor(gameReady, game, 60)) {
    std::fprintf(stderr, "kinevra-host: %s did not start its game\n%s", simName.c_str(),
                 fileText(dir / (simName + ".txt")).c_str());
    return 1;
  }

  HostSession host(o);
  if (const int rc = host.prepare()) {
    game.stop();
    rig.stop();
    std::error_code ec;
    fs::remove_all(dir, ec);
    return rc;
  }
  std::array<int, 6> items{};
  for (std::size_t a = 0; a < 6; ++a) items[a] = host.gameDataItem(kAxisInputs[a].telemetry);
  const std::array<int, 3> keyItems = {host.gameDataItem("lateral_speed"), host.gameDataItem("longitu_speed"),
                                       host.gameDataItem("vertica_speed")};
  Sampler sampler(host.api(), items, keyItems);
  host.start();
  sampler.start();

  // Run until the rig has moved for the demo's time; give up when the game
  // or the controller never comes.
  constexpr double kSetupSeconds = 90;
  std::int64_t motionStart = 0;
  std::string gameName;
  bool timedOut = false;
  std::vector<ThreadCpu> cpuAtStart;
  host.run([&](HostStatus& s) {
    s.title = "demo: " + simName + " (" + o.demoGame + (flight ? ", scripted flight" : ", scripted") +
              ") -> kinevra -> rigsim on " + s.controller;
    s.motionCycles = sampler.cycleCount.load();
    if (s.gameId >= 0) gameName = s.gameName;
    if (motionStart == 0 && s.ready && s.gameId >= 0) {
      motionStart = nowNs();
      cpuAtStart = threadCpuTimes();
      if (flight && !sendFlightCommand(flightCommands, "fly " + std::to_string(static_cast<int>(kFlightFrom))))
        std::fprintf(stderr, "kinevra-host: cannot tell fsimsim to fly\n");
    }
    if (motionStart == 0) {
      s.secondsLeft = -1;
      if (s.runningSeconds > kSetupSeconds) timedOut = true;
      return !timedOut;
    }
    const double moving = static_cast<double>(nowNs() - motionStart) / 1e9;
    s.secondsLeft = std::max(0.0, motionSeconds - moving);
    return moving < motionSeconds;
  });
  const std::int64_t motionEnd = nowNs();
  const std::vector<ThreadCpu> cpuAtEnd = threadCpuTimes();
  host.shutdown();
  sampler.stop();
  game.stop();
  rig.stop();

  // What the controller received.
  std::vector<ReceivedFrame> received;
  {
    std::ifstream in(rigLog);
    std::string line;
    ReceivedFrame f;
    while (std::getline(in, line))
      if (parseReceivedLine(line, f)) received.push_back(f);
  }
  std::size_t rigMessages = 0, crcFailures = 0, otherFrames = 0, strayBytes = 0;
  std::vector<double> intervals;
  std::int64_t previous = 0;
  for (const ReceivedFrame& f : received) {
    if (f.status == "crc-bad") ++crcFailures;
    if (f.kind == "junk") {
      strayBytes += f.bytes.size();
    } else if (f.kind == "FC") {
      ++rigMessages;
      if (previous && f.ns >= motionStart) intervals.push_back(static_cast<double>(f.ns - previous) / 1e6);
      previous = f.ns;
    } else {
      ++otherFrames;
    }
  }
  // The latency: from each update the game stamped to the first rig
  // message computed from it reaching the controller. The first quarter
  // second of motion is left out (the rig was declared ready within it).
  const std::int64_t settled = motionStart + 250'000'000;
  std::vector<UpdateStamp> updates;
  {
    std::ifstream in(stamps);
    std::string line;
    UpdateStamp u;
    while (std::getline(in, line))
      if (parseStampLine(line, u)) updates.push_back(u);
  }
  std::vector<ReceivedFrame> settledFrames;
  for (const ReceivedFrame& f : received)
    if (f.ns >= settled) settledFrames.push_back(f);
  const Spread latency = spreadOf(updateLatencies(updates, sampler.cycles, settledFrames));

  // The profile switches: each begins when the active profile changes and
  // ends when the profile switched to is at 100 %.
  struct Switch {
    double begin = -1, end = -1;
    bool toAir = false, otherAtZero = false;
  };
  std::vector<Switch> switches;
  const auto secondsOf = [&](std::int64_t ns) { return static_cast<double>(ns - motionStart) / 1e9; };
  for (std::size_t i = 1; i < sampler.profiles.size(); ++i) {
    const auto& p = sampler.profiles[i];
    if (p.ns < motionStart || p.active == sampler.profiles[i - 1].active || (p.active != 0 && p.active != 1)) continue;
    Switch w;
    w.begin = secondsOf(p.ns);
    w.toAir = p.active == 0;
    for (const auto& e : sampler.switchEnds) {
      if (e.ns >= p.ns && e.toAir == w.toAir) {
        w.end = secondsOf(e.ns);
        w.otherAtZero = e.otherAtZero;
        break;
      }
    }
    switches.push_back(w);
  }

  // The plot: the game's motion against what the rig received, per axis.
  const double t1 = static_cast<double>(motionEnd - motionStart) / 1e9;
  std::vector<PlotPanel> panels;
  for (std::size_t a = 0; a < 6; ++a) {
    PlotSeries in{std::string("game: ") + kAxisInputs[a].telemetry, kAxisInputs[a].unit, "#1f5fbf", {}, {}};
    for (const InputSample& s : sampler.inputs) {
      if (s.ns < motionStart) continue;
      in.t.push_back(static_cast<double>(s.ns - motionStart) / 1e9);
      in.v.push_back(s.v[a]);
    }
    if (kAxisInputs[a].removeMean && !in.v.empty()) {
      double mean = 0;
      for (double v : in.v) mean += v / static_cast<double>(in.v.size());
      for (double& v : in.v) v -= mean;
      char b[48];
      std::snprintf(b, sizeof b, " - %.2f", mean);
      in.label += b;
    }
    PlotSeries out{std::string("rig received: ") + kAxisInputs[a].axis, "", "#e0701b", {}, {}};
    for (const ReceivedFrame& f : received) {
      RigMessage m;
      if (f.kind != "FC" || f.ns < motionStart || !decodeRigMessage(f.bytes.data(), f.bytes.size(), m)) continue;
      out.t.push_back(static_cast<double>(f.ns - motionStart) / 1e9);
      out.v.push_back(m.axes[a]);
    }
    panels.push_back({kAxisInputs[a].axis, {in, out}});
  }
  if (flight) {
    PlotSeries air{"air profile", "%", "#1f5fbf", {}, {}}, ground{"ground profile", "%", "#2e8b3a", {}, {}};
    for (const auto& p : sampler.profiles) {
      if (p.ns < motionStart) continue;
      air.t.push_back(secondsOf(p.ns));
      air.v.push_back(p.air);
      ground.t.push_back(secondsOf(p.ns));
      ground.v.push_back(p.ground);
    }
    panels.push_back({"profile switch (take-off, landing)", {air, ground}});
  }
  const std::string title = "kinevra demo: " + (gameName.empty() ? std::string("no game") : gameName) + " (" +
                            simName + ") to the rig (rigsim on " + *o.controller + ")";
  bool plotted = false;
  {
    std::ofstream svg(o.plot, std::ios::binary);
    svg << renderSvgPlot(title, panels, 0, t1 > 0 ? t1 : 1);
    plotted = static_cast<bool>(svg);
  }

  std::printf("\nkinevra-host demo summary (%.1f s of motion, game %s, controller on %s)\n",
              motionStart ? t1 : 0.0, gameName.empty() ? "-" : gameName.c_str(), o.controller->c_str());
  std::printf("  messages received by the controller: %zu\n", rigMessages);
  std::printf("  CRC failures: %zu\n", crcFailures);
  std::printf("  other frames: %zu, stray bytes: %zu\n", otherFrames, strayBytes);
  std::printf("  message interval at the controller: %s\n", ms(spreadOf(intervals)).c_str());
  // The first cycle after the rig was declared ready also measures the wait
  // before it; the figures begin a quarter second into the motion.
  std::printf("  cycle time: %s (sampled)\n", ms(spreadOf(since(sampler.cycleMs, settled))).c_str());
  if (flight) {
    std::printf("  latency, game update to controller: not measured (fsimsim does not stamp its updates)\n");
  } else {
    std::printf("  latency, game update to controller: %s\n", latencyText(latency).c_str());
    if (sampler.snapshotsLost) std::printf("    (the engine's snapshots overflowed once: later cycles are not counted)\n");
    std::printf(overUdp ? "    (over this machine's network stack; a real network adds its own time)\n"
                        : "    (a pseudo-terminal adds next to no time: a real 250000-baud wire adds 1.44 ms for the "
                          "36-byte message)\n");
  }
  if (motionStart && !cpuAtEnd.empty()) {
    std::string line;
    for (const ThreadShare& t : threadShares(cpuAtStart, cpuAtEnd, t1)) {
      if (t.percent < 0.05) continue;
      char b[96];
      std::snprintf(b, sizeof b, "%s%s %.1f", line.empty() ? "" : ", ", t.name.c_str(), t.percent);
      line += b;
    }
    std::printf("  CPU per thread, %% of one core: %s\n", line.c_str());
  }
  std::printf("  telemetry interval: %s\n", ms(spreadOf(since(sampler.telemetryMs, settled))).c_str());
  if (flight) {
    std::printf("  profile switches: %zu\n", switches.size());
    bool flown = false;  // a switch to the ground profile is a landing once the aircraft has flown
    for (const Switch& w : switches) {
      const char* what = w.toAir ? "air (take-off)" : flown ? "ground (landing)" : "ground (on the ground at the start)";
      flown = flown || w.toAir;
      if (w.end < 0) {
        std::printf("    to %s at %.2f s, not finished\n", what, w.begin);
        continue;
      }
      std::printf("    to %s at %.2f s, cross-faded in %.2f s; the %s profile's channels %s at its end\n", what,
                  w.begin, w.end - w.begin, w.toAir ? "ground" : "air", w.otherAtZero ? "were 0" : "were NOT 0");
    }
  }
  std::printf("  plot: %s%s\n", o.plot.c_str(), plotted ? "" : " (could not be written)");

  bool switchesGood = true;
  for (const Switch& w : switches) switchesGood = switchesGood && (w.end < 0 || w.otherAtZero);
  const bool good = !timedOut && rigMessages > 0 && crcFailures == 0 && switchesGood;
  std::error_code ec;
  if (good) {
    fs::remove_all(dir, ec);
  } else {
    if (timedOut)
      std::printf("  the rig never moved within %.0f s: game %s, controller %s\n", kSetupSeconds,
                  gameName.empty() ? "not attached" : gameName.c_str(), o.controller->c_str());
    std::printf("  the demo's files are kept in %s\n", dir.string().c_str());
  }
  std::fflush(stdout);
  return good ? 0 : 1;
}

}  // namespace kinevra_host
