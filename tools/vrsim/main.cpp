// vrsim: stands in for a VR motion-compensation tool. It opens the rig's
// pose block (as such a tool does, without creating it), reads the six
// doubles the library publishes there and logs each pose it sees change.
//
//   vrsim [--name NAME] [--log FILE] [--interval MS] [--seconds N]
//
//   --name      the block (default "Local\motionRigPose")
//   --log       one line per event: "open", "pose X Y Z YAW ROLL PITCH"
//               (the values as the block holds them, %.17g), "gone"
//   --interval  milliseconds between reads (default 2)
//   --seconds   how long to run (default 120; SIGTERM or SIGINT, on Windows
//               the starter's stop event, end it sooner)
//
// While the block does not exist vrsim keeps trying to open it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/shared_memory.h"
#include "stop_request.h"

namespace {

struct Options {
  std::string name = "Local\\motionRigPose";
  std::string log;
  int intervalMs = 2;
  double seconds = 120;
};

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i], v = argv[i + 1];
    if (a == "--name") o.name = v;
    else if (a == "--log") o.log = v;
    else if (a == "--interval") o.intervalMs = std::atoi(v.c_str());
    else if (a == "--seconds") o.seconds = std::strtod(v.c_str(), nullptr);
    else return false;
  }
  return argc % 2 == 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr, "usage: vrsim [--name NAME] [--log FILE] [--interval MS] [--seconds N]\n");
    return 2;
  }
  std::FILE* log = o.log.empty() ? stdout : std::fopen(o.log.c_str(), "a");
  if (!log) return 1;
  auto line = [&](const std::string& text) {
    std::fprintf(log, "%s\n", text.c_str());
    std::fflush(log);
  };

  constexpr std::size_t kPoseBytes = 6 * sizeof(double);
  kinevra::platform::SharedMemory block;
  const double* pose = nullptr;
  double last[6];
  bool seen = false;
  const auto end = std::chrono::steady_clock::now() +
                   std::chrono::milliseconds(static_cast<long long>(o.seconds * 1000));
  const kinevra_tools::StopRequest stop;
  while (std::chrono::steady_clock::now() < end && !stop.requested()) {
    if (!pose) {
      if (block.openExisting(o.name, false)) {
        const void* view = block.mapRead(512);
        if (view && block.viewSize() >= kPoseBytes) {
          pose = static_cast<const double*>(view);
          line("open");
        } else {
          block.close();
        }
      }
    }
    if (pose) {
      double now[6];
      std::memcpy(now, pose, sizeof now);
      if (!seen || std::memcmp(now, last, sizeof now) != 0) {
        char text[256];
        std::snprintf(text, sizeof text, "pose %.17g %.17g %.17g %.17g %.17g %.17g", now[0], now[1], now[2],
                      now[3], now[4], now[5]);
        line(text);
        std::memcpy(last, now, sizeof now);
        seen = true;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(o.intervalMs > 0 ? o.intervalMs : 1));
  }
  if (pose) line("gone");
  if (log != stdout) std::fclose(log);
  return 0;
}
