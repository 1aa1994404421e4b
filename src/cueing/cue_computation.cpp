// The cue computation: GameData through the profiles' filter chains into the
// 23 cue channels, once per motion cycle on the game-source thread.
#include <stdexcept>

#include "engine/gamesource.h"

namespace kinevra {

namespace {
// Input limits hosts may set; channels 8 and 9 (roll and pitch attitude) are
// fixed to a full turn each way.
constexpr unsigned kHostLimitedChannels = 8;
constexpr unsigned kRollAttitude = 8, kPitchAttitude = 9;
constexpr double kAttitudeLimit = 360.0;
}  // namespace

double Gamesource::getActivedof(CueProfile& profile, const ChannelRule& rule, double factor) {
  // The fixed tables never trip this; a rule that did would index past the
  // flags, limits, chains or GameData.
  if (rule.output < 0 || rule.output >= kChannelCount || rule.k < 0 || rule.k >= kRuleInputCount)
    throw std::out_of_range("Index out of range in getActivedof");
  if (!profile.isActive(rule.output)) return 0.0;
  double x = sources.frame.gameData[kFirstRuleInput + rule.k];
  if (rule.clamp) {
    const DofLimit& limit = inputDofLimits[static_cast<std::size_t>(rule.output)];
    const double low = limit.low.load(std::memory_order_relaxed);
    const double high = limit.high.load(std::memory_order_relaxed);
    // Written as comparisons, not min/max, so that a NaN input stays NaN.
    if (low > x)
      x = low;
    else if (high < x)
      x = high;
  }
  return profile.evaluateChannel(rule.output, x) * factor;
}

void Gamesource::computeCues() {
  TelemetryFrame& f = sources.frame;

  // Belt: the four components first, each adding its weighted share to the
  // sum; the belt channel then filters that sum (its input is value 46).
  double sum = 0.0;
  for (const ChannelRule& row : kBeltTable) {
    if (row.output == kBeltChannel) storeShared(f.gameData[kBeltSumValue], sum);
    const double v = getActivedof(airProfile, row, 1.0);
    storeShared(f.airCue[row.output], v);
    switch (row.output) {
      case 11: sum += airProfile.beltWeight(1) * v; break;
      case 12: sum += v * airProfile.beltWeight(2); break;
      case 13: sum += v * airProfile.beltWeight(4); break;
      case 14: sum += airProfile.beltWeight(5) * v; break;
      default: break;
    }
  }

  // Wind: computed here at full weight; the output stage turns cue[21] into
  // the fan byte for the wind controller.
  storeShared(f.airCue[kWindRule.output], getActivedof(airProfile, kWindRule, 1.0));

  for (const ChannelRule& row : kEffectTable)
    storeShared(f.airCue[row.output], getActivedof(airProfile, row, 1.0));

  // Main channels: both profiles, each at its transition weight. A chain
  // weighted 0 still runs, so that its state stays current for the fade.
  const double airFactor = airWeight.load(std::memory_order_relaxed);
  const double groundFactor = groundWeight.load(std::memory_order_relaxed);
  for (const ChannelRule& row : kMainTable)
    storeShared(f.airCue[row.output], getActivedof(airProfile, row, airFactor));
  for (const ChannelRule& row : kMainTable)
    storeShared(f.groundCue[row.output], getActivedof(groundProfile, row, groundFactor));

  // Only this thread writes airCue and groundCue, so it reads them plainly.
  const double* a = f.airCue;
  const double* g = f.groundCue;
  auto put = [&f](int channel, double v) {
    storeShared(f.cue[channel], v);
    return v;
  };
  put(0, a[15] + a[0] + g[0]);
  put(1, a[16] + a[1] + g[1]);
  put(2, a[17] + a[2] + g[2]);
  put(3, a[18] + a[3] + g[3]);
  // Roll and pitch take the tilt from acceleration (6, 7) and the attitude
  // (8, 9), so those are formed first.
  const double rollFromLateral = put(6, g[6] + a[6]);
  const double pitchFromLongitudinal = put(7, g[7] + a[7]);
  const double rollAttitude = put(8, g[8] + a[8]);
  const double pitchAttitude = put(9, g[9] + a[9]);
  put(4, rollFromLateral + a[4] + rollAttitude + a[19] + g[4]);
  put(5, pitchFromLongitudinal + a[5] + pitchAttitude + a[20] + g[5]);
  put(10, g[10] + a[10]);
  put(21, g[21] + a[21]);
}

void Gamesource::setInputDofLimit(unsigned channel, double low, double high) {
  if (channel < kHostLimitedChannels)
    inputDofLimits[channel].set(low, high);
  else if (channel == kRollAttitude || channel == kPitchAttitude)
    inputDofLimits[channel].set(-kAttitudeLimit, kAttitudeLimit);
}

}  // namespace kinevra
