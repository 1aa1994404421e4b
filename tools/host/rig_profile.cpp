#include "rig_profile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

namespace kinevra_host {

namespace {

constexpr std::array<const char*, kChannelCount> kChannelNames = {
    "sway",          "surge",        "heave",       "yaw",          "roll",        "pitch",
    "roll_tilt",     "pitch_tilt",   "roll_attitude", "pitch_attitude", "belt",      "belt_surge",
    "belt_heave",    "belt_roll",    "belt_pitch",  "effect_sway",  "effect_surge", "effect_heave",
    "effect_yaw",    "effect_roll",  "effect_pitch", "wind",        "spare"};

// The belt sums the air profile's mix entries 1, 2, 4 and 5.
struct BeltName {
  const char* name;
  int index;
};
constexpr std::array<BeltName, 4> kBeltNames = {{{"surge", 1}, {"heave", 2}, {"roll", 4}, {"pitch", 5}}};

enum class Section { None, Unknown, Rig, Controller, Wind, MotionCancel, InputLimits, RigLimits, Air, Ground };

struct SectionName {
  const char* name;
  Section section;
};
constexpr std::array<SectionName, 8> kSections = {{{"rig", Section::Rig},
                                                   {"controller", Section::Controller},
                                                   {"wind", Section::Wind},
                                                   {"motion_cancel", Section::MotionCancel},
                                                   {"input_limits", Section::InputLimits},
                                                   {"rig_limits", Section::RigLimits},
                                                   {"air", Section::Air},
                                                   {"ground", Section::Ground}}};

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Splits at white space and commas.
std::vector<std::string_view> words(std::string_view s) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (std::isspace(static_cast<unsigned char>(s[i])) || s[i] == ',')) ++i;
    std::size_t j = i;
    while (j < s.size() && !std::isspace(static_cast<unsigned char>(s[j])) && s[j] != ',') ++j;
    if (j > i) out.push_back(s.substr(i, j - i));
    i = j;
  }
  return out;
}

// A whole token as a finite decimal number (an optional leading '+').
std::optional<double> number(std::string_view s) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<long long> integer(std::string_view s) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  long long v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

std::optional<bool> boolean(std::string_view s) {
  const std::string v = lower(s);
  if (v == "yes" || v == "on" || v == "true" || v == "1") return true;
  if (v == "no" || v == "off" || v == "false" || v == "0") return false;
  return std::nullopt;
}

// "COMn" in any case, n from 1 to 255; 0 when the text is no such name.
int comPortNumber(std::string_view s) {
  if (s.size() < 4 || lower(s.substr(0, 3)) != "com") return 0;
  const auto n = integer(s.substr(3));
  if (!n || *n < 1 || *n > 255 || !std::isdigit(static_cast<unsigned char>(s[3]))) return 0;
  return static_cast<int>(*n);
}

const char* sectionTitle(Section s) {
  for (const auto& n : kSections)
    if (n.section == s) return n.name;
  return "?";
}

class Parser {
 public:
  Parser(const std::string& file, ProfileParse& out) : file_(file), out_(out) { out_.profile.file = file; }

  void line(int number, std::string_view raw) {
    line_ = number;
    if (const auto hash = raw.find('#'); hash != std::string_view::npos) raw = raw.substr(0, hash);
    const std::string_view text = trim(raw);
    if (text.empty()) return;
    if (text.front() == '[') {
      if (text.back() != ']' || text.size() < 3) return error("a section header is '[name]'");
      const std::string name = lower(trim(text.substr(1, text.size() - 2)));
      section_ = Section::Unknown;
      for (const auto& s : kSections)
        if (name == s.name) section_ = s.section;
      if (section_ == Section::Unknown) error("unknown section [" + name + "]");
      return;
    }
    const auto eq = text.find('=');
    if (eq == std::string_view::npos) return error("expected 'key = value' or '[section]'");
    const std::string key = lower(trim(text.substr(0, eq)));
    const std::string_view value = trim(text.substr(eq + 1));
    if (key.empty()) return error("a key is missing before '='");
    if (section_ == Section::None) return error("'" + key + "' stands before any [section]");
    if (section_ == Section::Unknown) return;  // the section was reported
    if (value.empty()) return error("'" + key + "' has no value");
    switch (section_) {
      case Section::Rig: return rig(key, value);
      case Section::Controller: return controller(key, value);
      case Section::Wind: return wind(key, value);
      case Section::MotionCancel: return motionCancel(key, value);
      case Section::InputLimits: return limit(key, value, kInputLimitChannels, out_.profile.inputLimits);
      case Section::RigLimits: return limit(key, value, kRigAxisCount, out_.profile.rigLimits);
      case Section::Air: return motion(Motion::Air, key, value);
      case Section::Ground: return motion(Motion::Ground, key, value);
      default: return;
    }
  }

