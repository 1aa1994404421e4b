// The air and ground profiles: which one leads, the cross-fade between them
// when an aircraft lands or takes off, and the hosts' profile settings.
#include <cmath>

#include "engine/gamesource.h"

namespace kinevra {

namespace {
// The weights move by one nominal 2 ms cycle's share of the transition time
// per cycle, whatever the cycle really took.
constexpr double kNominalCycleMs = 2.0;
constexpr int kAir = 0, kGround = 1;

double weightPercent(double weight) {
  const double pct = std::trunc(weight * 100.0);
  if (!(pct >= 0.0)) return 0.0;
  return pct > 100.0 ? 100.0 : pct;
}

void zero(double (&cues)[kChannelCount]) {
  for (double& v : cues) storeShared(v, 0.0);
}
}  // namespace

void Gamesource::selectProfile() {
  const int ground = link_->groundState();
  const int previous = activeProfile.load(std::memory_order_relaxed);
  if (ground != previous) {
    if (!transitionActive) {
      transitionActive = true;
      const bool fromGround = previous != kAir;
      airWeight.store(fromGround ? 0.0 : 1.0, std::memory_order_relaxed);
      groundWeight.store(fromGround ? 1.0 : 0.0, std::memory_order_relaxed);
    }
    // During a transition this only retargets it: the weights go on from
    // where they are.
    activeProfile.store(ground, std::memory_order_relaxed);
  }
  computeCues();
  if (transitionActive) stepTransition();
}

void Gamesource::stepTransition() {
  const double step = kNominalCycleMs / transitionDurationMs;
  const int target = activeProfile.load(std::memory_order_relaxed);
  double air = airWeight.load(std::memory_order_relaxed);
  double ground = groundWeight.load(std::memory_order_relaxed);
  // Any other target (no game flag): the weights hold until one is back.
  if (target == kAir) {
    air += step;
    ground = 1.0 - air;
  } else if (target == kGround) {
    ground += step;
    air = 1.0 - ground;
  }
  if (air > 1.0 || ground > 1.0) {
    TelemetryFrame& f = sources.frame;
    if (target == kAir) {
      air = 1.0;
      ground = 0.0;
      zero(f.groundCue);
    } else {
      air = 0.0;
      ground = 1.0;
      zero(target == kGround ? f.airCue : f.groundCue);
    }
    transitionActive = false;
  }
  airWeight.store(air, std::memory_order_relaxed);
  groundWeight.store(ground, std::memory_order_relaxed);
}

double Gamesource::airTransitionStatus() const {
  return weightPercent(airWeight.load(std::memory_order_relaxed));
}

double Gamesource::groundTransitionStatus() const {
  return weightPercent(groundWeight.load(std::memory_order_relaxed));
}

void Gamesource::setActiveAxis(int profile, int channel, bool on) {
  CueProfile* target = profileAt(profile);
  if (target && channel >= 0 && channel < kChannelCount)
    target->active[static_cast<std::size_t>(channel)].store(on, std::memory_order_relaxed);
  requestFadeReset();
}

void Gamesource::setBeltMix(int profile, int index, double weight) {
  CueProfile* target = profileAt(profile);
  if (target && index >= 0 && index < kBeltMixCount)
    target->beltMix[static_cast<std::size_t>(index)].store(weight, std::memory_order_relaxed);
}

}  // namespace kinevra
