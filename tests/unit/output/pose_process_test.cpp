// The pose block read by another program: vrsim, a VR motion-compensation
// tool's stand-in, opens the block by name and logs each pose it sees.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "output_fixture.h"
#include "temp_folder.h"

namespace kinevra {
namespace {

using test::OutputFixture;

#if defined(_WIN32)
constexpr const char* kVrsim = "vrsim.exe";
#else
constexpr const char* kVrsim = "vrsim";
#endif

// The poses vrsim has logged so far, oldest first.
std::vector<std::vector<double>> loggedPoses(const std::filesystem::path& log) {
  std::vector<std::vector<double>> poses;
  std::istringstream in(test::readFileBytes(log));
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("pose ", 0) != 0) continue;
    std::istringstream values(line.substr(5));
    std::vector<double> pose;
    double v = 0.0;
    while (values >> v) pose.push_back(v);
    if (pose.size() == 6) poses.push_back(pose);
  }
  return poses;
}

TEST_F(OutputFixture, AnotherProgramReadsThePose) {
  test::TempFolder dir;
  const auto log = dir.path() / "vrsim.log";
  test::ChildProcess vrsim;
  // Started before the block exists, as a tool waiting for the rig.
  ASSERT_TRUE(vrsim.start(test::programDir() / kVrsim,
                          {"--name", engine->poseMappingName, "--log", log.string(), "--interval", "1"}));

  start();
  engine->activateMotionCancel(true);
  ASSERT_TRUE(engine->setFilterMotionCancel(1.0));  // the pose is the cue itself
  ASSERT_TRUE(engine->setGainMotionCancel(0.5));
  input[gd::kLateralAccelG] = 0.75;
  input[gd::kPitchSpeed] = -3.0;
  auto seen = [&](double lateral, double pitch) {
    return test::eventually([&] {
      cycle();
      const auto poses = loggedPoses(log);
      return !poses.empty() && poses.back()[0] == lateral && poses.back()[5] == pitch;
    });
  };
  EXPECT_TRUE(seen(0.375, -1.5)) << test::readFileBytes(log);
  input[gd::kLateralAccelG] = -2.0;
  EXPECT_TRUE(seen(-1.0, -1.5)) << test::readFileBytes(log);

  // Off: the block keeps its last pose for the program that holds it.
  engine->activateMotionCancel(false);
  input[gd::kLateralAccelG] = 4.0;
  cycle(50);
  EXPECT_TRUE(vrsim.stop()) << "vrsim had to be forced to end";
  const auto poses = loggedPoses(log);
  ASSERT_FALSE(poses.empty());
  EXPECT_EQ(poses.back()[0], -1.0);
}

}  // namespace
}  // namespace kinevra