 private:
  void error(const std::string& text) { out_.errors.push_back({file_, line_, text}); }
  void warning(const std::string& text) { out_.warnings.push_back({file_, line_, text}); }

  // False (and reported) when the section already had this key.
  bool firstTime(const std::string& canonical, const std::string& shown) {
    const std::string id = std::string(sectionTitle(section_)) + "/" + canonical;
    const auto [it, fresh] = seen_.emplace(id, line_);
    if (!fresh)
      error("'" + shown + "' is set twice in [" + sectionTitle(section_) + "] (first on line " +
            std::to_string(it->second) + ")");
    return fresh;
  }

  void unknownKey(const std::string& key, const std::string& known) {
    error("unknown key '" + key + "' in [" + sectionTitle(section_) + "] (known: " + known + ")");
  }

  void rig(const std::string& key, std::string_view value) {
    RigProfile& p = out_.profile;
    if (key == "name") {
      if (firstTime(key, key)) p.name = std::string(value);
    } else if (key == "axes") {
      if (!firstTime(key, key)) return;
      std::array<bool, kRigAxisCount> axes{};
      const auto list = words(value);
      for (std::string_view w : list) {
        const int ch = channelByName(lower(w));
        if (ch < 0 || ch >= kRigAxisCount || !std::isalpha(static_cast<unsigned char>(w.front())))
          return error("'" + std::string(w) + "' is not a rig axis (sway surge heave yaw roll pitch)");
        if (axes[static_cast<std::size_t>(ch)]) return error("axis '" + std::string(w) + "' is listed twice");
        axes[static_cast<std::size_t>(ch)] = true;
      }
      p.axes = axes;
    } else if (key == "pacing") {
      if (!firstTime(key, key)) return;
      const std::string v = lower(value);
      if (v == "busy") p.busyWaitPacing = true;
      else if (v == "sleep") p.busyWaitPacing = false;
      else error("pacing is 'busy' or 'sleep', not '" + std::string(value) + "'");
    } else {
      unknownKey(key, "name, axes, pacing");
    }
  }

