// The output stage: once per motion cycle the cue channels become the rig's
// 36-byte message for the controller link, the pose for motion compensation
// and the fan byte for the wind controller.
#include <cmath>

#include "cueing/output_data.h"
#include "engine/gamesource.h"
#include "link/engine_output.h"
#include "wind/wind_serial.h"

namespace kinevra {

namespace {
constexpr std::uint8_t kLf = 0x0A, kCr = 0x0D;
}  // namespace

void Gamesource::setRigDofLimit(int channel, double low, double high) {
  if (channel < 0 || channel >= kChannelCount) return;
  if (std::isnan(low) || std::isnan(high)) return;
  rigDofLimits[static_cast<std::size_t>(channel)].set(low, high);
}

void Gamesource::sendOutput() {
  const TelemetryFrame& f = sources.frame;  // this thread writes cue: plain reads
  OutputMessage m;
  m[0] = m[1] = kOutputMarker;
  for (int i = 0; i < kRigChannels; ++i) {
    const DofLimit& limit = rigDofLimits[static_cast<std::size_t>(i)];
    float v = static_cast<float>(f.cue[i]);
    // The controller never gets a NaN: the channel holds its last value
    // (within the limits as they are now).
    if (std::isnan(v)) v = lastChannel_[static_cast<std::size_t>(i)];
    v = output::limitChannel(v, static_cast<float>(limit.low.load(std::memory_order_relaxed)),
                             static_cast<float>(limit.high.load(std::memory_order_relaxed)));
    lastChannel_[static_cast<std::size_t>(i)] = v;
    output::putFloatLittleEndian(&m[kRigChannelOffset + 4 * static_cast<std::size_t>(i)], v);
  }
  output::putUint32BigEndian(&m[kBeltOffset], output::unsignedField(f.cue[kBeltChannel]));
  output::putUint32BigEndian(&m[kWindOffset], output::unsignedField(f.cue[kWindRule.output]));
  m[kTrailerOffset] = kLf;
  m[kTrailerOffset + 1] = kCr;

  outputData.publish(m);
  // Handed over with its length: channel bytes may hold LF CR anywhere.
  queueEngineOutput(*controller_, m);
  if (motionCancelActive.load()) publishPose();
  updateWind();
}

void Gamesource::updateWind() {
  if (!airProfile.isActive(kWindRule.output)) return;
  const std::uint8_t power = windPowerByte(sources.frame.cue[kWindRule.output]);
  if (wind.running.load()) {
    wind.paused.exchange(false);
    std::lock_guard<std::mutex> hold(wind.bufferMutex);
    wind.buffer.assign(1, power);  // allocates only the first time
  } else if (wind.initialized.load()) {
    wind.start();  // this cycle's byte is not handed over
  }
}

}  // namespace kinevra
