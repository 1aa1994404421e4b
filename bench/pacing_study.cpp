// How steady the engine's 2 ms cycle is and what its pacing costs, with a
// live game: gamesim plays Assetto Corsa in another process, the engine's
// game-source thread attaches and runs its motion cycle for a while, and every
// cycle's measured length and the thread's CPU time are recorded.
//
//   pacing_study [--seconds N] [--pacing busy|sleep]
//
// The pacing of busy-wait cycles is chosen by the environment: by default the
// precise sleep before the last stretch, KINEVRA_PACING=spin for the full spin
// (a 1 ms rest, then spinning). KINEVRA_REALTIME=0 turns real-time scheduling
// off. Prints mean, p50, p99, p99.9 and worst cycle length, the deviation
// from 2 ms at p99, and the thread's CPU share.
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "engine/gamesource.h"

namespace {

using kinevra::Gamesource;

double threadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

// The engine's own telemetry sources, with every motion cycle's start noted:
// the previous cycle's measured length, and the thread's CPU time.
class RecordingLink final : public kinevra::TelemetryLink {
 public:
  Gamesource* engine = nullptr;
  std::vector<double> cyclesMs;
  double cpuStart = -1.0, cpuEnd = 0.0;
  std::size_t wanted = 0;

  int detectGame() override { return engine->sources.detectGame(); }
  int attachGame() override { return engine->sources.attachGame(); }
  int readGameData() override {
    if (cyclesMs.size() < wanted) {
      if (cpuStart < 0.0)
        cpuStart = threadCpuSeconds();
      else
        cyclesMs.push_back(engine->timer.lastCycleMs());
      cpuEnd = threadCpuSeconds();
    }
    return engine->sources.readGameData();
  }
  int detachGame() override { return engine->sources.detachGame(); }
  void clearGameFlags() override { engine->sources.clearGameFlags(); }
  int gameId() const override { return engine->sources.gameId(); }
  int groundState() const override { return engine->sources.groundState(); }
};

double percentile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0.0;
  const auto i = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(sorted.size()))) - 1;
  return sorted[std::min(i, sorted.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 60.0;
  bool sleepPacing = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) seconds = std::atof(argv[++i]);
    else if (!std::strcmp(argv[i], "--pacing") && i + 1 < argc) sleepPacing = !std::strcmp(argv[++i], "sleep");
  }

  const auto dir = kinevra::test::scratchDir("pacing");
  const auto exe = dir / "acs.exe";
  std::filesystem::copy_file(kinevra::test::programDir() / "gamesim", exe);
  kinevra::test::ChildProcess game;
  if (!game.start(exe, {"--game", "ac", "--seconds", std::to_string(seconds + 60)})) {
    std::fprintf(stderr, "cannot start gamesim\n");
    return 1;
  }

  RecordingLink link;
  link.wanted = static_cast<std::size_t>(seconds * 500.0);
  link.cyclesMs.reserve(link.wanted);
  auto engine = std::make_unique<Gamesource>(kinevra::systemClock(), &link);
  link.engine = engine.get();
  engine->startThread();
  if (!kinevra::test::eventually([&] { return engine->attached.load(); }, std::chrono::seconds(60))) {
    std::fprintf(stderr, "the game was not attached\n");
    return 1;
  }
  if (sleepPacing) engine->timer.precise.store(0);
  engine->setMotionSystemReady(1);
  const auto limit = std::chrono::duration<double>(seconds * 3 + 30);
  kinevra::test::eventually([&] { return link.cyclesMs.size() >= link.wanted; },
                            std::chrono::duration_cast<std::chrono::milliseconds>(limit));
  engine->stopGameSource();
  game.stop();
  std::filesystem::remove_all(dir);

  std::vector<double> c = link.cyclesMs;
  if (c.empty()) {
    std::fprintf(stderr, "no cycles recorded\n");
    return 1;
  }
  double sum = 0.0;
  for (double v : c) sum += v;
  const double mean = sum / static_cast<double>(c.size());
  std::vector<double> dev;
  dev.reserve(c.size());
  for (double v : c) dev.push_back(std::fabs(v - 2.0) * 1000.0);
  std::sort(c.begin(), c.end());
  std::sort(dev.begin(), dev.end());
  const double wall = sum / 1000.0;
  const char* pacingEnv = std::getenv("KINEVRA_PACING");
  const char* rtEnv = std::getenv("KINEVRA_REALTIME");
  std::printf("pacing %s%s, real-time %s: %zu cycles (%.1f s)\n", sleepPacing ? "sleep" : "busy-wait",
              sleepPacing ? "" : (pacingEnv && !std::strcmp(pacingEnv, "spin") ? " (full spin)" : " (precise sleep)"),
              rtEnv && !std::strcmp(rtEnv, "0") ? "off" : "on", c.size(), wall);
  std::printf("  cycle ms: mean %.4f  p50 %.4f  p99 %.4f  p99.9 %.4f  worst %.4f\n", mean, percentile(c, 50),
              percentile(c, 99), percentile(c, 99.9), c.back());
  std::printf("  deviation from 2 ms, us: p50 %.1f  p99 %.1f  p99.9 %.1f\n", percentile(dev, 50), percentile(dev, 99),
              percentile(dev, 99.9));
  std::printf("  engine thread CPU: %.1f %% of one core\n", 100.0 * (link.cpuEnd - link.cpuStart) / wall);
  return 0;
}