  void controller(const std::string& key, std::string_view value) {
    ControllerSetting& c = out_.profile.controller;
    if (key == "link") {
      if (!firstTime(key, key)) return;
      c.linkLine = line_;
      const std::string v = lower(value);
      if (v == "serial") c.link = ControllerSetting::Link::Serial;
      else if (v == "udp") c.link = ControllerSetting::Link::Udp;
      else error("the controller link is 'serial' or 'udp', not '" + std::string(value) + "'");
      return;
    }
    if (key == "listen_port" || key == "group_port") {
      if (!firstTime(key, key)) return;
      int n = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
      if (ec != std::errc() || end != value.data() + value.size() || n < 1 || n > 65535)
        return error(key + " is a port number 1..65535, not '" + std::string(value) + "'");
      (key == "listen_port" ? c.listenPort : c.groupPort) = n;
      return;
    }
    if (key == "group") {
      if (!firstTime(key, key)) return;
      // Four numbers 0..255; the library checks the text again itself.
      int parts = 0;
      bool ok = value.size() <= 19;
      for (std::string_view rest = value; ok;) {
        const std::size_t dot = rest.find('.');
        const std::string_view part = rest.substr(0, dot);
        int v = 0;
        const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), v);
        ok = !part.empty() && ec == std::errc() && end == part.data() + part.size() && v >= 0 && v <= 255 &&
             part.find_first_not_of("0123456789") == std::string_view::npos;
        ++parts;
        if (dot == std::string_view::npos) break;
        rest.remove_prefix(dot + 1);
      }
      if (!ok || parts != 4) return error("the multicast group is a dotted IPv4 address such as 239.1.2.3, not '" +
                                          std::string(value) + "'");
      c.group = std::string(value);
      return;
    }
    if (key != "port") return unknownKey(key, "port, link, listen_port, group, group_port");
    if (!firstTime(key, key)) return;
    c.line = line_;
    const std::string v = lower(value);
    if (v == "none") {
      c.mode = ControllerSetting::Mode::None;
    } else if (v == "auto") {
      c.mode = ControllerSetting::Mode::Auto;
    } else if (const int n = comPortNumber(value)) {
      c.mode = ControllerSetting::Mode::Port;
      c.port = n;
    } else {
      error("the controller port is 'auto', 'none' or a port such as COM5, not '" + std::string(value) + "'");
    }
  }

  void wind(const std::string& key, std::string_view value) {
    WindSetting& w = out_.profile.wind;
    if (key == "port") {
      if (!firstTime(key, key)) return;
      w.line = line_;
      if (lower(value) == "none") {
        w.port.clear();
      } else if (const int n = comPortNumber(value)) {
        w.port = "COM" + std::to_string(n);
      } else {
        error("the wind port is 'none' or a port such as COM7, not '" + std::string(value) + "'");
      }
    } else if (key == "baud") {
      if (!firstTime(key, key)) return;
      const auto n = integer(value);
      if (!n || *n < 50 || *n > 4000000) return error("baud is a whole number from 50 to 4000000");
      w.baudRate = static_cast<int>(*n);
    } else if (key == "format") {
      if (!firstTime(key, key)) return;
      const std::string f(value);
      const bool ok = f.size() == 3 && f[0] >= '5' && f[0] <= '8' &&
                      std::string_view("NEOneo").find(f[1]) != std::string_view::npos && (f[2] == '1' || f[2] == '2');
      if (!ok) return error("format is data bits, parity and stop bits, such as 8N1 (parity N, E or O; stop 1 or 2)");
      w.format = f;
      w.format[1] = static_cast<char>(std::toupper(static_cast<unsigned char>(w.format[1])));
    } else if (key == "interval_ms") {
      if (!firstTime(key, key)) return;
      const auto n = integer(value);
      if (!n || *n < 1 || *n > 60000) return error("interval_ms is a whole number of milliseconds from 1 to 60000");
      w.intervalMs = static_cast<int>(*n);
    } else {
      unknownKey(key, "port, baud, format, interval_ms");
    }
  }

  void motionCancel(const std::string& key, std::string_view value) {
    MotionCancelSetting& m = out_.profile.motionCancel;
    if (key == "enabled") {
      if (!firstTime(key, key)) return;
      const auto b = boolean(value);
      if (!b) return error("enabled is yes or no");
      m.enabled = *b;
      m.line = line_;
    } else if (key == "filter") {
      if (!firstTime(key, key)) return;
      const auto v = number(value);
      // The pose moves by 1/filter of the difference each cycle.
      if (!v || *v < 1) return error("filter is a number of cycles, at least 1");
      m.filter = v;
    } else if (key == "gain") {
      if (!firstTime(key, key)) return;
      const auto v = number(value);
      if (!v) return error("gain is a number");
      m.gain = v;
    } else {
      unknownKey(key, "enabled, filter, gain");
    }
  }

  void limit(const std::string& key, std::string_view value, int channels, std::vector<LimitSetting>& into) {
    const int ch = channelByName(key);
    if (ch < 0 || ch >= channels) {
      std::string known;
      for (int i = 0; i < channels; ++i) known += std::string(i ? ", " : "") + kChannelNames[static_cast<std::size_t>(i)];
      return unknownKey(key, known);
    }
    if (!firstTime(std::to_string(ch), key)) return;
    const auto w = words(value);
    const auto low = w.size() == 2 ? number(w[0]) : std::nullopt;
    const auto high = w.size() == 2 ? number(w[1]) : std::nullopt;
    if (!low || !high) return error("'" + key + "' takes two numbers: low high");
    if (*low > *high) return error("'" + key + "': low " + std::string(w[0]) + " is above high " + std::string(w[1]));
    into.push_back({ch, *low, *high, line_});
  }

  void motion(Motion m, const std::string& key, std::string_view value) {
    RigProfile& p = out_.profile;
    const std::string_view k = key;
    if (k.substr(0, 9) == "belt_mix.") {
      const std::string which(k.substr(9));
      int index = -1;
      for (const auto& b : kBeltNames)
        if (which == b.name) index = b.index;
      if (index < 0) {
        const auto n = integer(which);
        if (n && *n >= 0 && *n < kBeltMixCount) index = static_cast<int>(*n);
      }
      if (index < 0) return unknownKey(key, "belt_mix.surge, .heave, .roll, .pitch or .0 to .42");
      if (!firstTime("belt_mix." + std::to_string(index), key)) return;
      const auto v = number(value);
      if (!v) return error("'" + key + "' is a number");
      if (m == Motion::Ground) warning("the belt reads the air profile's mix only; '" + key + "' has no effect");
      p.beltMix.push_back({m, index, *v, line_});
      return;
    }
    const bool isActive = k.size() > 7 && k.substr(k.size() - 7) == ".active";
    const std::string name(isActive ? k.substr(0, k.size() - 7) : k);
    const int ch = channelByName(name);
    if (ch < 0) return unknownKey(key, "a channel name such as sway or roll_tilt, CHANNEL.active, belt_mix.NAME");
    if (isActive) {
      if (!firstTime(std::to_string(ch) + ".active", key)) return;
      const auto b = boolean(value);
      if (!b) return error("'" + key + "' is yes or no");
      p.active.push_back({m, ch, *b, line_});
      return;
    }
    if (!firstTime(std::to_string(ch), key)) return;
    if ((m == Motion::Ground && ch > 9) || ch == 22)
      warning(std::string("the engine never runs ") + motionName(m) + " channel " + kChannelNames[static_cast<std::size_t>(ch)] +
              "; its chain has no effect");
    p.filters.push_back({m, ch, std::string(value), line_});
  }

  const std::string& file_;
  ProfileParse& out_;
  Section section_ = Section::None;
  int line_ = 0;
  std::map<std::string, int> seen_;
};

