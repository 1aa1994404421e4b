// kinevra-host: loads the Kinevra library by name, as the rig's front end
// does, configures its engine from a rig profile, starts the game-source
// thread and the serial bridge, and shows what the library does, live, until
// Ctrl-C. --demo runs the whole chain with stand-ins for the game and the
// controller. kinevra-host --help lists the options.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "demo.h"
#include "filter_plot.h"
#include "host_session.h"

namespace {

extern "C" void onSignal(int) {
  // A second Ctrl-C while stopping hangs no longer.
  if (kinevra_host::stopRequested.exchange(true)) std::_Exit(130);
}

void usage(std::FILE* to) {
  std::fprintf(to,
               "usage: kinevra-host [--profile FILE] [options]\n"
               "       kinevra-host --check --profile FILE\n"
               "       kinevra-host --demo [--game NAME] [--controller udp] [--seconds N] [--plot FILE]\n"
               "       kinevra-host plot FILTER-TEXT... [--input KIND] [--seconds S] [-o FILE.svg]  (plot --help)\n"
               "\n"
               "  --profile FILE    configure the engine from a rig profile (see profiles/sample-rig.profile)\n"
               "  --check           check the profile and that the library takes every setting; start nothing\n"
               "  --controller PORT the controller's port, overriding the profile: COMn, auto or none; or udp for\n"
               "                    a controller on the network (the library's listener and multicast sender)\n"
               "  --wind PORT       the fan controller's port, overriding the profile: COMn or none\n"
               "  --hold            never declare the motion system ready (watch only; the rig stays still)\n"
               "  --seconds N       stop after N seconds (default: at Ctrl-C; the demo: 20 s of motion)\n"
               "  --plain           a status line per second instead of the live screen\n"
               "  --record FILE     write a CSV row per motion cycle: time, telemetry, cue channels, rig axes\n"
               "  --library PATH    load the library from PATH instead of by its name\n"
               "  --demo            play a scripted drive (gamesim) to a controller on a pseudo-terminal (rigsim),\n"
               "                    then summarise what the controller received and plot it; with --controller udp\n"
               "                    rigsim is a controller on the network (needs an active wired Ethernet adapter)\n"
               "  --game NAME       the game gamesim plays in the demo, by gamesim's name for it (default ac:\n"
               "                    Assetto Corsa; e.g. xplane, dcs, dirt, condor, f1, wrc, beamng, lfs, nolimits2,\n"
               "                    r3e, iracing); msfs2020 or msfs2024: fsimsim flies a circuit for the flight\n"
               "                    simulator, with take-off and landing\n"
               "  --plot FILE       the demo's plot (default kinevra-demo.svg)\n"
               "  --demo-ports A B  the demo over a real null-modem pair: the library opens COMA, rigsim COMB\n");
}

bool number(const char* text, double& out) {
  char* end = nullptr;
  out = std::strtod(text, &end);
  return end && end != text && *end == '\0' && out >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "plot") == 0) return kinevra_host::runPlot(argc - 1, argv + 1);
  kinevra_host::HostOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--help" || a == "-h") {
      usage(stdout);
      return 0;
    } else if (a == "--profile" && hasValue) {
      o.profile = argv[++i];
    } else if (a == "--check") {
      o.check = true;
    } else if (a == "--controller" && hasValue) {
      o.controller = argv[++i];
    } else if (a == "--wind" && hasValue) {
      o.wind = argv[++i];
    } else if (a == "--hold") {
      o.hold = true;
    } else if (a == "--seconds" && hasValue) {
      if (!number(argv[++i], o.seconds)) {
        std::fprintf(stderr, "kinevra-host: --seconds takes a number of seconds\n");
        return 2;
      }
    } else if (a == "--plain") {
      o.plain = true;
    } else if (a == "--record" && hasValue) {
      o.record = argv[++i];
    } else if (a == "--library" && hasValue) {
      o.library = argv[++i];
    } else if (a == "--demo") {
      o.demo = true;
    } else if (a == "--game" && hasValue) {
      o.demoGame = argv[++i];
    } else if (a == "--plot" && hasValue) {
      o.plot = argv[++i];
    } else if (a == "--demo-ports" && i + 2 < argc) {
      o.demoLibraryPort = std::atoi(argv[++i]);
      o.demoRigPort = std::atoi(argv[++i]);
      if (o.demoLibraryPort <= 0 || o.demoRigPort <= 0) {
        std::fprintf(stderr, "kinevra-host: --demo-ports takes two port numbers\n");
        return 2;
      }
    } else {
      std::fprintf(stderr, "kinevra-host: unknown option %s\n", a.c_str());
      usage(stderr);
      return 2;
    }
  }

  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);

  if (o.demo && !o.record.empty()) {
    // Both would drain the engine's snapshots, and each needs every cycle's.
    std::fprintf(stderr, "kinevra-host: --record does not go with --demo (record a run with a profile instead)\n");
    return 2;
  }
  if (o.demo) return kinevra_host::runDemo(o);

  kinevra_host::HostSession host(o);
  if (const int rc = host.prepare()) return rc;
  if (o.check) {
    std::printf("kinevra-host: %s: the library takes every setting\n",
                o.profile.empty() ? "(no profile)" : o.profile.c_str());
    return 0;
  }
  host.start();
  host.run();
  host.shutdown();
  return 0;
}
