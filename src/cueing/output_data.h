#pragma once
// The rig's 36-byte output message and the arithmetic that fills it:
//
//   0  FC FC
//   2  channels 0..5 (lateral, longitudinal, vertical, yaw, roll, pitch),
//      single precision, little-endian, limited to the rig's limits
//   26 channel 10 (belt), unsigned 32-bit, most significant byte first
//   30 channel 21 (wind), likewise
//   34 0A 0D
//
// OutputData keeps the last message for host threads (getOutputData).
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace kinevra {

inline constexpr std::size_t kOutputDataBytes = 36;
inline constexpr int kRigChannels = 6;  // cue channels 0..5 go to the rig
inline constexpr std::size_t kRigChannelOffset = 2;
inline constexpr std::size_t kBeltOffset = 26;
inline constexpr std::size_t kWindOffset = 30;
inline constexpr std::size_t kTrailerOffset = 34;
inline constexpr std::uint8_t kOutputMarker = 0xFC;

using OutputMessage = std::array<std::uint8_t, kOutputDataBytes>;

namespace output {

// value, low and high in single precision; low when low > value, else high
// when high < value, else value. A NaN value stays NaN. With low above high,
// a value below low gives low and any other min(high, value).
float limitChannel(float value, float low, float high);

// A belt or wind channel as the unsigned 32-bit field: in single precision,
// below 0 is 0, from 4294967295 on is 0xFFFFFFFF, otherwise truncated toward
// zero; a NaN gives 0.
std::uint32_t unsignedField(double value);

void putFloatLittleEndian(std::uint8_t* at, float value);
void putUint32BigEndian(std::uint8_t* at, std::uint32_t value);
float floatLittleEndian(const std::uint8_t* at);
std::uint32_t uint32BigEndian(const std::uint8_t* at);

}  // namespace output

// The last message built, shared between the game-source thread (the only
// writer) and host threads that copy it out. A sequence count around each
// rewrite lets a reader take a whole message: it retries while a rewrite
// overlaps its copy (bounded, so a reader never spins for long; after the
// bound it keeps what it read). The writer never waits.
class OutputData {
 public:
  OutputData();
  void publish(const OutputMessage& message);
  void copyTo(std::uint8_t* out) const;
  OutputMessage load() const;

 private:
  static constexpr std::size_t kWords = kOutputDataBytes / 4;
  std::atomic<std::uint32_t> sequence_{0};
  std::array<std::atomic<std::uint32_t>, kWords> words_;
};

}  // namespace kinevra
