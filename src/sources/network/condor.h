#pragma once
// Condor 2 (GameId 6): lines of "key=value" text, sent to port 55278. Each
// key's last value is kept until the key comes again.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sources/udp_reader.h"

namespace kinevra {

namespace condor {
// The keys the game sends, in this order in the reader's store.
inline constexpr std::array<std::string_view, 35> kKeys = {
    "time",         "slipball",   "altitude",     "vario",          "evario",
    "nettovario",   "integrator", "compass",      "turnrate",       "yawstringangle",
    "radiofrequency", "yaw",      "pitch",        "bank",           "quaternionx",
    "quaterniony",  "quaternionz", "ax",          "ay",             "az",
    "vx",           "vy",         "vz",           "rollrate",       "pitchrate",
    "yawrate",      "gforce",     "height",       "wheelheight",    "turbulencestrength",
    "surfaceroughness", "hudmessages", "flaps",   "mc",             "water"};
// The index of a key in kKeys, -1 for one the game does not send.
int keyIndex(std::string_view key);
inline constexpr std::size_t kHudTextSize = 256;  // kept text, NUL included; longer is cut
}  // namespace condor

class CondorReader final : public UdpReader {
 public:
  explicit CondorReader(Clock& clock);

  // One datagram: its lines into the store, then the store into gameData.
  bool convert(const std::uint8_t* datagram, std::size_t length, double* gameData) override;

  // The store: the last value of each key (0 until it came).
  float value(std::string_view key) const;
  int flaps() const { return flaps_; }
  const char* hudMessages() const { return hud_.data(); }

 private:
  std::array<float, condor::kKeys.size()> values_{};
  int flaps_ = 0;
  std::array<char, condor::kHudTextSize> hud_{};
};

}  // namespace kinevra
