#include "sources/network/condor.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <system_error>

#include "sources/gravity.h"
#include "sources/game_values.h"

namespace kinevra {

namespace condor {

int keyIndex(std::string_view key) {
  for (std::size_t i = 0; i < kKeys.size(); ++i)
    if (kKeys[i] == key) return static_cast<int>(i);
  return -1;
}

namespace {

constexpr int kHud = 31, kFlaps = 32;
static_assert(kKeys[kHud] == "hudmessages" && kKeys[kFlaps] == "flaps");

// The value text as the C library's float conversion reads it (leading
// blanks and a sign allowed, anything after the number ignored), whatever
// the process's locale: text that is not a finite float gives 0.
float parseValue(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  float v = 0.0f;
  const char* begin = text.data() + i;
  const auto r = std::from_chars(begin, text.data() + text.size(), v, std::chars_format::general);
  if (r.ec != std::errc() || r.ptr == begin || !std::isfinite(v)) return 0.0f;
  return v;
}

}  // namespace
}  // namespace condor

CondorReader::CondorReader(Clock& clock) : UdpReader(6, clock, udpReaderSetup(6)) {}

float CondorReader::value(std::string_view key) const {
  const int i = condor::keyIndex(key);
  return i < 0 ? 0.0f : values_[static_cast<std::size_t>(i)];
}

bool CondorReader::convert(const std::uint8_t* datagram, std::size_t length, double* gameData) {
  const char* text = reinterpret_cast<const char*>(datagram);
  if (!text) length = 0;
  const void* nul = length ? std::memchr(text, 0, length) : nullptr;
  const std::string_view all(text, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text) : length);
  std::size_t at = 0;
  while (at < all.size()) {
    std::size_t lineEnd = all.find('\n', at);
    if (lineEnd == std::string_view::npos) lineEnd = all.size();
    const std::string_view line = all.substr(at, lineEnd - at);
    at = lineEnd + 1;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const int k = condor::keyIndex(line.substr(0, eq));
    if (k < 0) continue;
    const std::string_view valueText = line.substr(eq + 1);
    if (k == condor::kHud) {
      const std::size_t n = valueText.size() < hud_.size() - 1 ? valueText.size() : hud_.size() - 1;
      std::memcpy(hud_.data(), valueText.data(), n);
      hud_[n] = '\0';
      continue;
    }
    const float f = condor::parseValue(valueText);
    values_[static_cast<std::size_t>(k)] = f;
    if (k == condor::kFlaps) {
      // Truncated toward zero, within what an int holds.
      flaps_ = f >= 2147483648.0f ? INT_MAX : f <= -2147483648.0f ? INT_MIN : static_cast<int>(f);
    }
  }

  const auto get = [&](std::string_view key) { return static_cast<double>(value(key)); };
  GameValues v;
  v.set(gd::kPitchPosition, degrees(get("pitch")));
  v.set(gd::kRollPosition, -degrees(get("bank")));
  v.set(gd::kYawPosition, degrees(get("yaw")) - 180.0);
  v.set(gd::kLateralAccel, get("ax"));
  v.set(gd::kLongitudinalAccel, get("ay"));
  v.set(gd::kVerticalAccel, get("az"));
  v.set(gd::kLateralSpeed, get("vx"));
  v.set(gd::kLongitudinalSpeed, get("vy"));
  v.set(gd::kVerticalSpeed, get("vz"));
  v.set(gd::kRollSpeed, degrees(get("rollrate")));
  v.set(gd::kPitchSpeed, degrees(get("pitchrate")));
  v.set(gd::kYawSpeed, degrees(get("yawrate")));
  return v.writeIfFinite(gameData);
}

}  // namespace kinevra
