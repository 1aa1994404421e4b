#include "cueing/output_data.h"

#include <cstring>

namespace kinevra {

namespace output {

namespace {
// Where the unsigned fields saturate (2^32, and the largest field value).
constexpr float kFieldCeiling = 4294967296.0f;
constexpr double kFieldMax = 4294967295.0;
}  // namespace

float limitChannel(float value, float low, float high) {
  // Comparisons rather than min/max, so that a NaN stays NaN and a low
  // above high behaves as described in the header.
  if (low > value) return low;
  if (high < value) return high;
  return value;
}

std::uint32_t unsignedField(double value) {
  float v = static_cast<float>(value);
  if (v < 0.0f) v = 0.0f;
  if (v > kFieldCeiling) v = kFieldCeiling;
  const double d = v;
  if (d >= kFieldMax) return 0xFFFFFFFFu;
  if (!(d >= 0.0)) return 0;  // NaN: no conversion of it to an integer
  return static_cast<std::uint32_t>(d);
}

void putFloatLittleEndian(std::uint8_t* at, float value) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

void putUint32BigEndian(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * (3 - i)));
}

float floatLittleEndian(const std::uint8_t* at) {
  std::uint32_t bits = 0;
  for (int i = 0; i < 4; ++i) bits |= static_cast<std::uint32_t>(at[i]) << (8 * i);
  float v = 0.0f;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

std::uint32_t uint32BigEndian(const std::uint8_t* at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 8) | at[i];
  return v;
}

}  // namespace output

OutputData::OutputData() {
  for (auto& w : words_) w.store(0, std::memory_order_relaxed);
}

void OutputData::publish(const OutputMessage& message) {
  // Odd while the words change. The release stores order the odd count
  // before each word, and the words before the final even count.
  const std::uint32_t s = sequence_.load(std::memory_order_relaxed);
  sequence_.store(s + 1, std::memory_order_relaxed);
  for (std::size_t i = 0; i < kWords; ++i) {
    std::uint32_t w = 0;
    std::memcpy(&w, message.data() + 4 * i, 4);
    words_[i].store(w, std::memory_order_release);
  }
  sequence_.store(s + 2, std::memory_order_release);
}

OutputMessage OutputData::load() const {
  constexpr int kTries = 1000;
  OutputMessage out{};
  for (int attempt = 0; attempt < kTries; ++attempt) {
    const std::uint32_t before = sequence_.load(std::memory_order_acquire);
    for (std::size_t i = 0; i < kWords; ++i) {
      const std::uint32_t w = words_[i].load(std::memory_order_acquire);
      std::memcpy(out.data() + 4 * i, &w, 4);
    }
    const std::uint32_t after = sequence_.load(std::memory_order_relaxed);
    if (before == after && (before & 1u) == 0) break;
  }
  return out;
}

void OutputData::copyTo(std::uint8_t* out) const {
  const OutputMessage m = load();
  std::memcpy(out, m.data(), m.size());
}

}  // namespace kinevra
