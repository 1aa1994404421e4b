#pragma once
// gamesim --replay: a recording of kinevra-host --record played back as a
// game. The recorded telemetry is in the engine's own terms (the GameData
// conventions), as gamesim's drive is, so each row becomes the Motion that
// the game's publisher turns into that game's units, axes and signs; rows
// are played at their recorded times.
#include <array>
#include <fstream>
#include <string>
#include <vector>

#include "drive.h"
#include "recording_csv.h"

namespace gamesim {

// The recorded columns a Motion is made of, in the order of the fields below.
inline constexpr std::array<const char*, 17> kReplayColumns = {
    "lateral_speed",  "longitu_speed",  "vertica_speed", "lateral_accel", "longitu_accel", "vertica_accel",
    "yaw_position",   "yaw_speed",      "yaw_accel",     "pitch_position", "pitch_speed",  "pitch_accel",
    "roll_position",  "roll_speed",     "roll_accel",    "speed",         "rpm"};

inline Motion motionOfRow(const std::vector<double>& row, const std::array<int, kReplayColumns.size()>& at) {
  const auto v = [&](std::size_t i) { return row[static_cast<std::size_t>(at[i])]; };
  Motion m{};
  m.lateralSpeed = v(0);
  m.longitudinalSpeed = v(1);
  m.verticalSpeed = v(2);
  m.lateralAccel = v(3);
  m.longitudinalAccel = v(4);
  m.verticalAccel = v(5);
  m.yaw = v(6);
  m.yawRate = v(7);
  m.yawAccel = v(8);
  m.pitch = v(9);
  m.pitchRate = v(10);
  m.pitchAccel = v(11);
  m.roll = v(12);
  m.rollRate = v(13);
  m.rollAccel = v(14);
  m.speed = v(15);
  m.rpm = v(16);
  return m;
}

struct ReplayRow {
  double time;
  Motion motion;
};

// Reads the whole recording: the rows as Motions with their times. false
// with a message naming the line and column of the first bad row (or, with
// skipBad, after skipping bad rows: the count and the first in note).
inline bool loadReplay(const std::string& path, bool skipBad, std::vector<ReplayRow>& rows, std::string& error,
                       std::string& note) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  std::array<int, kReplayColumns.size()> at{};
  rows.clear();
  const auto result = kinevra_recording::scanRecording(
      in, skipBad,
      [&](const kinevra_recording::RecordingReader& r, kinevra_recording::CsvProblem& p) {
        for (std::size_t i = 0; i < kReplayColumns.size(); ++i) {
          at[i] = r.find(kReplayColumns[i]);
          if (at[i] < 0) {
            p = {1, 0, std::string("no column ") + kReplayColumns[i] + " (is this a kinevra-host recording?)"};
            return false;
          }
        }
        return true;
      },
      [&](const std::vector<double>& row) { rows.push_back({row[0], motionOfRow(row, at)}); });
  if (!result.ok) {
    error = path + ": " + result.problem.format() + "; nothing replayed";
    return false;
  }
  if (result.skipped > 0)
    note = path + ": skipped " + std::to_string(result.skipped) + " bad row" + (result.skipped == 1 ? "" : "s") +
           " (the first: " + result.firstSkipped.format() + ")";
  return true;
}

}  // namespace gamesim
