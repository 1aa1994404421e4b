// Any sequence of telemetry values (NaN and infinities included), host
// settings and ground states runs through the profile selection and the cue
// computation without fault, and keeps the computation's invariants: the
// channels it never writes stay 0, the weights stay in [0, 1], and a
// finished transition leaves exactly one profile at full weight. An input
// runs at most 40 cycles: what it exercises is the interleaving of settings,
// values and cycles, and short inputs try many more of them a second.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/clock.h"
#include "engine/gamesource.h"

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
  int groundState() const override { return ground; }
  int ground = 0;
};

const char* const kChains[] = {
    "VALUE", "EMALP(VALUE;4)", "GAIN(CROP(EMAHP(EMALP(VALUE;8);400);-1;1);1.5)",
    "SINUS(VALUE;1;2)", "NOISE(VALUE;0.5;200;7)", "SETVALUE(VALUE;3)", "ROLLOVER(VALUE;180)",
};

double anyDouble(FuzzedDataProvider& in) {
  const std::uint64_t bits = in.ConsumeIntegral<std::uint64_t>();
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

void checkInvariants(const kinevra::Gamesource& e) {
  const kinevra::TelemetryFrame& f = e.sources.frame;
  for (int ch = 11; ch <= 20; ++ch) check(f.cue[ch] == 0.0);
  check(f.cue[22] == 0.0);
  for (int ch = 10; ch < kinevra::kChannelCount; ++ch) check(f.groundCue[ch] == 0.0);
  const double air = e.airWeight.load(), ground = e.groundWeight.load();
  check(air >= 0.0 && air <= 1.0 && ground >= 0.0 && ground <= 1.0);
  if (!e.transitionActive) check((air == 1.0 && ground == 0.0) || (air == 0.0 && ground == 1.0));
  const double pa = e.airTransitionStatus(), pg = e.groundTransitionStatus();
  check(pa >= 0.0 && pa <= 100.0 && pg >= 0.0 && pg <= 100.0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kinevra;
  FuzzedDataProvider in(data, size);
  FuzzLink link;
  Gamesource engine(systemClock(), &link);
  // The real 200 ms cross-fade takes 100 cycles, so an input only starts and
  // retargets it; the shorter ones (10 cycles, 1) let an input finish
  // transitions too.
  constexpr double kTransitionMs[] = {200.0, 20.0, 2.0};
  engine.transitionDurationMs = kTransitionMs[in.ConsumeIntegralInRange<int>(0, 2)];
  int cycles = 0;
  while (in.remaining_bytes() > 0 && cycles < 40) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
      case 0:
        engine.sources.frame.gameData[in.ConsumeIntegralInRange<int>(0, kGameDataCount - 1)] = anyDouble(in);
        break;
      case 1: {
        const unsigned ch = in.ConsumeIntegral<unsigned>() % 32;
        const double low = anyDouble(in);
        engine.setInputDofLimit(ch, low, anyDouble(in));
        break;
      }
      case 2: {
        const int p = in.ConsumeIntegralInRange<int>(-1, 2);
        const int i = in.ConsumeIntegralInRange<int>(-1, kBeltMixCount);
        engine.setBeltMix(p, i, anyDouble(in));
        break;
      }
      case 3: {
        const int p = in.ConsumeIntegralInRange<int>(-1, 2);
        const int ch = in.ConsumeIntegralInRange<int>(-1, kChannelCount);
        engine.setActiveAxis(p, ch, in.ConsumeBool());
        break;
      }
      case 4:
        link.ground = in.ConsumeIntegralInRange<int>(-2, 2);
        break;
      case 5: {
        const int p = in.ConsumeIntegralInRange<int>(0, 1);
        const int ch = in.ConsumeIntegralInRange<int>(0, kChannelCount - 1);
        check(engine.installFilterString(p, ch, kChains[in.ConsumeIntegralInRange<int>(0, 6)]));
        break;
      }
      default: {
        const int n = in.ConsumeIntegralInRange<int>(1, 40);
        for (int i = 0; i < n; ++i) {
          engine.selectProfile();
          checkInvariants(engine);
        }
        cycles += n;
        break;
      }
    }
  }
  engine.selectProfile();
  checkInvariants(engine);
  return 0;
}
