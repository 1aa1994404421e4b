#include "sources/irsdk_format.h"

#include <cstring>

#include "sources/gravity.h"

namespace kinevra {

namespace {

struct Buffer {
  int index = -1;
  std::int32_t tick = 0;
  std::int32_t lineOffset = 0;
};

// The header's buffer table, when the view holds the header and every entry
// the header claims.
bool bufferCount(ByteView block, std::int32_t* count) {
  std::int32_t n = 0;
  if (!block.read(irsdk::kNumBuf, &n) || n < 1 || n > irsdk::kMaxBuffers) return false;
  if (!block.contains(irsdk::kVarBuf, static_cast<std::size_t>(n) * irsdk::kVarBufSize)) return false;
  *count = n;
  return true;
}

Buffer newestBuffer(ByteView block, std::int32_t count) {
  Buffer best;
  for (std::int32_t i = 0; i < count; ++i) {
    const std::size_t at = irsdk::kVarBuf + static_cast<std::size_t>(i) * irsdk::kVarBufSize;
    const auto tick = block.get<std::int32_t>(at);
    if (best.index < 0 || tick > best.tick) best = {i, tick, block.get<std::int32_t>(at + 4)};
  }
  return best;
}

std::int32_t tickOf(ByteView block, int index) {
  return block.get<std::int32_t>(irsdk::kVarBuf + static_cast<std::size_t>(index) * irsdk::kVarBufSize);
}

// Copies the buffer's line; false when the line does not lie in the view.
bool copyLine(ByteView block, const Buffer& b, std::int32_t lineLength, IrsdkLine& line) {
  if (lineLength <= 0 || b.lineOffset < 0) return false;
  const auto offset = static_cast<std::size_t>(b.lineOffset);
  const auto length = static_cast<std::size_t>(lineLength);
  if (!block.contains(offset, length)) return false;
  const std::size_t n = length < line.bytes.size() ? length : line.bytes.size();
  std::memcpy(line.bytes.data(), block.data() + offset, n);
  line.length = n;
  return true;
}

constexpr int kCopyAttempts = 3;

}  // namespace

IrsdkStep irsdkStep(ByteView block, std::int32_t& lastTick, IrsdkLine& line) {
  std::int32_t status = 0;
  if (!block.read(irsdk::kStatus, &status) || (status & 1) == 0) {
    lastTick = INT_MAX;
    return IrsdkStep::NotConnected;
  }
  std::int32_t count = 0;
  if (!bufferCount(block, &count)) return IrsdkStep::NoData;
  const std::int32_t lineLength = block.get<std::int32_t>(irsdk::kBufLen);
  for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
    const Buffer b = newestBuffer(block, count);
    if (b.tick < lastTick) {
      lastTick = b.tick;
      return IrsdkStep::Restarted;
    }
    if (b.tick == lastTick) return IrsdkStep::Unchanged;
    if (!copyLine(block, b, lineLength, line)) return IrsdkStep::NoData;
    if (tickOf(block, b.index) == b.tick) {
      lastTick = b.tick;
      return IrsdkStep::Copied;
    }
    // The game rewrote that buffer while it was copied: look again.
  }
  return IrsdkStep::NoData;
}

std::int64_t irsdkFloatVariable(ByteView block, std::string_view name, std::size_t lineLength) {
  if (name.empty() || name.size() > irsdk::kNameLength) return -1;
  const std::int32_t count = block.get<std::int32_t>(irsdk::kNumVars);
  const std::int32_t first = block.get<std::int32_t>(irsdk::kVarHeaderOffset, -1);
  if (count <= 0 || first < 0) return -1;
  for (std::int32_t i = 0; i < count; ++i) {
    const std::size_t at = static_cast<std::size_t>(first) + static_cast<std::size_t>(i) * irsdk::kVarHeaderSize;
    // Headers lie one after another: the first outside the view ends the list.
    if (!block.contains(at, irsdk::kVarHeaderSize)) return -1;
    const std::uint8_t* text = block.data() + at + irsdk::kVarName;
    if (std::memcmp(text, name.data(), name.size()) != 0) continue;
    if (name.size() < irsdk::kNameLength && text[name.size()] != 0) continue;
    // The first header of that name decides.
    const std::int32_t type = block.get<std::int32_t>(at + irsdk::kVarType);
    const std::int32_t offset = block.get<std::int32_t>(at + irsdk::kVarOffset);
    if (type != irsdk::kFloatType || offset < 0) return -1;
    const auto o = static_cast<std::size_t>(offset);
    if (o > lineLength || sizeof(float) > lineLength - o) return -1;
    return offset;
  }
  return -1;
}

bool convertIrsdkLine(ByteView block, const IrsdkLine& line, GameValues* out) {
  struct Variable {
    std::string_view name;
    int value;
    double factor;
  };
  static constexpr Variable kVariables[] = {
      {"LatAccel", gd::kLateralAccelG, -1.0},     {"LongAccel", gd::kLongitudinalAccelG, 1.0},
      {"VertAccel", gd::kVerticalAccelG, 1.0},    {"YawRate", gd::kYawSpeed, 1.0},
      {"RollRate", gd::kRollSpeed, 1.0},          {"PitchRate", gd::kPitchSpeed, 1.0},
      {"Yaw", gd::kYawPosition, kRadToDeg},       {"Roll", gd::kRollPosition, kRadToDeg},
      {"Pitch", gd::kPitchPosition, -kRadToDeg},
  };
  const ByteView copy = line.view();
  GameValues values;
  for (const Variable& v : kVariables) {
    const std::int64_t offset = irsdkFloatVariable(block, v.name, line.length);
    if (offset < 0) return false;
    values.set(v.value, copy.get<float>(static_cast<std::size_t>(offset)) * v.factor);
  }
  *out = values;
  return true;
}

}  // namespace kinevra
