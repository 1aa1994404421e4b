#pragma once
// X-Plane (GameId 0): "DATA" datagrams of numbered 36-byte records, sent to
// port 4321. The landing-gear record says whether the aircraft stands on the
// ground.
#include <cstddef>
#include <cstdint>

#include "sources/udp_reader.h"

namespace kinevra {

namespace xplane {
inline constexpr std::size_t kHeaderSize = 5;  // "DATA" and one byte
inline constexpr std::size_t kRecordSize = 36;  // index (first byte counts), eight floats
inline constexpr int kSpeeds = 3, kAttitude = 17, kAttitudeAlt = 127, kGear = 66, kMotion = 135;
}  // namespace xplane

class XPlaneReader final : public UdpReader {
 public:
  explicit XPlaneReader(Clock& clock);

  // One datagram: its records in order, a later one overwriting an earlier of
  // the same index. False (nothing written, ground state kept) when a value
  // is not a number.
  bool convert(const std::uint8_t* datagram, std::size_t length, double* gameData) override;
};

}  // namespace kinevra
