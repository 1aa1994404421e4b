// Any telemetry (NaN and infinities included), rig limits and motion-cancel
// settings run through whole motion cycles with the output stage, and every
// message keeps its form: marker and trailer in place, no NaN on a rig
// channel, each channel within limits that make sense, the belt and wind
// fields as their saturating rule says; the published pose stays finite
// and the snapshot lists never hold more than 150 records. An input runs at
// most 40 cycles.
#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/clock.h"
#include "engine/gamesource.h"
#include "link/link_state.h"

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

class FuzzLink final : public kinevra::TelemetryLink {
 public:
  int detectGame() override { return 1; }
  int attachGame() override { return 1; }
  int readGameData() override { return 1; }
  int detachGame() override { return 1; }
  void clearGameFlags() override {}
  int gameId() const override { return -1; }
  int groundState() const override { return 0; }
};

// Time passes only as the engine reads it (10 us a reading) and jumps to the
// end of every sleep: no real sleeping, and the pacing's last spin takes a
// few readings rather than thousands.
class StepClock final : public kinevra::Clock {
 public:
  std::int64_t counter() override { return now_ += 10000; }
  std::int64_t frequency() override { return 1000000000; }
  std::int64_t steadyNs() override { return now_; }
  void sleepUntil(std::int64_t target) override {
    if (target > now_) now_ = target;
  }
  bool sleepUntilCounter(std::int64_t target) override {
    sleepUntil(target);
    return true;
  }

 private:
  std::int64_t now_ = 1000000000;
};

double anyDouble(FuzzedDataProvider& in) {
  const std::uint64_t bits = in.ConsumeIntegral<std::uint64_t>();
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

// The unsigned field rule, written out independently.
std::uint32_t expectedField(double cue) {
  const float f = static_cast<float>(cue);
  if (std::isnan(f) || f <= 0.0f) return 0;
  if (static_cast<double>(f) >= 4294967295.0) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(std::trunc(static_cast<double>(f)));
}

void checkMessage(kinevra::Gamesource& e) {
  using namespace kinevra;
  const OutputMessage m = e.outputData.load();
  check(m[0] == 0xFC && m[1] == 0xFC && m[34] == 0x0A && m[35] == 0x0D);
  for (int i = 0; i < kRigChannels; ++i) {
    const float v = output::floatLittleEndian(&m[kRigChannelOffset + 4 * static_cast<std::size_t>(i)]);
    check(!std::isnan(v));
    const float low = static_cast<float>(e.rigDofLimits[static_cast<std::size_t>(i)].low.load());
    const float high = static_cast<float>(e.rigDofLimits[static_cast<std::size_t>(i)].high.load());
    if (low <= high) check(v >= low && v <= high);
  }
  const TelemetryFrame& f = e.sources.frame;
  check(output::uint32BigEndian(&m[kBeltOffset]) == expectedField(f.cue[10]));
  check(output::uint32BigEndian(&m[kWindOffset]) == expectedField(f.cue[21]));
  for (double p : e.poseFiltered) check(std::isfinite(p));
  check(e.calculationSnapshotCount() <= kMaxSnapshots);
  check(e.accelerationSnapshotCount() <= kMaxSnapshots);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kinevra;
  static const std::string poseName =
      "Local\\motionRigPose-fuzz-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
  static LinkState* controller = new LinkState();  // lives as long as the process
  FuzzedDataProvider in(data, size);
  StepClock clock;
  FuzzLink link;
  Gamesource engine(clock, &link, controller);
  engine.poseMappingName = poseName;
  // The real fade-in lasts 4 s (2000 cycles), beyond any one input; the
  // shorter ones (10 cycles, 1) let an input reach full output and restart
  // the fade.
  constexpr double kFadeMs[] = {4000.0, 20.0, 2.0};
  engine.fadeDurationMs = kFadeMs[in.ConsumeIntegralInRange<int>(0, 2)];
  controller->bridgeRunning = in.ConsumeBool();
  engine.threadStartup();
  engine.loopPass();
  engine.setMotionSystemReady(1);
  int cycles = 0;
  while (in.remaining_bytes() > 0 && cycles < 40) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
      case 0:
        engine.sources.frame.gameData[in.ConsumeIntegralInRange<int>(0, kGameDataCount - 1)] = anyDouble(in);
        break;
      case 1: {
        const int ch = in.ConsumeIntegralInRange<int>(-1, kChannelCount);
        const double low = anyDouble(in);
        engine.setRigDofLimit(ch, low, anyDouble(in));
        break;
      }
      case 2: {
        const unsigned ch = in.ConsumeIntegral<unsigned>() % 12;
        const double low = anyDouble(in);
        engine.setInputDofLimit(ch, low, anyDouble(in));
        break;
      }
      case 3:
        engine.activateMotionCancel(in.ConsumeBool());
        break;
      case 4:
        engine.setGainMotionCancel(anyDouble(in));
        engine.setFilterMotionCancel(anyDouble(in));
        break;
      case 5: {
        int n = 0;
        Gamesource::freeSnapshots(engine.takeCalculationSnapshots(&n));
        check(n >= 0 && n <= static_cast<int>(kMaxSnapshots));
        Gamesource::freeSnapshots(engine.takeAccelerationSnapshots(&n));
        break;
      }
      case 6:
        controller->serialEngineOutput.discard();
        controller->udpEngineOutput.discard();
        break;
      default: {
        const int n = in.ConsumeIntegralInRange<int>(1, 40);
        for (int i = 0; i < n; ++i) {
          engine.loopPass();
          if (!engine.outputSuspended.load()) checkMessage(engine);
        }
        cycles += n;
        break;
      }
    }
  }
  engine.activateMotionCancel(false);
  return 0;
}
