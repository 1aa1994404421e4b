#pragma once
// The engine's 36-byte rig message as the controller receives it, and the
// figures the demo draws from what the host saw and what the controller got.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kinevra_host {

inline constexpr std::size_t kRigMessageBytes = 36;
using RigMessageBytes = std::array<std::uint8_t, kRigMessageBytes>;

// 0xFC 0xFC, six little-endian floats (sway surge heave yaw roll pitch),
// belt and wind as big-endian unsigned 32-bit numbers, a two-byte trailer.
struct RigMessage {
  std::array<float, 6> axes{};
  std::uint32_t belt = 0;
  std::uint32_t wind = 0;
};

// False when the bytes do not start with 0xFC 0xFC or are too few.
bool decodeRigMessage(const std::uint8_t* bytes, std::size_t size, RigMessage& out);

// One line of rigsim's message log: "NS KIND STATUS HEX [decoded...]"; KIND
// is FC, F9, F8, FA, FB or junk, STATUS lfcr, crc-ok or crc-bad (junk: "-").
struct ReceivedFrame {
  std::int64_t ns = 0;  // steady clock of the receiving process
  std::string kind;
  std::string status;
  std::vector<std::uint8_t> bytes;
};
bool parseReceivedLine(std::string_view line, ReceivedFrame& out);

// A rig message as the host saw it appear (polling getOutputData).
struct SeenMessage {
  std::int64_t ns = 0;
  RigMessageBytes bytes{};
};

// For each message the host saw, the time until the controller received the
// same message (bytes 2..33; the trailer differs on the wire), in ms. Both
// lists are in time order; a message the controller never got is skipped.
std::vector<double> deliveryLatencies(const std::vector<SeenMessage>& seen,
                                      const std::vector<ReceivedFrame>& received);

struct Spread {
  double median = 0;
  double worst = 0;
  std::size_t count = 0;
};
Spread spreadOf(std::vector<double> values);

}  // namespace kinevra_host
