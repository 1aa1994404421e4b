#pragma once
// A rig profile: the text file that tells kinevra-host how to configure the
// engine for one rig (filter chains per motion profile and channel, limits,
// belt mix, axes, motion cancel, controller and fan ports). The format is
// described in docs/host-guide.md; profiles/sample-rig.profile is a
// commented example.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kinevra_host {

inline constexpr int kChannelCount = 23;
inline constexpr int kRigAxisCount = 6;     // channels 0..5: sway surge heave yaw roll pitch
inline constexpr int kInputLimitChannels = 8;  // channels 0..7 take input limits
inline constexpr int kBeltMixCount = 43;

// The motion profiles of the engine: 0 air (also every car game), 1 ground.
enum class Motion : int { Air = 0, Ground = 1 };
const char* motionName(Motion m);  // "air", "ground"

// Profile-file name of a cue channel ("sway", "roll_tilt", ...), or null.
const char* channelName(int channel);
// Channel number of a name or of a decimal number 0..22; -1 when neither.
int channelByName(std::string_view name);

struct FilterSetting {
  Motion motion;
  int channel;
  std::string text;
  int line;
};

struct ActiveSetting {
  Motion motion;
  int channel;
  bool on;
  int line;
};

struct BeltMixSetting {
  Motion motion;
  int index;
  double weight;
  int line;
};

struct LimitSetting {
  int channel;
  double low;
  double high;
  int line;
};

struct ControllerSetting {
  enum class Mode { None, Auto, Port };
  Mode mode = Mode::None;
  int port = 0;  // COMn, for Mode::Port
  int line = 0;
  // The link: the serial port (port above), or UDP (the library's listener
  // and multicast sender).
  enum class Link { Serial, Udp };
  Link link = Link::Serial;
  int linkLine = 0;
  std::optional<int> listenPort;    // the listener's port (the library's default: 53241)
  std::optional<std::string> group;  // the multicast group, dotted IPv4 (default 232.11.12.14)
  std::optional<int> groupPort;      // and its port (default 51324)
};

struct WindSetting {
  std::string port;  // "COM7"; empty: no fan controller
  int baudRate = 115200;
  std::string format = "8N1";
  int intervalMs = 15;
  int line = 0;
};

struct MotionCancelSetting {
  bool enabled = false;
  std::optional<double> filter;
  std::optional<double> gain;
  int line = 0;
};

struct RigProfile {
  std::string file;  // as given, for messages
  std::string name;
  // The rig's axes (0..5); when set, channels that feed a missing axis are
  // switched off in both motion profiles.
  std::optional<std::array<bool, kRigAxisCount>> axes;
  std::optional<bool> busyWaitPacing;
  std::vector<FilterSetting> filters;
  std::vector<ActiveSetting> active;
  std::vector<BeltMixSetting> beltMix;
  std::vector<LimitSetting> inputLimits;
  std::vector<LimitSetting> rigLimits;
  ControllerSetting controller;
  WindSetting wind;
  MotionCancelSetting motionCancel;
};

// One finding, located in the file: "FILE:LINE: TEXT" (line 0: no line).
struct ProfileMessage {
  std::string file;
  int line = 0;
  std::string text;
  std::string format() const;
};

struct ProfileParse {
  RigProfile profile;
  std::vector<ProfileMessage> errors;
  std::vector<ProfileMessage> warnings;  // legal but probably not meant
  bool ok() const { return errors.empty(); }
};

// Parses profile text; file names the text in messages.
ProfileParse parseRigProfile(std::string_view text, const std::string& file);
// Reads and parses a file; an unreadable file is one error.
ProfileParse loadRigProfile(const std::string& path);

// The channels a rig axis (0..5) drives: the axis itself, its tilt and
// attitude channels (roll, pitch) and its effect channel.
std::vector<int> channelsOfAxis(int axis);

}  // namespace kinevra_host
