// kinevra-host's rig profiles: the parser's findings, and the shipped
// profiles applied to the library loaded by name, as the tool does.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "library_api.h"
#include "library_loader.h"
#include "rig_profile.h"
#include "rig_setup.h"

namespace {

using namespace kinevra_host;

ProfileParse parse(const std::string& text) { return parseRigProfile(text, "rig.profile"); }

// The formatted errors, one per line, for messages and matching.
std::string errorsOf(const ProfileParse& p) {
  std::string s;
  for (const auto& e : p.errors) s += e.format() + "\n";
  return s;
}

TEST(RigProfile, ReadsEverySection) {
  const ProfileParse p = parse(
      "# a rig\n"
      "[rig]\n"
      "name = Test seat   # trailing comment\n"
      "axes = roll, pitch heave\n"
      "pacing = Sleep\n"
      "[controller]\n"
      "port = com12\n"
      "[wind]\n"
      "port = COM7\n"
      "baud = 9600\n"
      "format = 8e2\n"
      "interval_ms = 20\n"
      "[motion_cancel]\n"
      "enabled = yes\n"
      "filter = 30\n"
      "gain = -1.5\n"
      "[input_limits]\n"
      "surge = -2.5 +3\n"
      "7 = -1,1\n"
      "[rig_limits]\n"
      "roll = -1 1\n"
      "[AIR]\n"
      "Surge = GAIN(EMALP(VALUE;20);1.5)\n"
      "  roll_tilt.active = off  \r\n"
      "belt_mix.surge = -1\n"
      "belt_mix.42 = 0.5\n"
      "[ground]\n"
      "9 = CROP(VALUE;-1;1)\n");
  ASSERT_TRUE(p.ok()) << errorsOf(p);
  const RigProfile& r = p.profile;
  EXPECT_EQ(r.name, "Test seat");
  ASSERT_TRUE(r.axes);
  EXPECT_EQ(*r.axes, (std::array<bool, 6>{false, false, true, false, true, true}));
  EXPECT_EQ(r.busyWaitPacing, false);
  EXPECT_EQ(r.controller.mode, ControllerSetting::Mode::Port);
  EXPECT_EQ(r.controller.port, 12);
  EXPECT_EQ(r.wind.port, "COM7");
  EXPECT_EQ(r.wind.baudRate, 9600);
  EXPECT_EQ(r.wind.format, "8E2");
  EXPECT_EQ(r.wind.intervalMs, 20);
  EXPECT_TRUE(r.motionCancel.enabled);
  EXPECT_EQ(r.motionCancel.filter, 30.0);
  EXPECT_EQ(r.motionCancel.gain, -1.5);
  ASSERT_EQ(r.inputLimits.size(), 2u);
  EXPECT_EQ(r.inputLimits[0].channel, 1);
  EXPECT_EQ(r.inputLimits[0].low, -2.5);
  EXPECT_EQ(r.inputLimits[0].high, 3.0);
  EXPECT_EQ(r.inputLimits[1].channel, 7);
  ASSERT_EQ(r.rigLimits.size(), 1u);
  EXPECT_EQ(r.rigLimits[0].channel, 4);
  ASSERT_EQ(r.filters.size(), 2u);
  EXPECT_EQ(r.filters[0].motion, Motion::Air);
  EXPECT_EQ(r.filters[0].channel, 1);
  EXPECT_EQ(r.filters[0].text, "GAIN(EMALP(VALUE;20);1.5)");
  EXPECT_EQ(r.filters[0].line, 23);
  EXPECT_EQ(r.filters[1].motion, Motion::Ground);
  EXPECT_EQ(r.filters[1].channel, 9);
  ASSERT_EQ(r.active.size(), 1u);
  EXPECT_EQ(r.active[0].channel, 6);
  EXPECT_FALSE(r.active[0].on);
  ASSERT_EQ(r.beltMix.size(), 2u);
  EXPECT_EQ(r.beltMix[0].index, 1);
  EXPECT_EQ(r.beltMix[0].weight, -1.0);
  EXPECT_EQ(r.beltMix[1].index, 42);
}

TEST(RigProfile, MalformedLinesNameFileLineAndProblem) {
  struct Case {
    const char* text;
    const char* error;  // the expected formatted error
  };
  const Case cases[] = {
      {"[rig]\nname\n", "rig.profile:2: expected 'key = value' or '[section]'"},
      {"name = x\n", "rig.profile:1: 'name' stands before any [section]"},
      {"[rig\n", "rig.profile:1: a section header is '[name]'"},
      {"[rigs]\naxes = roll\n", "rig.profile:1: unknown section [rigs]"},
      {"[rig]\n = 3\n", "rig.profile:2: a key is missing before '='"},
      {"[rig]\nname =   # nothing\n", "rig.profile:2: 'name' has no value"},
      {"[rig]\naxes = roll wobble\n", "rig.profile:2: 'wobble' is not a rig axis (sway surge heave yaw roll pitch)"},
      {"[rig]\naxes = roll roll\n", "rig.profile:2: axis 'roll' is listed twice"},
      {"[rig]\npacing = fast\n", "rig.profile:2: pacing is 'busy' or 'sleep', not 'fast'"},
      {"[controller]\nport = /dev/ttyUSB0\n",
       "rig.profile:2: the controller port is 'auto', 'none' or a port such as COM5, not '/dev/ttyUSB0'"},
      {"[controller]\nlink = wifi\n", "rig.profile:2: the controller link is 'serial' or 'udp', not 'wifi'"},
      {"[controller]\ngroup = 239.1..3\n",
       "rig.profile:2: the multicast group is a dotted IPv4 address such as 239.1.2.3, not '239.1..3'"},
      {"[controller]\nlisten_port = 70000\n", "rig.profile:2: listen_port is a port number 1..65535, not '70000'"},
      {"[wind]\nformat = 8N3\n",
       "rig.profile:2: format is data bits, parity and stop bits, such as 8N1 (parity N, E or O; stop 1 or 2)"},
      {"[wind]\ninterval_ms = 0\n",
       "rig.profile:2: interval_ms is a whole number of milliseconds from 1 to 60000"},
      {"[motion_cancel]\nfilter = 0.5\n", "rig.profile:2: filter is a number of cycles, at least 1"},
      {"[input_limits]\nsway = -1\n", "rig.profile:2: 'sway' takes two numbers: low high"},
      {"[input_limits]\nsway = -1 1e999\n", "rig.profile:2: 'sway' takes two numbers: low high"},
      {"[input_limits]\nsway = 2 1\n", "rig.profile:2: 'sway': low 2 is above high 1"},
      {"[rig_limits]\nroll = 0x1 2\n", "rig.profile:2: 'roll' takes two numbers: low high"},
      {"[air]\nsway.active = maybe\n", "rig.profile:2: 'sway.active' is yes or no"},
      {"[air]\nbelt_mix.surge = lots\n", "rig.profile:2: 'belt_mix.surge' is a number"},
      {"[air]\nsway = VALUE\n\n0 = VALUE\n", "rig.profile:4: '0' is set twice in [air] (first on line 2)"},
  };
  for (const Case& c : cases) {
    const ProfileParse p = parse(c.text);
    EXPECT_FALSE(p.ok()) << c.text;
    EXPECT_NE(errorsOf(p).find(std::string(c.error) + "\n"), std::string::npos)
        << "for:\n" << c.text << "got:\n" << errorsOf(p);
  }
  // The UDP link's settings.
  const ProfileParse udp =
      parse("[controller]\nlink = udp\nlisten_port = 6001\ngroup = 239.1.2.3\ngroup_port = 6000\n");
  ASSERT_TRUE(udp.ok()) << errorsOf(udp);
  EXPECT_EQ(udp.profile.controller.link, ControllerSetting::Link::Udp);
  EXPECT_EQ(udp.profile.controller.listenPort, 6001);
  EXPECT_EQ(udp.profile.controller.group, "239.1.2.3");
  EXPECT_EQ(udp.profile.controller.groupPort, 6000);
  const ProfileParse binary = parse(std::string("[rig]\nname = a\0b\n", 17));
  EXPECT_EQ(errorsOf(binary), "rig.profile:2: the line holds a NUL byte; a profile is a text file\n");
}

TEST(RigProfile, UnknownKeysAreErrorsThatListTheKnownOnes) {
  const ProfileParse p = parse(
      "[rig]\nnmae = seat\n"
      "[air]\nsurgee = VALUE\nbelt_mix.yaw = 1\nsway.on = yes\n"
      "[rig_limits]\nroll_tilt = -1 1\n"
      "[input_limits]\nroll_attitude = -1 1\n");
  EXPECT_EQ(p.errors.size(), 6u) << errorsOf(p);
  const std::string e = errorsOf(p);
  EXPECT_NE(e.find("rig.profile:2: unknown key 'nmae' in [rig] (known: name, axes, pacing)"), std::string::npos) << e;
  EXPECT_NE(e.find("rig.profile:4: unknown key 'surgee' in [air]"), std::string::npos) << e;
  EXPECT_NE(e.find("rig.profile:5: unknown key 'belt_mix.yaw' in [air]"), std::string::npos) << e;
  EXPECT_NE(e.find("rig.profile:6: unknown key 'sway.on' in [air]"), std::string::npos) << e;
  // Rig limits take the six axes only, input limits the eight clamped channels.
  EXPECT_NE(e.find("rig.profile:8: unknown key 'roll_tilt' in [rig_limits] (known: sway, surge, heave, yaw, roll, "
                   "pitch)"),
            std::string::npos)
      << e;
  EXPECT_NE(e.find("rig.profile:10: unknown key 'roll_attitude' in [input_limits]"), std::string::npos) << e;
}

TEST(RigProfile, WarnsAboutSettingsThatHoldTheRigStill) {
  const ProfileParse p = parse(
      "[rig]\naxes = roll pitch\n"
      "[input_limits]\nroll = -1 1\nroll_tilt = -1 1\npitch = -1 1\n"
      "[rig_limits]\nroll = -1 1\n"
      "[air]\npitch_tilt.active = no\n"
      "[ground]\nbelt = VALUE\nbelt_mix.surge = 1\n");
  ASSERT_TRUE(p.ok()) << errorsOf(p);
  std::string w;
  for (const auto& m : p.warnings) w += m.format() + "\n";
  EXPECT_NE(w.find("rig.profile: rig axis pitch has no [rig_limits] entry"), std::string::npos) << w;
  EXPECT_EQ(w.find("rig axis sway"), std::string::npos) << w;  // not one of this rig's axes
  EXPECT_EQ(w.find("channel pitch_tilt"), std::string::npos) << w;  // switched off
  EXPECT_NE(w.find("rig.profile:12: the engine never runs ground channel belt"), std::string::npos) << w;
  EXPECT_NE(w.find("rig.profile:13: the belt reads the air profile's mix only"), std::string::npos) << w;
  EXPECT_EQ(p.warnings.size(), 3u) << w;
}

TEST(RigProfile, UnreadableFileIsOneError) {
  const ProfileParse p = loadRigProfile("no/such/dir/rig.profile");
  ASSERT_EQ(p.errors.size(), 1u);
  EXPECT_EQ(p.errors[0].format(), "no/such/dir/rig.profile: cannot read the file");
}

// The library, loaded by name as kinevra-host loads it.
class ProfileOnLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lib.open()) << lib.error();
    api.load(lib);
  }
  LibraryLoader lib;
  LibraryApi api;
};

