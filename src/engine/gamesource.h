#pragma once
// The engine: all state of the motion system and its game-source thread. The
// library holds one (see engine_instance.h); tests build their own, with a
// manual clock and scripted telemetry.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "common/clock.h"
#include "common/cycle_timer.h"
#include "cueing/cue_profile.h"
#include "sources/telemetry_sources.h"

namespace kinevra {

class Gamesource {
 public:
  // link: where telemetry comes from; null means the engine's own sources.
  explicit Gamesource(Clock& clock = systemClock(), TelemetryLink* link = nullptr);
  ~Gamesource();
  Gamesource(const Gamesource&) = delete;
  Gamesource& operator=(const Gamesource&) = delete;

  // Thread control (startGamesource_Thread / stopGamesource_Thread).
  void startThread();
  void stopGameSource();

  // Thread body: start-up, then loop passes while running is set.
  void runGameSource();
  // The start-up steps of the thread body.
  void threadStartup();
  // One pass of the loop: searching, waiting or one motion cycle.
  void loopPass();

  void resetToSearching();
  // Freezes the outputs at the current cue values and restarts the fade-in.
  // Only the game-source thread calls this; host threads call requestFadeReset.
  void resetFade();
  void stepFade();
  // Host side of resetFade: posts the request, which the game-source thread
  // carries out before it next computes the cues.
  void requestFadeReset();

  // Fade progress for getTransitionStatus: trunc(fade * 100), at most 100.
  double transitionStatus() const;
  // Sets or clears motionSystemReady, restarting the fade on a change.
  void setMotionSystemReady(int ready);

  // setcheckFilterstring: restarts the fade, suspends the output, compiles
  // text and installs it as the chain of that profile (0 air, 1 ground)
  // channel (0..22). True, with the output resumed, when it compiled and the
  // slot exists; otherwise (a null text too) the old chain stays and the
  // output stays suspended.
  bool installFilterString(int profile, int channel, const char* text);
  // 0: airProfile, 1: groundProfile, otherwise null.
  CueProfile* profileAt(int profile);
  // Game-source thread: runs the chain of that profile channel on x; 0 for a
  // profile or channel that does not exist.
  double evaluateChannel(int profile, int channel, double x);

  TelemetryLink& link() { return *link_; }

  // --- Members, in the engine's declaration order ---
  std::atomic<bool> attached{false};
  std::atomic<bool> running{false};
  std::atomic<bool> outputSuspended{true};
  std::atomic<bool> motionSystemReady{false};
  std::atomic<bool> motionCancelActive{false};
  CycleTimer timer;
  TelemetrySources sources;
  CueProfile airProfile{"Profil AIR"};
  CueProfile groundProfile{"Profil GROUND"};
  std::atomic<double> fade{1.0};
  double fadeDurationMs = 4000.0;
  bool transitionActive = false;
  std::atomic<int> activeProfile{0};
  std::atomic<double> airWeight{1.0};
  std::atomic<double> groundWeight{0.0};
  double transitionDurationMs = 200.0;
  int readFailures = 0;
  int staleCycles = 0;

 private:
  // Runs one motion cycle; false when telemetry was lost and the engine went
  // back to searching (the pass then ends without its tail sleep).
  bool motionCycle();
  void applyFadeRequest();
  void staleCheck();

  // Stages of the motion cycle provided by the cueing and output code.
  void selectProfile();
  void recordSnapshots();
  void sendOutput();

  Clock* clock_;
  TelemetryLink* link_;
  std::atomic<bool> fadeResetRequested_{false};
  double fadeTicks_ = 0.0;  // measured cycle time since the fade restarted
  std::mutex lifecycleLock_;  // serialises thread start and stop
  std::thread thread_;
};

}  // namespace kinevra
