#include "cueing/cue_profile.h"

#include <utility>

#include "filter/filter_compiler.h"

namespace kinevra {

CueProfile::CueProfile(std::string profileName) : name(std::move(profileName)) {
  for (auto& flag : active) flag.store(true, std::memory_order_relaxed);
  for (auto& weight : beltMix) weight.store(0.0, std::memory_order_relaxed);
  for (FilterSlot& slot : chains) slot.replace(parseFilterString("VALUE"));
}

double CueProfile::evaluateChannel(int channel, double x) {
  if (channel < 0 || channel >= kChannelCount) return 0.0;
  FilterSys* chain = chains[static_cast<std::size_t>(channel)].current();
  return chain ? chain->evaluate(x, 1.0, 1.0, 1.0) : 0.0;
}

}  // namespace kinevra
