// The engine's exports for the rig output, motion cancel and snapshots.
#include <cstring>

#include "engine/engine_instance.h"
#include "engine/export_guard.h"
#include "kinevra.h"

using kinevra::engine;
using kinevra::guarded;

namespace {
// Hosts may hand a bool over as the low byte of an int; any nonzero byte
// means true, whatever the compiler assumes about a bool's representation.
bool byteSet(const bool& flag) {
  unsigned char raw = 0;
  std::memcpy(&raw, &flag, 1);
  return raw != 0;
}
}  // namespace

extern "C" {

KINEVRA_API void KINEVRA_CALL SetRigDofLimitValue(int channel, double low, double high) {
  guarded([&] { engine().setRigDofLimit(channel, low, high); });
}

KINEVRA_API void KINEVRA_CALL getOutputData(unsigned char* message) {
  guarded([&] {
    auto& e = engine();
    if (message) e.copyOutputData(message);
  });
}

KINEVRA_API void KINEVRA_CALL activateMotionCancel(bool on) {
  guarded([&] { engine().activateMotionCancel(byteSet(on)); });
}

KINEVRA_API bool KINEVRA_CALL setFilterMotionCancel(double k) {
  return guarded(false, [&] { return engine().setFilterMotionCancel(k); });
}

KINEVRA_API bool KINEVRA_CALL setGainMotionCancel(double gain) {
  return guarded(false, [&] { return engine().setGainMotionCancel(gain); });
}

KINEVRA_API const double* KINEVRA_CALL GetCalculationSnapshots(int* count) {
  return guarded(static_cast<const double*>(nullptr),
                 [&] { return engine().takeCalculationSnapshots(count); });
}

// One release operation, exported under both names.
KINEVRA_API void KINEVRA_CALL FreeCalculationSnapshots(const double* snapshots) {
  guarded([&] { kinevra::Gamesource::freeSnapshots(snapshots); });
}

KINEVRA_API const double* KINEVRA_CALL GetAccelerationSnapshots(int* count) {
  return guarded(static_cast<const double*>(nullptr),
                 [&] { return engine().takeAccelerationSnapshots(count); });
}

KINEVRA_API void KINEVRA_CALL FreeAccelerationSnapshots(const double* snapshots)
    __attribute__((alias("FreeCalculationSnapshots")));

KINEVRA_API const double* KINEVRA_CALL GetPositionSnapshot(void) {
  return guarded(static_cast<const double*>(nullptr),
                 [] { return static_cast<const double*>(engine().positionSnapshot.data()); });
}

}  // extern "C"