// Findings about the whole profile, after every line was read.
void review(ProfileParse& out) {
  const RigProfile& p = out.profile;
  std::array<bool, kRigAxisCount> axes{};
  axes.fill(true);
  if (p.axes) axes = *p.axes;
  auto has = [](const std::vector<LimitSetting>& v, int ch) {
    return std::any_of(v.begin(), v.end(), [ch](const LimitSetting& l) { return l.channel == ch; });
  };
  auto switchedOff = [&p](int ch) {
    return std::any_of(p.active.begin(), p.active.end(),
                       [ch](const ActiveSetting& a) { return a.motion == Motion::Air && a.channel == ch && !a.on; });
  };
  for (int axis = 0; axis < kRigAxisCount; ++axis) {
    if (!axes[static_cast<std::size_t>(axis)]) continue;
    if (!has(p.rigLimits, axis))
      out.warnings.push_back({p.file, 0, std::string("rig axis ") + kChannelNames[static_cast<std::size_t>(axis)] +
                                             " has no [rig_limits] entry: the engine holds it at 0"});
  }
  for (int ch = 0; ch < kInputLimitChannels; ++ch) {
    const int axis = ch < kRigAxisCount ? ch : ch == 6 ? 4 : 5;
    if (!axes[static_cast<std::size_t>(axis)] || switchedOff(ch) || has(p.inputLimits, ch)) continue;
    out.warnings.push_back({p.file, 0, std::string("channel ") + kChannelNames[static_cast<std::size_t>(ch)] +
                                           " has no [input_limits] entry: its input is held at 0"});
  }
}

}  // namespace

const char* motionName(Motion m) { return m == Motion::Air ? "air" : "ground"; }

const char* channelName(int channel) {
  return channel >= 0 && channel < kChannelCount ? kChannelNames[static_cast<std::size_t>(channel)] : nullptr;
}

int channelByName(std::string_view name) {
  for (int i = 0; i < kChannelCount; ++i)
    if (name == kChannelNames[static_cast<std::size_t>(i)]) return i;
  const auto n = integer(name);
  if (n && *n >= 0 && *n < kChannelCount && !name.empty() && std::isdigit(static_cast<unsigned char>(name.front())))
    return static_cast<int>(*n);
  return -1;
}

std::vector<int> channelsOfAxis(int axis) {
  switch (axis) {
    case 0: return {0, 15};
    case 1: return {1, 16};
    case 2: return {2, 17};
    case 3: return {3, 18};
    case 4: return {4, 6, 8, 19};
    case 5: return {5, 7, 9, 20};
    default: return {};
  }
}

std::string ProfileMessage::format() const {
  return line > 0 ? file + ":" + std::to_string(line) + ": " + text : file + ": " + text;
}

ProfileParse parseRigProfile(std::string_view text, const std::string& file) {
  ProfileParse out;
  Parser parser(file, out);
  int number = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    std::string_view l = text.substr(start, end - start);
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    ++number;
    if (l.find('\0') != std::string_view::npos) {
      out.errors.push_back({file, number, "the line holds a NUL byte; a profile is a text file"});
    } else {
      parser.line(number, l);
    }
    if (end == text.size()) break;
    start = end + 1;
  }
  if (out.ok()) review(out);
  return out;
}

ProfileParse loadRigProfile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ProfileParse out;
    out.profile.file = path;
    out.errors.push_back({path, 0, "cannot read the file"});
    return out;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return parseRigProfile(text.str(), path);
}

}  // namespace kinevra_host
