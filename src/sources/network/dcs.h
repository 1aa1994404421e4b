#pragma once
// DCS (GameId 1): a line of numbers separated by single spaces, sent by the
// game's export script to port 4124.
#include <cstddef>
#include <cstdint>

#include "sources/udp_reader.h"

namespace kinevra {

namespace dcs {
// The text is copied into a buffer of this size, always NUL-terminated:
// longer datagrams are cut.
inline constexpr std::size_t kTextBuffer = 368;
inline constexpr int kNumbers = 25;
// Tokens shorter than this are not taken (the export script pads every number).
inline constexpr std::size_t kShortestToken = 6;

// Reads the datagram's 25 numbers into out: a token shorter than
// kShortestToken, or one that is not a finite number, reads 0 and so does
// every number after it. The count of numbers actually taken is returned.
int readNumbers(const std::uint8_t* datagram, std::size_t length, double (&out)[kNumbers]);
}  // namespace dcs

class DcsReader final : public UdpReader {
 public:
  explicit DcsReader(Clock& clock);

  // One datagram; false (nothing written) when a converted value is not a
  // finite number.
  bool convert(const std::uint8_t* datagram, std::size_t length, double* gameData) override;
};

}  // namespace kinevra
