#pragma once
// The iRacing SDK's block: a header that describes everything else (the
// variables, the rotating data buffers, the length of one data line). The
// header is written by another program and is checked against the view's
// real size before anything it points at is read; no header, however
// malformed, leads a read outside the view or a copy past the line buffer.
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/byte_view.h"
#include "sources/game_values.h"

namespace kinevra {

namespace irsdk {
inline constexpr std::size_t kStatus = 4;            // int32, bit 0: connected
inline constexpr std::size_t kNumVars = 24;          // int32
inline constexpr std::size_t kVarHeaderOffset = 28;  // int32
inline constexpr std::size_t kNumBuf = 32;           // int32
inline constexpr std::size_t kBufLen = 36;           // int32, bytes of one data line
inline constexpr std::size_t kVarBuf = 48;           // per buffer: tick count, line offset (16 bytes)
inline constexpr std::size_t kVarBufSize = 16;
inline constexpr std::int32_t kMaxBuffers = 4;       // the header has room for this many
inline constexpr std::size_t kVarHeaderSize = 144;   // type +0, offset +4, name +16 (32 bytes)
inline constexpr std::size_t kVarType = 0, kVarOffset = 4, kVarName = 16, kNameLength = 32;
inline constexpr std::int32_t kFloatType = 4;
inline constexpr std::size_t kLineBufferSize = 10000;
inline constexpr std::size_t kPrefill = 1000;  // bytes of the copy buffer filled with 0xFF each update
}  // namespace irsdk

// The copy of one data line.
struct IrsdkLine {
  std::array<std::uint8_t, irsdk::kLineBufferSize> bytes{};
  std::size_t length = 0;  // bytes copied (at most the buffer's size)
  ByteView view() const { return ByteView(bytes.data(), length); }
};

enum class IrsdkStep {
  NotConnected,  // status bit 0 clear: the last tick is forgotten
  NoData,        // no usable buffer (a malformed header, a line outside the view)
  Copied,        // a newer line was copied; its tick is the last tick now
  Restarted,     // the newest tick fell below the last: taken as the last tick
  Unchanged,     // nothing newer
};

// One update's look at the data buffers: picks the buffer with the highest
// tick (the lower-numbered on a tie) and copies its line when that tick is
// greater than lastTick. A line longer than the copy buffer is copied as far
// as the buffer reaches. A buffer whose tick moves while its line is copied
// (the game was writing it) is copied again, a few times at most.
IrsdkStep irsdkStep(ByteView block, std::int32_t& lastTick, IrsdkLine& line);

// The offset inside a line of the float variable of that name, or -1 when no
// variable header in the view carries the name, the variable is not a float,
// or it does not lie wholly inside the first lineLength bytes.
std::int64_t irsdkFloatVariable(ByteView block, std::string_view name, std::size_t lineLength);

// Converts a copied line: the accelerations including gravity, the rates as
// the SDK gives them, the attitude in degrees. False, with nothing set, when
// one of the variables is missing.
bool convertIrsdkLine(ByteView block, const IrsdkLine& line, GameValues* out);

}  // namespace kinevra
