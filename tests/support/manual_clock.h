#pragma once
// A clock that moves only when told to: sleeps jump to their target, and each
// counter read can advance time by a fixed step (so busy waits end).
#include <cstdint>
#include <functional>
#include <vector>

#include "common/clock.h"
#include "sources/telemetry_link.h"

namespace kinevra::test {

class ManualClock final : public Clock {
 public:
  // frequency: counter ticks per second (10 MHz, as a typical Windows counter).
  explicit ManualClock(std::int64_t frequency = 10000000) : freq_(frequency) {}

  std::int64_t counter() override {
    const std::int64_t v = nowNs_ / 1000000000 * freq_ + nowNs_ % 1000000000 * freq_ / 1000000000;
    nowNs_ += readStepNs;
    return v;
  }
  std::int64_t frequency() override { return freq_; }
  std::int64_t steadyNs() override { return nowNs_; }
  void sleepUntil(std::int64_t targetNs) override {
    sleepsNs.push_back(targetNs - nowNs_);
    if (targetNs > nowNs_) {
      // Whole milliseconds, rounded up.
      const std::int64_t left = targetNs - nowNs_;
      nowNs_ += (left + 999999) / 1000000 * 1000000;
    }
  }

  // With preciseSleep set, a sleep on the counter jumps exactly to its target
  // (as a system with precise timers nearly does); without, there is none.
  bool sleepUntilCounter(std::int64_t target) override {
    if (!preciseSleep) return false;
    counterSleeps.push_back(target);
    const std::int64_t targetNs = target / freq_ * 1000000000 + target % freq_ * 1000000000 / freq_;
    if (targetNs > nowNs_) nowNs_ = targetNs;
    return true;
  }

  void advanceUs(double us) { nowNs_ += static_cast<std::int64_t>(us * 1000.0); }
  std::int64_t nowNs() const { return nowNs_; }

  std::int64_t readStepNs = 1000;  // time each counter read takes (busy waits must end)
  std::vector<std::int64_t> sleepsNs;  // requested sleep lengths, in order
  bool preciseSleep = false;
  std::vector<std::int64_t> counterSleeps;  // targets of precise sleeps, in order

 private:
  std::int64_t freq_;
  std::int64_t nowNs_ = 1000000000;
};

// Telemetry that does what the test says.
class ScriptedLink final : public TelemetryLink {
 public:
  int detectGame() override { return detect; }
  int attachGame() override { return attach; }
  int readGameData() override {
    ++reads;
    if (onRead) onRead();
    return readResult;
  }
  int detachGame() override {
    ++detaches;
    return 1;
  }
  void clearGameFlags() override {}
  int gameId() const override { return -1; }
  int groundState() const override { return ground; }

  int detect = 1;
  int attach = 1;
  int readResult = 1;
  int ground = 0;
  int reads = 0;
  int detaches = 0;
  std::function<void()> onRead;
};

}  // namespace kinevra::test
