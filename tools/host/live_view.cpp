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
  std::string out = "\x1b[H";
  std::string head = "kinevra-host  " + s.title;
  std::string right = "running " + clock(s.runningSeconds);
  if (s.secondsLeft >= 0) right += format("  (%.0f s left)", s.secondsLeft);
  line(out, head + "   " + right);
  line(out, "");
  line(out, format("Game        %-20s id %-3d  telemetry every %6.2f ms   cycle %6.3f ms", s.gameName.c_str(),
                   s.gameId, s.telemetryMs, s.cycleMs));
  line(out, format("Motion      %-38s fade-in %3.0f %%", state(s).c_str(), s.fadePercent));
  line(out, format("Profile     %-6s  air %3.0f %%  ground %3.0f %%", profileName(s.activeProfile), s.airPercent,
                   s.groundPercent));
  line(out, "Telemetry   accel m/s2  lat " + value(s, 0, "%+8.3f") + "  lon " + value(s, 1, "%+8.3f") + "  vert " +
                value(s, 2, "%+8.3f"));
  line(out, "            rate deg/s  yaw " + value(s, 3, "%+8.2f") + "  roll " + value(s, 4, "%+8.2f") + "  pitch " +
                value(s, 5, "%+8.2f"));
  line(out, "            angle deg   roll " + value(s, 6, "%+7.2f") + "  pitch " + value(s, 7, "%+7.2f") +
                "  heading " + value(s, 8, "%+7.1f") + "  speed " + value(s, 9, "%.1f"));
  std::string cues = "Cues       ";
  for (int ch = 0; ch < 6; ++ch) cues += format(" %s %+.3f", channelName(ch), s.cue[static_cast<std::size_t>(ch)]);
  line(out, cues);
  line(out, format("            tilt roll %+.3f pitch %+.3f   attitude roll %+.3f pitch %+.3f   belt %.1f  wind %.1f",
                   s.cue[6], s.cue[7], s.cue[8], s.cue[9], s.cue[10], s.cue[21]));
  if (s.haveOutput) {
    std::string o = "Output     ";
    for (int ch = 0; ch < 6; ++ch)
      o += format(" %s %+.4f", channelName(ch), static_cast<double>(s.output.axes[static_cast<std::size_t>(ch)]));
    line(out, o);
    line(out, format("            belt %u  wind %u", s.output.belt, s.output.wind));
  } else {
    line(out, "Output      no message built yet");
    line(out, "");
  }
  if (s.controller == "none") {
    line(out, "Controller  none (no serial bridge)");
  } else {
    line(out, format("Controller  %-6s %-13s %-16s frames in %-8llu motion cycles %-9llu bridge %.2f ms",
                     s.controller.c_str(), !s.linkRunning ? "not started" : s.connected ? "connected" : "searching",
                     s.interfaceRunning ? "" : "(paused)", static_cast<unsigned long long>(s.framesIn),
                     static_cast<unsigned long long>(s.motionCycles), s.bridgeCycleMs));
  }
  line(out, "            last frame in: " + (s.lastFrame.empty() ? std::string("-") : s.lastFrame));
  line(out, "Fan         " + s.wind);
  line(out, "");
  line(out, "Library messages:");
  for (const std::string& m : s.messages) line(out, "  " + m.substr(0, 110));
  for (std::size_t i = s.messages.size(); i < 6; ++i) line(out, "");
  line(out, "");
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
