// Stands in for the flight simulator's client transport until the library
// carries it: no connection can be opened, so detection never finds either
// edition of the simulator.
#include "sources/flightsim_reader.h"

namespace kinevra {

namespace {
// The client interface's general failure code (E_FAIL).
constexpr int kClientFailure = static_cast<int>(0x80004005u);
}  // namespace

std::unique_ptr<FlightSimConnection> openFlightSimConnection(const char*, int* result) {
  if (result) *result = kClientFailure;
  return nullptr;
}

}  // namespace kinevra
