// kinevra-host: loads the Kinevra library by name, starts its engine and shows
// the engine's state once a second until Ctrl-C.
//
//   kinevra-host [--library PATH] [--seconds N] [--ready]
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "kinevra.h"
#include "library_loader.h"

namespace {

std::atomic<bool> g_stop{false};
extern "C" void onSignal(int) { g_stop.store(true); }

struct Api {
  decltype(&startGamesource_Thread) start = nullptr;
  decltype(&stopGamesource_Thread) stop = nullptr;
  decltype(&setMotionsystemready) ready = nullptr;
  decltype(&getGameID) gameId = nullptr;
  decltype(&getGameName) gameName = nullptr;
  decltype(&getMotionDataTimeFrame) cycleMs = nullptr;
  decltype(&getTransitionStatus) fade = nullptr;
  decltype(&getactiveProfil) profile = nullptr;

  bool load(const kinevra_host::LibraryLoader& lib) {
    start = lib.get<decltype(start)>("startGamesource_Thread");
    stop = lib.get<decltype(stop)>("stopGamesource_Thread");
    ready = lib.get<decltype(ready)>("setMotionsystemready");
    gameId = lib.get<decltype(gameId)>("getGameID");
    gameName = lib.get<decltype(gameName)>("getGameName");
    cycleMs = lib.get<decltype(cycleMs)>("getMotionDataTimeFrame");
    fade = lib.get<decltype(fade)>("getTransitionStatus");
    profile = lib.get<decltype(profile)>("getactiveProfil");
    return start && stop && ready && gameId && gameName && cycleMs && fade && profile;
  }
};

void usage() {
  std::fprintf(stderr,
               "usage: kinevra-host [--library PATH] [--seconds N] [--ready]\n"
               "  --library PATH  load the library from PATH instead of by its name\n"
               "  --seconds N     stop after N seconds (default: run until Ctrl-C)\n"
               "  --ready         declare the motion system ready once started\n");
}

}  // namespace

int main(int argc, char** argv) {
  const char* libraryPath = nullptr;
  int seconds = -1;
  bool declareReady = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--library") && i + 1 < argc) {
      libraryPath = argv[++i];
    } else if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) {
      seconds = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      usage();
      return 0;
    } else if (!std::strcmp(argv[i], "--ready")) {
      declareReady = true;
    } else {
      usage();
      return 2;
    }
  }

  kinevra_host::LibraryLoader lib;
  if (!lib.open(libraryPath)) {
    std::fprintf(stderr, "kinevra-host: cannot load %s: %s\n",
                 libraryPath ? libraryPath : kinevra_host::kLibraryName, lib.error().c_str());
    return 1;
  }
  Api api;
  if (!api.load(lib)) {
    std::fprintf(stderr, "kinevra-host: the library lacks an engine export\n");
    return 1;
  }

  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);

  api.start();
  if (declareReady) api.ready(1);
  std::printf("kinevra-host: engine started; Ctrl-C stops it\n");
  std::fflush(stdout);

  const auto begin = std::chrono::steady_clock::now();
  auto next = begin;
  while (!g_stop.load()) {
    char name[64] = {};
    api.gameName(name);
    const int activeProfile = api.profile();
    const int id = api.gameId();
    const char* state = id < 0 ? "searching" : declareReady ? "cycling" : "waiting";
    std::printf("%-9s  game: %-20s id: %3d  cycle: %7.3f ms  fade: %3.0f %%  profile: %s\n", state, name,
                id, api.cycleMs(), api.fade(),
                activeProfile == 0 ? "air" : activeProfile == 1 ? "ground" : "none");
    std::fflush(stdout);
    next += std::chrono::seconds(1);
    if (seconds >= 0 && next - begin > std::chrono::seconds(seconds)) break;
    while (!g_stop.load() && std::chrono::steady_clock::now() < next)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }

  api.stop();
  std::printf("kinevra-host: engine stopped\n");
  return 0;
}
