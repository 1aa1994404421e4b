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

// A game update as gamesim stamped it (--stamps): the steady clock when it
// was published, and the key it is known by again in the library's
// telemetry: the car's three speeds (lateral, longitudinal, vertical) as
// floats, without sign.
using UpdateKey = std::array<float, 3>;
struct UpdateStamp {
  std::int64_t ns = 0;
  UpdateKey key{};
};
bool parseStampLine(std::string_view line, UpdateStamp& out);

// One motion cycle as the engine's snapshots tell it: the key of the
// telemetry it read and the six rig channels it computed.
struct CycleRecord {
  UpdateKey key{};
  std::array<float, 6> axes{};
};

// For each game update, the time from its stamp to the arrival at the
// controller of the first rig message computed from it, in ms. A message is
// known by its six axes (a cycle whose message the bridge never sent, or
// whose axes another cycle of other telemetry shares, gives nothing), the
// update by its key (an update whose key another update shares is left out:
// the telemetry cannot tell them apart). Frames in arrival order.
std::vector<double> updateLatencies(const std::vector<UpdateStamp>& stamps, const std::vector<CycleRecord>& cycles,
                                    const std::vector<ReceivedFrame>& received);

struct Spread {
  double median = 0;
  double p99 = 0;
  double worst = 0;
  std::size_t count = 0;
};
Spread spreadOf(std::vector<double> values);

}  // namespace kinevra_host
