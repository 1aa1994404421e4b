#pragma once
// BeamNG.drive's motion-simulator datagrams ("BNG1") on UDP port 4444: every
// queued datagram is read; one that is not "BNG1" ends the conversion for
// the rest of that read.
#include <cstddef>
#include <cstdint>

#include "sources/udp_reader.h"

namespace kinevra {

namespace beamng {
// magic "BNG1" 0, position 4, velocity 16, acceleration (with gravity) 28,
// up vector 40, roll/pitch/yaw 52, their rates 64 and accelerations 76
// (floats, radians).
inline constexpr std::size_t kFieldsEnd = 88;
}  // namespace beamng

// One datagram of a read into gameData. converting is set at the start of
// each read and cleared by a datagram that does not begin with "BNG1"; true
// when values were written (a "BNG1" datagram too short for the fields, or
// with values that are not all numbers, writes nothing).
bool convertBeamngDatagram(const std::uint8_t* datagram, std::size_t length, double* gameData, bool& converting);

class BeamngReader final : public UdpReader {
 public:
  explicit BeamngReader(Clock& clock);

  void beginRead() override { converting = true; }
  bool convert(const std::uint8_t* datagram, std::size_t length, double* gameData) override {
    return convertBeamngDatagram(datagram, length, gameData, converting);
  }

  bool converting = true;
};

}  // namespace kinevra
