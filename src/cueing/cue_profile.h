#pragma once
// One motion profile of the engine: its name and the filter chain of each of
// the 23 cue channels (each "VALUE" at construction). Host threads install
// chains with setcheckFilterstring while the game-source thread evaluates them.
#include <array>
#include <string>

#include "filter/filter_slot.h"
#include "sources/telemetry_frame.h"

namespace kinevra {

struct CueProfile {
  explicit CueProfile(std::string profileName);
  CueProfile(const CueProfile&) = delete;
  CueProfile& operator=(const CueProfile&) = delete;

  // Game-source thread: runs channel's chain on x with the engine's scale
  // factors (1.0 each); 0 for an invalid chain or a channel outside 0..22.
  double evaluateChannel(int channel, double x);

  std::string name;
  std::array<FilterSlot, kChannelCount> chains;
};

}  // namespace kinevra
