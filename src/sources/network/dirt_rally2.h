#pragma once
// DiRT Rally 2.0 (GameId 5): the game's custom UDP packet of 24 floats, sent
// to port 20778.
#include <cstddef>
#include <cstdint>

#include "sources/udp_reader.h"

namespace kinevra {

namespace dirt {
inline constexpr std::size_t kPacketSize = 96;
}  // namespace dirt

class DirtRally2Reader final : public UdpReader {
 public:
  explicit DirtRally2Reader(Clock& clock);

  // Only a datagram of exactly 96 bytes writes values; one of any other
  // length changes nothing but still counts as an update. False (nothing
  // written) when a value of the packet is not a number.
  bool convert(const std::uint8_t* datagram, std::size_t length, double* gameData) override;
};

}  // namespace kinevra
