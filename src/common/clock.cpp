#include "common/clock.h"

#include <new>

#include "platform/clock.h"

namespace kinevra {

namespace {
class SystemClock final : public Clock {
 public:
  std::int64_t counter() override { return platform::performanceCounter(); }
  std::int64_t frequency() override { return platform::performanceFrequency(); }
  std::int64_t steadyNs() override { return platform::steadyNowNs(); }
  void sleepUntil(std::int64_t targetNs) override { platform::sleepUntilSteady(targetNs); }
  bool sleepUntilCounter(std::int64_t target) override { return platform::sleepUntilCounter(target); }
  bool preciseTimedWaits() override { return platform::preciseTimedWaits(); }
};
}  // namespace

Clock& systemClock() {
  // Never destroyed (a loop still running while the process exits may read
  // it), and not on the heap, so unloading the library leaves nothing behind.
  alignas(SystemClock) static unsigned char storage[sizeof(SystemClock)];
  static SystemClock* const clock = new (storage) SystemClock;
  return *clock;
}

}  // namespace kinevra
