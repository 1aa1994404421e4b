#pragma once
// The engine: all state of the motion system and its game-source thread. The
// library holds one (see engine_instance.h); tests build their own, with a
// manual clock and scripted telemetry.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "common/clock.h"
#include "common/cycle_timer.h"
#include "cueing/channel_rules.h"
#include "cueing/cue_profile.h"
#include "cueing/output_data.h"
#include "cueing/snapshot_list.h"
#include "platform/shared_memory.h"
#include "sources/telemetry_sources.h"
#include "wind/wind_serial.h"

namespace kinevra {

class LinkState;

// The block a VR motion-compensation tool reads the rig's pose from.
inline constexpr const char* kPoseMappingName = "Local\\motionRigPose";
inline constexpr std::size_t kPoseMappingSize = 512;
inline constexpr int kPoseValues = 6;  // lateral, longitudinal, vertical, yaw, roll, pitch
inline constexpr double kDefaultMotionCancelFilter = 60.0;

class Gamesource {
 public:
  // link: where telemetry comes from; null means the engine's own sources.
  // controller: the controller link that takes the output messages; null
  // means the library's own (linkState()).
  explicit Gamesource(Clock& clock = systemClock(), TelemetryLink* link = nullptr,
                      LinkState* controller = nullptr);
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

  // --- Cue computation and profiles (cueing/) ---
  // One motion cycle's cues: reads the ground state, switches and cross-fades
  // the profiles, runs computeCues, steps a running transition.
  void selectProfile();
  // GameData through both profiles' chains into airCue, groundCue and cue
  // (and the belt sum into GameData value 46); every active chain once.
  void computeCues();
  // One channel: the rule's input, clamped if the rule says so, through the
  // profile's chain, times factor; 0 when the channel is switched off.
  // Throws std::out_of_range for a rule outside the channel or input ranges.
  double getActivedof(CueProfile& profile, const ChannelRule& rule, double factor);
  // Host settings. setActiveAxis always restarts the fade (posted).
  void setActiveAxis(int profile, int channel, bool on);
  void setBeltMix(int profile, int index, double weight);
  // Channels 0..7 take low and high; 8 and 9 always -360 and 360; others nothing.
  void setInputDofLimit(unsigned channel, double low, double high);
  // trunc(weight * 100) within 0..100, for the profile transition exports.
  double airTransitionStatus() const;
  double groundTransitionStatus() const;

  TelemetryLink& link() { return *link_; }

  // --- Output stage, motion cancel and snapshots (cueing/) ---
  // SetRigDofLimitValue: channels 0..22 (only 0..5 limit the output). A pair
  // with a NaN is refused: it would switch that side of the limit off.
  void setRigDofLimit(int channel, double low, double high);
  // getOutputData: the last message built (all zero before the first).
  void copyOutputData(std::uint8_t* out) const { outputData.copyTo(out); }
  // Publishes (on) or stops publishing (off) the pose; on also sets the
  // filter back to 60. Host threads; safe while the cycle runs.
  void activateMotionCancel(bool on);
  // Stored only while motion cancel is on. The filter must be finite and at
  // least 1 (1: no smoothing) and the gain finite; false otherwise.
  bool setFilterMotionCancel(double k);
  bool setGainMotionCancel(double gain);
  // Takes every record of the list (oldest first) into a new array owned by
  // the caller and stores the count; null and 0 when there are none. The
  // array goes back through freeSnapshots.
  const double* takeCalculationSnapshots(int* count);
  const double* takeAccelerationSnapshots(int* count);
  static void freeSnapshots(const double* snapshots);
  // Records waiting in each list (tests).
  std::size_t calculationSnapshotCount();
  std::size_t accelerationSnapshotCount();

  // --- Members, in the engine's declaration order ---
  // The fan controller, declared first so that it is destroyed last.
  WindSerial wind;
  // Recent calculation records (23 cue values) and acceleration records (the
  // 43 handed-out telemetry values), each list under its own lock; the latest
  // calculation record, read by hosts without a lock.
  SnapshotList<kChannelCount> calcSnapshots;
  std::array<double, kChannelCount> positionSnapshot{};
  std::mutex calcLock;
  SnapshotList<kGameDataCount - 4> accelSnapshots;
  std::mutex accelLock;
  std::atomic<bool> attached{false};
  std::atomic<bool> running{false};
  std::atomic<bool> outputSuspended{true};
  std::atomic<bool> motionSystemReady{false};
  std::atomic<bool> motionCancelActive{false};
  CycleTimer timer;
  TelemetrySources sources;
  // Motion cancel. rigPose, poseRaw and poseFiltered belong to the
  // game-source thread. The mapping is opened and closed under poseLock_.
  std::array<double, kPoseValues> rigPose{};
  // Set before the engine first opens the block (tests use names of their own).
  std::string poseMappingName = kPoseMappingName;
  std::size_t poseMappingSize = kPoseMappingSize;
  std::array<double, kPoseValues> poseRaw{};
  std::array<double, kPoseValues> poseFiltered{};
  std::atomic<double> motionCancelFilter{kDefaultMotionCancelFilter};
  std::atomic<double> motionCancelGain{1.0};
  CueProfile airProfile{"Profil AIR"};
  CueProfile groundProfile{"Profil GROUND"};
  std::array<DofLimit, kChannelCount> rigDofLimits;    // {0, 0} each at construction
  std::array<DofLimit, kChannelCount> inputDofLimits;  // {0, 0} each at construction
  std::atomic<double> fade{1.0};
  double fadeDurationMs = 4000.0;
  bool transitionActive = false;
  std::atomic<int> activeProfile{0};
  std::atomic<double> airWeight{1.0};
  std::atomic<double> groundWeight{0.0};
  double transitionDurationMs = 200.0;
  int readFailures = 0;
  int staleCycles = 0;
  OutputData outputData;

 private:
  // Runs one motion cycle; false when telemetry was lost and the engine went
  // back to searching (the pass then ends without its tail sleep).
  bool motionCycle();
  void applyFadeRequest();
  void staleCheck();

  // Weights of a running transition, one cycle on; ends it past full weight.
  void stepTransition();

  // Stages of the motion cycle provided by the output code.
  void recordSnapshots();
  void sendOutput();
  void publishPose();
  void updateWind();
  // Opens the pose block and maps its view, unless a view is open already.
  void openPoseMapping();
  void closePoseMapping();

  Clock* clock_;
  TelemetryLink* link_;
  LinkState* controller_;
  // Channels 0..5 of the last message: what a NaN channel holds.
  std::array<float, kRigChannels> lastChannel_{};
  // The pose block and its view. The game-source thread writes the view
  // only while it holds poseLock_, and only tries to take it: a host thread
  // opening or closing the block costs it at most that cycle's write.
  std::mutex poseLock_;
  platform::SharedMemory poseMapping_;
  double* poseView_ = nullptr;
  std::atomic<bool> fadeResetRequested_{false};
  double fadeTicks_ = 0.0;  // measured cycle time since the fade restarted
  bool fadeRestarted_ = false;  // no cycle measured since the fade restarted
  // The loop did something other than a motion cycle since the last one
  // (searching, waiting, back to searching): the next cycle is timed afresh.
  bool cycleTimingStale_ = true;
  std::mutex lifecycleLock_;  // serialises thread start and stop
  std::thread thread_;
};

}  // namespace kinevra
