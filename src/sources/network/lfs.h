#pragma once
// Live for Speed's OutSim packets ("LFST", 280 bytes) on UDP port 4123:
// queued packets are read until one is shorter than a packet.
#include <cstddef>
#include <cstdint>

#include "sources/udp_reader.h"

namespace kinevra {

namespace lfs {
inline constexpr std::size_t kPacketSize = 280;
// "LFST" 0, id 4, time 8, angular velocity 12 (x, y, z), heading 24, pitch
// 28, roll 32 (radians), acceleration 36 (x, y, z), velocity 48, position 60.
// The vectors are in world axes: x and y on the ground, z up; the heading
// turns anticlockwise seen from above, 0 along y.
inline constexpr std::size_t kAngularVelocity = 12, kHeading = 24, kPitch = 28, kRoll = 32, kAcceleration = 36;
}  // namespace lfs

// One packet into gameData, the vectors turned into the car's axes (right,
// forward, up) by its heading; false, with nothing written, when it is not
// an "LFST" packet of full length or its values are not all numbers.
bool convertLfsPacket(const std::uint8_t* packet, std::size_t length, double* gameData);

class LfsReader final : public UdpReader {
 public:
  explicit LfsReader(Clock& clock);

  bool convert(const std::uint8_t* packet, std::size_t length, double* gameData) override {
    return convertLfsPacket(packet, length, gameData);
  }
};

}  // namespace kinevra
