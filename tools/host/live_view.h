#pragma once
// What kinevra-host shows: one snapshot of the engine and the link, drawn
// as a full screen (about ten times a second) or as one status line.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "rig_message.h"

namespace kinevra_host {

// The telemetry values the view shows, by their names in the library's
// channel-name table.
struct KeyValue {
  const char* name;   // e.g. "lateral_accel_g"
  const char* label;  // e.g. "lat"
};
inline constexpr std::array<KeyValue, 10> kKeyValues = {{{"lateral_accel_g", "lat"},
                                                         {"longitu_accel_g", "lon"},
                                                         {"vertica_accel_g", "vert"},
                                                         {"yaw_speed", "yaw"},
                                                         {"roll_speed", "roll"},
                                                         {"pitch_speed", "pitch"},
                                                         {"roll_position", "roll"},
                                                         {"pitch_position", "pitch"},
                                                         {"yaw_position", "heading"},
                                                         {"speed", "speed"}}};

struct HostStatus {
  std::string title;        // profile or mode
  double runningSeconds = 0;
  double secondsLeft = -1;  // -1: until Ctrl-C
  // Engine
  int gameId = -1;
  std::string gameName;
  double telemetryMs = 0;
  double cycleMs = 0;
  bool ready = false;
  std::string readiness;  // why not ready, when not
  int activeProfile = 0;
  double airPercent = 0, groundPercent = 0, fadePercent = 0;
  std::array<double, kKeyValues.size()> keyValues{};
  std::array<bool, kKeyValues.size()> haveKeyValue{};
  std::array<double, 23> cue{};
  bool haveOutput = false;
  RigMessage output;
  // Controller link
  std::string controller;  // "COM5", "auto", "none"
  bool linkRunning = false;
  bool connected = false;
  bool interfaceRunning = true;
  std::uint64_t framesIn = 0;
  std::string lastFrame;      // hex of the last controller frame
  std::uint64_t motionCycles = 0;  // cycles counted from the engine's snapshots
  double bridgeCycleMs = 0;
  // Fan
  std::string wind;  // "COM7 115200 8N1 every 15 ms" or "none"
  // Whatever else the process printed (the library's diagnostics).
  std::vector<std::string> messages;
};

// The full screen, starting with the cursor-home and clear sequences.
std::string renderScreen(const HostStatus& s);
// One line for logs and pipes.
std::string renderStatusLine(const HostStatus& s);

}  // namespace kinevra_host
