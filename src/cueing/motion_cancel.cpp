// Motion cancel: the rig's pose, smoothed, in the shared block that a VR
// motion-compensation tool reads, so that it can take the rig's movement
// out of the head tracking.
#include <cmath>
#include <cstring>

#include "engine/gamesource.h"

namespace kinevra {

namespace {
// The engine writes the first six doubles of the block.
constexpr std::size_t kPoseBytes = kPoseValues * sizeof(double);
}  // namespace

void Gamesource::openPoseMapping() {
  std::lock_guard<std::mutex> hold(poseLock_);
  if (poseView_) return;  // the open view is the block's: keep it
  if (!poseMapping_.createOrOpen(poseMappingName, poseMappingSize)) return;
  void* view = poseMapping_.mapWrite(poseMappingSize);
  // A block someone else made too small to hold the pose is not written.
  if (!view || poseMapping_.viewSize() < kPoseBytes) {
    poseMapping_.close();
    return;
  }
  poseView_ = static_cast<double*>(view);
}

void Gamesource::closePoseMapping() {
  std::lock_guard<std::mutex> hold(poseLock_);
  poseView_ = nullptr;
  poseMapping_.close();
}

void Gamesource::activateMotionCancel(bool on) {
  if (on) {
    motionCancelActive.exchange(true);
    openPoseMapping();
    motionCancelFilter.store(kDefaultMotionCancelFilter, std::memory_order_relaxed);
  } else {
    // Cleared first; the view goes only once the game-source thread cannot be
    // writing it (it writes only while holding poseLock_).
    motionCancelActive.exchange(false);
    closePoseMapping();
  }
}

bool Gamesource::setFilterMotionCancel(double k) {
  // A filter below 1 overshoots or diverges and 0 divides by zero: the pose
  // would swing or turn into infinities and NaN for good.
  if (!motionCancelActive.load() || !std::isfinite(k) || k < 1.0) return false;
  motionCancelFilter.store(k, std::memory_order_relaxed);
  return true;
}

bool Gamesource::setGainMotionCancel(double gain) {
  if (!motionCancelActive.load() || !std::isfinite(gain)) return false;
  motionCancelGain.store(gain, std::memory_order_relaxed);
  return true;
}

void Gamesource::publishPose() {
  const double* c = sources.frame.cue;  // written by this thread only
  const double g = motionCancelGain.load(std::memory_order_relaxed);
  for (int k = 0; k < 4; ++k) rigPose[static_cast<std::size_t>(k)] = g * c[k];
  rigPose[4] = g * ((c[4] + c[6]) + c[8]);
  rigPose[5] = g * ((c[5] + c[7]) + c[9]);
  poseRaw = rigPose;
  const double filter = motionCancelFilter.load(std::memory_order_relaxed);
  for (std::size_t k = 0; k < kPoseValues; ++k) {
    // A NaN or an infinity (from the cue, or from a step between huge
    // values) would stay in the smoothed value for good: such a step is
    // skipped and the axis stays where it was.
    const double next = poseFiltered[k] + (poseRaw[k] - poseFiltered[k]) / filter;
    if (std::isfinite(next)) poseFiltered[k] = next;
  }

  std::unique_lock<std::mutex> hold(poseLock_, std::try_to_lock);
  if (!hold.owns_lock() || !poseView_) return;
  std::memcpy(poseView_, poseFiltered.data(), kPoseBytes);
}

}  // namespace kinevra
