#pragma once
// NoLimits 2's telemetry server on 127.0.0.1:15151: each update asks for the
// telemetry (request type 5) and converts the reply (type 6, 86 bytes). The
// coaster's attitude and rates come from its orientation quaternion, the
// accelerations from its g-forces, the speeds from a leaky integration of the
// accelerations.
#include <array>
#include <cstddef>
#include <cstdint>

#include "sources/tcp_reader.h"

namespace kinevra {

namespace nolimits2 {
inline constexpr std::size_t kReplySize = 86;
inline constexpr std::uint16_t kTelemetryReply = 6;
// Big-endian fields of the reply: "N" 0, type 1, request id 3, data size 7,
// the data from 9 (eight int32: state 9, frame number 13, ...; eleven
// floats: speed 41, unused 45 to 56, quaternion x 57, y 61, z 65, w 69,
// g-forces x 73, y 77, z 81), "L" 85.
inline constexpr std::size_t kState = 9, kFrame = 13, kSpeed = 41, kQuaternion = 57, kGForces = 73;
// The rates assume frames 10 ms apart; a rotation larger than a quarter turn
// per frame, or smaller than 1e-5 rad, leaves them as they were.
inline constexpr double kFrameSeconds = 0.01, kLargestTurn = 0.7853981633974483, kSmallestTurn = 0.00001;
// The speeds' integration step is the measured interval, at most 50 ms (five
// frames): a long gap between replies (a paused game, a stall) must not
// integrate into a jump of speed.
inline constexpr double kLongestStep = 0.05;
}  // namespace nolimits2

// What lives from one reply to the next, for the whole process (not reset
// when the game is attached again).
struct NoLimits2State {
  std::int32_t lastFrame = 0;
  // The previous orientation (w, x, y, z), unit length; none before the first.
  std::array<double, 4> previous{1.0, 0.0, 0.0, 0.0};
  bool hasPrevious = false;
  std::array<double, 3> rates{};         // smoothed, rad/s: pitch (x), yaw (y), roll (z)
  std::array<double, 3> accels{};        // low-passed: lateral, longitudinal, vertical
  std::array<double, 3> speeds{};        // decaying
  std::array<int, 3> quiet{};            // updates in a row with a small acceleration
};

// The newest whole telemetry reply among the received bytes into gameData
// (interval_ms already set); true when it carried a new frame. Nothing is
// written and the state stays as it was when no reply passes the checks, the
// frame is not new, or its values are not sound (not numbers, a quaternion of
// no length).
bool convertNoLimits2Reply(const std::uint8_t* bytes, std::size_t length, double* gameData, NoLimits2State& state);

class NoLimits2Reader final : public TcpReader {
 public:
  explicit NoLimits2Reader(Clock& clock);

  bool convert(const std::uint8_t* reply, std::size_t length, double* gameData) override {
    return convertNoLimits2Reply(reply, length, gameData, state);
  }

  NoLimits2State state;
};

}  // namespace kinevra
