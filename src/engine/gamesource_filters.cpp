// Filter chains of the two motion profiles: installation from host threads
// and evaluation on the game-source thread.
#include "engine/gamesource.h"
#include "filter/filter_compiler.h"

namespace kinevra {

bool Gamesource::installFilterString(int profile, int channel, const char* text) {
  requestFadeReset();
  outputSuspended.exchange(true);
  // A missing text is refused like one that does not compile: the rig stops
  // rather than run on a chain the host did not mean.
  if (!text) return false;
  std::shared_ptr<FilterSys> chain = parseFilterString(text);
  CueProfile* target = profileAt(profile);
  if (!chain->valid.load() || !target || channel < 0 || channel >= kChannelCount) return false;
  target->chains[static_cast<std::size_t>(channel)].replace(std::move(chain));
  outputSuspended.exchange(false);
  return true;
}

CueProfile* Gamesource::profileAt(int profile) {
  if (profile == 0) return &airProfile;
  if (profile == 1) return &groundProfile;
  return nullptr;
}

double Gamesource::evaluateChannel(int profile, int channel, double x) {
  CueProfile* p = profileAt(profile);
  return p ? p->evaluateChannel(channel, x) : 0.0;
}

}  // namespace kinevra
