#include "recorder.h"

#include <chrono>
#include <cmath>
#include <cstring>

#include "recording_csv.h"
#include "rig_profile.h"

namespace kinevra_host {

namespace {

// getGameData items 1..41 carry the named telemetry values; item 0 is never
// written by a reader and item 42 holds the belt sum the engine computes.
constexpr int kFirstNamedItem = 1;
constexpr int kNamedItems = 41;
constexpr int kAccelWidth = 43;
// The engine keeps this many cycles of each snapshot list.
constexpr int kSnapshotDepth = 150;
constexpr auto kDrainPeriod = std::chrono::milliseconds(20);

const char* const kAxisNames[kRecordedRigAxes] = {"sway", "surge", "heave", "yaw", "roll", "pitch"};

}  // namespace

std::vector<std::string> recordingColumns(const std::vector<std::string>& gameDataNames) {
  std::vector<std::string> c;
  for (int i = kFirstNamedItem; i < kFirstNamedItem + kNamedItems; ++i) {
    const std::size_t k = static_cast<std::size_t>(i);
    c.push_back(k < gameDataNames.size() && !gameDataNames[k].empty() ? gameDataNames[k]
                                                                       : "telemetry_" + std::to_string(i + 4));
  }
  for (int ch = 0; ch < kCueChannels; ++ch) c.push_back(std::string("cue_") + channelName(ch));
  for (const char* a : kAxisNames) c.push_back(std::string("rig_") + a);
  return c;
}

Recorder::Recorder(const LibraryApi& api, std::vector<std::string> gameDataNames,
                   std::array<std::array<double, 2>, kRecordedRigAxes> rigLimits, Sink sink)
    : api_(api), names_(std::move(gameDataNames)), sink_(std::move(sink)) {
  for (int i = 0; i < kRecordedRigAxes; ++i) {
    limits_[static_cast<std::size_t>(i)] = {static_cast<float>(rigLimits[static_cast<std::size_t>(i)][0]),
                                            static_cast<float>(rigLimits[static_cast<std::size_t>(i)][1])};
  }
}

Recorder::~Recorder() { stop(); }

void Recorder::start() {
  if (started_) return;
  started_ = true;
  // Whatever the lists hold from before belongs to no row of ours.
  for (int k = 0; k < 2; ++k) {
    int n = 0;
    if (const double* p = api_.GetCalculationSnapshots(&n)) api_.FreeCalculationSnapshots(p);
    if (const double* p = api_.GetAccelerationSnapshots(&n)) api_.FreeAccelerationSnapshots(p);
  }
  std::string header(kinevra_recording::kTimeColumn);
  for (const std::string& c : recordingColumns(names_)) header += "," + c;
  header += "\n";
  {
    std::lock_guard<std::mutex> hold(lock_);
    queue_.push_back(std::move(header));
    queuedCounts_.push_back(0);
  }
  writer_ = std::thread([this] { writeLoop(); });
  drainer_ = std::thread([this] { drainLoop(); });
}

void Recorder::stop() {
  if (!started_) return;
  started_ = false;
  stopDrain_ = true;
  if (drainer_.joinable()) drainer_.join();
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (writer_.joinable()) writer_.join();
}

void Recorder::drainLoop() {
  auto next = std::chrono::steady_clock::now();
  while (!stopDrain_) {
    drainOnce();
    next += kDrainPeriod;
    const auto now = std::chrono::steady_clock::now();
    if (next < now) next = now;
    std::this_thread::sleep_until(next);
  }
  drainOnce();  // the cycles made since the last pass
}

void Recorder::drainOnce() {
  int nc = 0, na = 0;
  // The engine appends a cycle's calculation record before its telemetry
  // record, so taking the telemetry list first never sees a cycle's
  // telemetry without its calculation record being there as well.
  const double* accel = api_.GetAccelerationSnapshots(&na);
  const double* calc = api_.GetCalculationSnapshots(&nc);
  if (overrun_) {
    // Past an overrun the cycles can no longer be paired: nothing more is recorded.
  } else if (nc >= kSnapshotDepth || na >= kSnapshotDepth) {
    // The lists may have lost their oldest cycles: a row could pair
    // telemetry and cues of different cycles, so the recording ends here.
    overrun_ = true;
  } else {
    for (int i = 0; calc && i < nc; ++i) {
      std::array<double, kCueChannels> r;
      std::memcpy(r.data(), calc + static_cast<std::size_t>(i) * kCueChannels, sizeof r);
      calc_.push_back(r);
    }
    for (int i = 0; accel && i < na; ++i) {
      std::array<double, kAccelWidth> r;
      std::memcpy(r.data(), accel + static_cast<std::size_t>(i) * kAccelWidth, sizeof r);
      accel_.push_back(r);
    }
  }
  if (accel) api_.FreeAccelerationSnapshots(accel);
  if (calc) api_.FreeCalculationSnapshots(calc);

  batch_.clear();
  std::size_t rows = 0;
  while (!calc_.empty() && !accel_.empty()) {
    formatRow(calc_.front().data(), accel_.front().data(), batch_);
    calc_.pop_front();
    accel_.pop_front();
    ++rows;
  }
  cycles_ += rows;
  if (rows == 0) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (queuedRows_ + rows > kQueueRows || writeFailed_) {
      dropped_ += rows;
      return;
    }
    queuedRows_ += rows;
    queue_.push_back(batch_);
    queuedCounts_.push_back(rows);
  }
  wake_.notify_one();
}

void Recorder::formatRow(const double* calc, const double* accel, std::string& out) {
  // The time is the cycle's place in the recording, at the engine's 2 ms.
  out += kinevra_recording::formatMilliseconds(cycleIndex_++ * 2);
  for (int i = kFirstNamedItem; i < kFirstNamedItem + kNamedItems; ++i) {
    out += ',';
    out += kinevra_recording::formatNumber(accel[i]);
  }
  for (int ch = 0; ch < kCueChannels; ++ch) {
    out += ',';
    out += kinevra_recording::formatNumber(calc[ch]);
  }
  // The message's axes as the engine builds them from the same cue values:
  // single precision, a NaN holds the axis, then the rig limits.
  for (int a = 0; a < kRecordedRigAxes; ++a) {
    const std::size_t k = static_cast<std::size_t>(a);
    float v = static_cast<float>(calc[a]);
    if (std::isnan(v)) v = lastAxis_[k];
    if (limits_[k][0] > v) v = limits_[k][0];
    if (limits_[k][1] < v) v = limits_[k][1];
    lastAxis_[k] = v;
    out += ',';
    out += kinevra_recording::formatNumber(static_cast<double>(v));
  }
  out += '\n';
}

void Recorder::writeLoop() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    wake_.wait(hold, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) {
      if (stopping_) return;
      continue;
    }
    std::string text = std::move(queue_.front());
    const std::size_t rows = queuedCounts_.front();
    queue_.pop_front();
    queuedCounts_.pop_front();
    hold.unlock();
    const bool ok = !writeFailed_ && sink_(text);
    hold.lock();
    queuedRows_ -= rows;
    if (ok) {
      written_ += rows;
    } else {
      writeFailed_ = true;
      dropped_ += rows;
    }
  }
}

}  // namespace kinevra_host
