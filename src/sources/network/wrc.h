#pragma once
// EA Sports WRC: one datagram per update on UDP port 20788, in the game's
// "wrc" layout. The attitude comes from the car's left, forward and up
// directions; the rates are differences with the previous update.
#include <array>
#include <cstddef>
#include <cstdint>

#include "sources/telemetry_frame.h"
#include "sources/udp_reader.h"

namespace kinevra {

namespace wrc {
// Byte offsets of the floats read (world axes: x north, y up, z east).
inline constexpr std::size_t kVelocity = 61;      // x, y, z
inline constexpr std::size_t kAcceleration = 73;  // x, y, z
inline constexpr std::size_t kLeft = 85;          // the car's left direction
inline constexpr std::size_t kForward = 97;       // its forward direction
inline constexpr std::size_t kUp = 109;           // its up direction
inline constexpr std::size_t kFieldsEnd = 121;
// The rates' divisor: 0.02 s after an interval longer than 0.03 s, and never
// below 1 ms.
inline constexpr double kLongInterval = 0.03, kLongIntervalDivisor = 0.02, kShortestDivisor = 0.001;
}  // namespace wrc

// What a WRC update keeps for the next: the record as it stood after it.
struct WrcHistory {
  std::array<double, kGameDataCount> previous{};
  bool hasPrevious = false;
};

// One datagram into gameData (interval_ms already set); false, with nothing
// written, when it is too short for the fields or its values are not sound.
bool convertWrcDatagram(const std::uint8_t* datagram, std::size_t length, double* gameData, WrcHistory& history);

// A difference of two angles in degrees, taken the short way round: within
// [-180, 180].
double wrapDegrees(double difference);

class WrcReader final : public UdpReader {
 public:
  explicit WrcReader(Clock& clock);

  // A new session has no previous update to take rates from.
  int attach() override;
  bool convert(const std::uint8_t* datagram, std::size_t length, double* gameData) override {
    return convertWrcDatagram(datagram, length, gameData, history);
  }

  WrcHistory history;
};

}  // namespace kinevra
