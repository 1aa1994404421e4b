#pragma once
// kinevra-host --record: one CSV row per motion cycle with the time, the
// telemetry, the 23 cue channels and the rig message's six axes.
//
// The rows come from the engine's per-cycle snapshots (GetCalculationSnapshots
// and GetAccelerationSnapshots), which hold the last 150 cycles: a drain
// thread of the tool takes them every 20 ms, pairs them cycle by cycle and
// turns them into text; a writer thread puts the text on the disk. Neither
// ever holds up the engine. When the disk is slower than the rows come, the
// rows that find the writer's queue full are dropped and counted.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "library_api.h"

namespace kinevra_host {

inline constexpr int kCueChannels = 23;
inline constexpr int kRecordedRigAxes = 6;

// The columns after "time": the 41 named telemetry values (getGameData items
// 1..41, named by getGameDataNames), cue_<channel> for the 23 cue channels,
// rig_<axis> for the message's six axes.
std::vector<std::string> recordingColumns(const std::vector<std::string>& gameDataNames);

class Recorder {
 public:
  // The sink gets the text to write, in order; false stops the writing (a
  // write error). The rig limits are those handed to SetRigDofLimitValue
  // (the engine starts at 0 0).
  using Sink = std::function<bool(const std::string&)>;
  Recorder(const LibraryApi& api, std::vector<std::string> gameDataNames,
           std::array<std::array<double, 2>, kRecordedRigAxes> rigLimits, Sink sink);
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Call before the engine thread starts: the snapshot lists are emptied, so
  // that both begin with the same cycle.
  void start();
  // Takes what the engine still holds, writes everything queued, ends both threads.
  void stop();

  std::uint64_t cycles() const { return cycles_; }        // records taken from the engine
  std::uint64_t written() const { return written_; }      // rows handed to the sink
  std::uint64_t dropped() const { return dropped_; }      // rows the queue had no room for
  bool overrun() const { return overrun_; }               // the engine's 150 cycles ran over
  bool writeFailed() const { return writeFailed_; }
  // Rows queued for the writer at most (about 10 s of cycles).
  static constexpr std::size_t kQueueRows = 5000;

 private:
  void drainLoop();
  void writeLoop();
  void drainOnce();
  void formatRow(const double* calc, const double* accel, std::string& out);

  const LibraryApi& api_;
  std::vector<std::string> names_;
  std::array<std::array<float, 2>, kRecordedRigAxes> limits_{};
  std::array<float, kRecordedRigAxes> lastAxis_{};
  Sink sink_;

  // Drain thread only.
  std::deque<std::array<double, kCueChannels>> calc_;
  std::deque<std::array<double, 43>> accel_;
  std::uint64_t cycleIndex_ = 0;
  std::string batch_;

  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<std::string> queue_;  // under lock_
  std::size_t queuedRows_ = 0;     // under lock_
  std::deque<std::size_t> queuedCounts_;  // rows per queued text, under lock_
  bool stopping_ = false;          // under lock_
  bool drainDone_ = false;         // under lock_

  std::atomic<std::uint64_t> cycles_{0}, written_{0}, dropped_{0};
  std::atomic<bool> overrun_{false}, writeFailed_{false};
  std::atomic<bool> stopDrain_{false};
  std::thread drainer_, writer_;
  bool started_ = false;
};

}  // namespace kinevra_host
