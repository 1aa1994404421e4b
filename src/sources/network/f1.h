#pragma once
// F1 23 and F1 24 (GameId 7): the game's binary packets, sent to port 20777.
// The motion packet (all cars) and the extended motion packet (the player's
// car) are read; every other packet is passed over.
#include <cstddef>
#include <cstdint>

#include "sources/udp_reader.h"

namespace kinevra {

namespace f1 {
inline constexpr std::size_t kHeaderSize = 29;
inline constexpr std::size_t kPlayerCarIndex = 27;  // header byte: the player's car
inline constexpr std::size_t kCars = 22;
inline constexpr std::size_t kCarMotionSize = 60;
inline constexpr std::size_t kMotionSize = kHeaderSize + kCars * kCarMotionSize;  // 1349
inline constexpr std::size_t kMotionExSize23 = 217, kMotionExSize24 = 237;
inline constexpr std::size_t kAngularVelocity = 173;  // x (pitch), y (yaw), z (roll), rad/s
inline constexpr std::uint16_t kFormat2023 = 2023, kFormat2024 = 2024;
}  // namespace f1

class F1Reader final : public UdpReader {
 public:
  explicit F1Reader(Clock& clock);

  // One packet, by its length and format; packets of other formats or
  // lengths change nothing. False (nothing written) when a value it carries
  // is not a number.
  bool convert(const std::uint8_t* datagram, std::size_t length, double* gameData) override;
};

}  // namespace kinevra
