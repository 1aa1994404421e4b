#include "engine/gamesource.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <system_error>

#include "link/link_state.h"
#include "platform/realtime.h"
#include "platform/thread_name.h"

namespace kinevra {

namespace {
// More consecutive reads without new data than this: the game is gone.
constexpr int kReadFailureLimit = 1000;
// More consecutive cycles with unchanged inputs than this: the data is stale.
constexpr int kStaleLimit = 250;
// GameData values compared by the stale check: the first 23 handed to hosts.
constexpr int kFirstComparedValue = 4;
// No single cycle moves the fade on by more than two nominal 2 ms cycles,
// however long it really took: a stalled thread must never make the rig jump.
constexpr double kMaxFadeStepMs = 4.0;
}  // namespace

Gamesource::Gamesource(Clock& clock, TelemetryLink* link, LinkState* controller)
    : timer(clock),
      sources(clock),
      clock_(&clock),
      link_(link ? link : &sources),
      controller_(controller ? controller : &linkState()) {}

Gamesource::~Gamesource() { stopGameSource(); }

void Gamesource::startThread() {
  std::lock_guard<std::mutex> lock(lifecycleLock_);
  if (running.exchange(true)) return;
  if (thread_.joinable()) thread_.join();  // a thread that ended on its own
  try {
    thread_ = std::thread([this] { runGameSource(); });
  } catch (const std::system_error&) {
    // The system refused a thread: nothing runs, so say so.
    running.store(false);
  }
}

void Gamesource::stopGameSource() {
  std::lock_guard<std::mutex> lock(lifecycleLock_);
  running.exchange(false);
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void Gamesource::runGameSource() {
  platform::nameThisThread("kinevra-engine");
  try {
    threadStartup();
    while (running.load()) loopPass();
  } catch (...) {
    // Nothing may escape a thread body; a cycle that cannot go on stops the
    // output rather than the host process.
    outputSuspended.exchange(true);
    running.exchange(false);
  }
  attached.exchange(false);
  // The fan goes off with the thread that feeds it.
  try {
    wind.stop();
  } catch (...) {
  }
}

void Gamesource::threadStartup() {
  platform::requestTimerResolution();
  platform::raiseProcessPriority();
  platform::raiseThreadPriority();
  timer.precise.store(1, std::memory_order_relaxed);
  resetToSearching();
  link_->clearGameFlags();
  timer.restart();
}

void Gamesource::loopPass() {
  if (!attached.load()) {
    if (link_->detectGame() != 0 && link_->attachGame() != 0) {
      attached.exchange(true);
      timer.restart();
      outputSuspended.exchange(false);
    }
    cycleTimingStale_ = true;
  } else if (!motionSystemReady.load()) {
    clock_->sleepMs(1);
    cycleTimingStale_ = true;
  } else if (!motionCycle()) {
    cycleTimingStale_ = true;
    return;
  }
  clock_->sleepMs(1);
}

bool Gamesource::motionCycle() {
  // The first cycle after searching or waiting is timed from its own start:
  // measured from the last motion cycle, it would carry the whole wait.
  if (cycleTimingStale_) {
    timer.resynchronise();
    cycleTimingStale_ = false;
  }
  if (link_->readGameData() == 1)
    readFailures = 0;
  else
    ++readFailures;
  if (staleCycles > kStaleLimit) resetFade();
  if (readFailures > kReadFailureLimit) {
    resetToSearching();
    return false;
  }
  applyFadeRequest();
  selectProfile();
  staleCheck();
  stepFade();
  recordSnapshots();
  if (!outputSuspended.load()) sendOutput();
  timer.pace();
  return true;
}

void Gamesource::staleCheck() {
  TelemetryFrame& f = sources.frame;
  bool same = true;
  for (int i = 0; i < kChannelCount; ++i) {
    if (f.gameData[kFirstComparedValue + i] != f.previousInputs[i]) {  // NaN never equals
      same = false;
      break;
    }
  }
  if (same) {
    if (staleCycles < std::numeric_limits<int>::max()) ++staleCycles;
  } else {
    staleCycles = 0;
  }
  for (int i = 0; i < kChannelCount; ++i) f.previousInputs[i] = f.gameData[kFirstComparedValue + i];
}

void Gamesource::resetToSearching() {
  link_->detachGame();
  openPoseMapping();
  attached.exchange(false);
  fadeResetRequested_.store(false);
  resetFade();
  outputSuspended.exchange(true);
  readFailures = 0;
  staleCycles = 0;
  airWeight.store(1.0, std::memory_order_relaxed);
  groundWeight.store(0.0, std::memory_order_relaxed);
  activeProfile.store(0, std::memory_order_relaxed);
  // No game, no wind: the fan goes off until the output feeds it again.
  wind.pause();
}

void Gamesource::resetFade() {
  TelemetryFrame& f = sources.frame;
  fade.store(0.0, std::memory_order_relaxed);
  fadeTicks_ = 0.0;
  // The last measured cycle ran before this restart: the fade counts only
  // the cycles after it.
  fadeRestarted_ = true;
  for (int i = 0; i < kChannelCount; ++i) storeShared(f.heldCue[i], loadShared(f.cue[i]));
}

void Gamesource::stepFade() {
  double fd = fade.load(std::memory_order_relaxed);
  if (!(fd < 1.0)) return;
  TelemetryFrame& f = sources.frame;
  for (int i = 0; i < kChannelCount; ++i)
    storeShared(f.cue[i], (f.cue[i] - f.heldCue[i]) * fd + f.heldCue[i]);
  // The fade follows the measured time summed since it restarted, so that it
  // lands on exactly 1.0 when that time reaches fadeDurationMs (adding up the
  // per-cycle steps would fall short by rounding). Each cycle counts for at
  // most kMaxFadeStepMs.
  if (fadeRestarted_)
    fadeRestarted_ = false;
  else
    fadeTicks_ += std::min(timer.lastTicks.load(std::memory_order_relaxed), kMaxFadeStepMs * timer.ticksPerMs);
  fd = fadeTicks_ / timer.ticksPerMs / fadeDurationMs;
  if (fd > 1.0) fd = 1.0;
  fade.store(fd, std::memory_order_relaxed);
}

void Gamesource::requestFadeReset() { fadeResetRequested_.store(true); }

void Gamesource::applyFadeRequest() {
  if (fadeResetRequested_.exchange(false)) resetFade();
}

double Gamesource::transitionStatus() const {
  if (fadeResetRequested_.load()) return 0.0;
  double pct = std::trunc(fade.load(std::memory_order_relaxed) * 100.0);
  if (pct > 100.0) pct = 100.0;
  return pct;
}

void Gamesource::setMotionSystemReady(int ready) {
  if (ready == 1) {
    if (!motionSystemReady.exchange(true)) requestFadeReset();
  } else if (ready == 0) {
    if (motionSystemReady.exchange(false)) requestFadeReset();
  }
}

}  // namespace kinevra
