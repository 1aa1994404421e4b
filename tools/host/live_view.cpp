#include "live_view.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "rig_profile.h"

namespace kinevra_host {

namespace {

std::string format(const char* fmt, ...) {
  char buf[512];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, args);
  va_end(args);
  return buf;
}

std::string clock(double seconds) {
  const long s = static_cast<long>(seconds);
  return format("%02ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
}

const char* profileName(int p) { return p == 0 ? "air" : p == 1 ? "ground" : "none"; }

std::string state(const HostStatus& s) {
  if (s.gameId < 0) return "searching for a game";
  if (!s.ready) return "attached, not ready" + (s.readiness.empty() ? "" : " (" + s.readiness + ")");
  return "cycling";
}

std::string value(const HostStatus& s, std::size_t i, const char* fmt) {
  return s.haveKeyValue[i] ? format(fmt, s.keyValues[i]) : std::string("-");
}

// Clear to the end of the line before each line break, so that a shorter
// line leaves nothing of the previous frame behind.
void line(std::string& out, const std::string& text) {
  out += text;
  out += "\x1b[K\n";
}

}  // namespace

std::string renderScreen(const HostStatus& s) {
  // Everything fits 80 columns, the narrowest console the view meets.
  std::string out = "\x1b[H";
  line(out, ("kinevra-host  " + s.title).substr(0, 79));
  std::string time = "running " + clock(s.runningSeconds);
  if (s.secondsLeft >= 0) time += format(", %.0f s left", s.secondsLeft);
  line(out, "            " + time);
  line(out, format("Game        %s (id %d)", s.gameName.c_str(), s.gameId));
  line(out, format("            telemetry every %.2f ms   cycle %.3f ms", s.telemetryMs, s.cycleMs));
  line(out, format("Motion      %s, fade-in %.0f %%", state(s).c_str(), s.fadePercent));
  line(out, format("Profile     %s  (air %.0f %%, ground %.0f %%)", profileName(s.activeProfile), s.airPercent,
                   s.groundPercent));
  line(out, "Telemetry   accel m/s2  lat " + value(s, 0, "%+.3f") + "  lon " + value(s, 1, "%+.3f") + "  vert " +
                value(s, 2, "%+.3f"));
  line(out, "            rate deg/s  yaw " + value(s, 3, "%+.2f") + "  roll " + value(s, 4, "%+.2f") + "  pitch " +
                value(s, 5, "%+.2f"));
  line(out, "            angle deg   roll " + value(s, 6, "%+.2f") + "  pitch " + value(s, 7, "%+.2f") + "  heading " +
                value(s, 8, "%+.1f") + "  speed " + value(s, 9, "%.1f"));
  line(out, format("Cues        sway %+.3f  surge %+.3f  heave %+.3f  yaw %+.3f", s.cue[0], s.cue[1], s.cue[2],
                   s.cue[3]));
  line(out, format("            roll %+.3f  (tilt %+.3f, attitude %+.3f)", s.cue[4], s.cue[6], s.cue[8]));
  line(out, format("            pitch %+.3f  (tilt %+.3f, attitude %+.3f)", s.cue[5], s.cue[7], s.cue[9]));
  line(out, format("            belt %.1f  wind %.1f", s.cue[10], s.cue[21]));
  if (s.haveOutput) {
    const auto& a = s.output.axes;
    line(out, format("Output      sway %+.4f  surge %+.4f  heave %+.4f", static_cast<double>(a[0]),
                     static_cast<double>(a[1]), static_cast<double>(a[2])));
    line(out, format("            yaw %+.4f  roll %+.4f  pitch %+.4f  belt %u  wind %u", static_cast<double>(a[3]),
                     static_cast<double>(a[4]), static_cast<double>(a[5]), s.output.belt, s.output.wind));
  } else {
    line(out, "Output      no message built yet");
    line(out, "");
  }
  if (s.controller == "none") {
    line(out, "Controller  none (no serial bridge)");
    line(out, "");
  } else {
    line(out, format("Controller  %s  %s%s  frames in %llu  motion cycles %llu", s.controller.c_str(),
                     !s.linkRunning ? "not started" : s.connected ? "connected" : "searching",
                     s.interfaceRunning ? "" : " (paused)", static_cast<unsigned long long>(s.framesIn),
                     static_cast<unsigned long long>(s.motionCycles)));
    line(out, format("            bridge %.2f ms  last in: %s", s.bridgeCycleMs,
                     s.lastFrame.empty() ? "-" : s.lastFrame.c_str()));
  }
  line(out, "Fan         " + s.wind);
  line(out, "Library messages:");
  for (const std::string& m : s.messages) line(out, "  " + m.substr(0, 77));
  for (std::size_t i = s.messages.size(); i < 6; ++i) line(out, "");
  line(out, "Ctrl-C stops the rig.");
  out += "\x1b[J";
  return out;
}

std::string renderStatusLine(const HostStatus& s) {
  std::string l = format("%s %-9s game: %-20s id: %3d  cycle: %7.3f ms  fade: %3.0f %%  profile: %s",
                         clock(s.runningSeconds).c_str(),
                         s.gameId < 0 ? "searching" : s.ready ? "cycling" : "waiting", s.gameName.c_str(), s.gameId,
                         s.cycleMs, s.fadePercent, profileName(s.activeProfile));
  if (s.controller != "none")
    l += format("  controller: %s %s in: %llu", s.controller.c_str(), s.connected ? "connected" : "not connected",
                static_cast<unsigned long long>(s.framesIn));
  return l + "\n";
}

}  // namespace kinevra_host
