#include "demo.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "child_process.h"
#include "rig_message.h"
#include "svg_plot.h"

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
// second: every rig message as it appears, the game's motion, cycle times.
class Sampler {
 public:
  static constexpr std::size_t kMaxRecords = 1'000'000;  // an hour-long demo stops recording, not the rig

  Sampler(const LibraryApi& api, const std::array<int, 6>& items) : api_(api), items_(items) {}
  ~Sampler() { stop(); }

  void start() {
    thread_ = std::thread([this] { loop(); });
  }
  void stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

  std::vector<SeenMessage> seen;
  std::vector<InputSample> inputs;
  struct Timed {
    std::int64_t ns;
    double ms;
  };
  std::vector<Timed> cycleMs;
  std::vector<Timed> telemetryMs;

 private:
  void loop() {
    const double* data = nullptr;
    int count = 0;
    if (api_.getGameData) api_.getGameData(&data, &count);
    SeenMessage last{};
    InputSample lastInput{0, {}};
    double lastCycle = -1, lastTelemetry = -1;
    while (!stop_) {
      const std::int64_t t = nowNs();
      if (api_.getOutputData && seen.size() < kMaxRecords) {
        SeenMessage m{t, {}};
        api_.getOutputData(m.bytes.data());
        if (m.bytes != last.bytes) {
          seen.push_back(m);
          last = m;
        }
      }
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
      std::this_thread::sleep_for(std::chrono::microseconds(250));
    }
  }

  const LibraryApi& api_;
  std::array<int, 6> items_;
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
  // default), under the game's executable name where the library looks for one.
  std::string exe, error;
  std::string gameProgram = toolProgram("gamesim");
  if (!gameExecutable(o.demoGame, dir, &exe, &error)) {
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
      std::fprintf(stderr, "kinevra-host: cannot copy gamesim to %s: %s\n", named.string().c_str(),
                   ec.message().c_str());
      return 1;
    }
    gameProgram = named.string();
  }
  const fs::path gameReady = dir / "game-ready";
  if (!game.start(gameProgram, {"--game", o.demoGame, "--seconds", childSeconds, "--ready", gameReady.string()},
                  (dir / "gamesim.txt").string()) ||
      !waitFor(gameReady, game, 60)) {
    std::fprintf(stderr, "kinevra-host: gamesim did not start its game\n%s", fileText(dir / "gamesim.txt").c_str());
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
  Sampler sampler(host.api(), items);
  host.start();
  sampler.start();

  // Run until the rig has moved for the demo's time; give up when the game
  // or the controller never comes.
  constexpr double kSetupSeconds = 90;
  std::int64_t motionStart = 0;
  std::string gameName;
  bool timedOut = false;
  host.run([&](HostStatus& s) {
    s.title = "demo: gamesim (" + o.demoGame + ", scripted) -> kinevra -> rigsim on " + s.controller;
    if (s.gameId >= 0) gameName = s.gameName;
    if (motionStart == 0 && s.ready && s.gameId >= 0) motionStart = nowNs();
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
  std::vector<SeenMessage> seen;
  for (const SeenMessage& m : sampler.seen)
    if (m.ns >= motionStart) seen.push_back(m);
  const Spread latency = spreadOf(deliveryLatencies(seen, received));

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
  const std::string title = "kinevra demo: " + (gameName.empty() ? std::string("no game") : gameName) +
                            " (gamesim) to the rig (rigsim on " + *o.controller + ")";
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
  const std::int64_t settled = motionStart + 250'000'000;
  std::printf("  cycle time: %s (sampled)\n", ms(spreadOf(since(sampler.cycleMs, settled))).c_str());
  std::printf("  latency, engine to controller: %s (%zu messages matched)\n", ms(latency).c_str(), latency.count);
  std::printf("  telemetry interval: %s\n", ms(spreadOf(since(sampler.telemetryMs, settled))).c_str());
  std::printf("  plot: %s%s\n", o.plot.c_str(), plotted ? "" : " (could not be written)");

  const bool good = !timedOut && rigMessages > 0 && crcFailures == 0;
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