TEST_F(ProfileOnLibrary, TheLibraryTakesEverySettingOfEveryShippedProfile) {
  int profiles = 0;
  for (const auto& entry : std::filesystem::directory_iterator(KINEVRA_PROFILES_DIR)) {
    if (entry.path().extension() != ".profile") continue;
    ++profiles;
    const ProfileParse p = loadRigProfile(entry.path().string());
    ASSERT_TRUE(p.ok()) << errorsOf(p);
    EXPECT_TRUE(p.warnings.empty()) << p.warnings.front().format();
    // Every chain compiles in the library itself.
    ASSERT_NE(api.setcheckFilterstring, nullptr);
    for (const FilterSetting& f : p.profile.filters)
      EXPECT_TRUE(api.setcheckFilterstring(static_cast<int>(f.motion), f.channel, f.text.c_str()))
          << entry.path().string() << ":" << f.line << ": " << f.text;
    std::vector<ProfileMessage> errors, warnings;
    EXPECT_TRUE(configureEngine(api, p.profile, errors, warnings)) << (errors.empty() ? "" : errors.front().format());
  }
  EXPECT_GT(profiles, 0);
}

TEST_F(ProfileOnLibrary, RefusedFilterTextIsReportedWithProfileAndChannel) {
  const ProfileParse p = parse(
      "[air]\nsway = VALUE\nsurge = GAIN(VALUE;1e3)\n"
      "[ground]\nroll_attitude = EMALP(VALUE;0.5)\n");
  ASSERT_TRUE(p.ok()) << errorsOf(p);
  std::vector<ProfileMessage> errors, warnings;
  EXPECT_FALSE(configureEngine(api, p.profile, errors, warnings));
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].format(),
            "rig.profile:3: [air] surge (channel 1): the library refuses the filter text 'GAIN(VALUE;1e3)'");
  EXPECT_EQ(errors[1].format(),
            "rig.profile:5: [ground] roll_attitude (channel 8): the library refuses the filter text "
            "'EMALP(VALUE;0.5)'");
  // The engine keeps refusing output until a text compiles: leave it sound.
  EXPECT_TRUE(api.setcheckFilterstring(0, 1, "VALUE"));
}

}  // namespace
