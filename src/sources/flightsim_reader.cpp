#include "sources/flightsim_reader.h"

namespace kinevra {

namespace {
constexpr char kAppName[] = "Kinevra";
}

FlightSimReader::FlightSimReader(int gameId, Clock& clock)
    : GameReader(gameId, clock, GravityDirection::AddToAcceleration) {}

void FlightSimReader::closeConnection() {
  connection_.reset();
  connected_ = false;
}

bool FlightSimReader::probe() {
  // Detection runs only while nothing is attached, so a connection still
  // held here is left over from a pass whose attach failed: start afresh
  // rather than open a second one beside it.
  closeConnection();
  connection_ = openFlightSimConnection(kAppName, &lastResult_);
  if (lastResult_ < 0 || !connection_) {
    closeConnection();
    return false;
  }
  connected_ = true;
  if (gameProcessRunning()) return true;
  // Another edition answered the connection: not this game.
  closeConnection();
  return false;
}

int FlightSimReader::attach() {
  if (!connection_) return 0;
  // The aircraft-data definitions, the request and the event subscriptions
  // are made through the client transport; without them the set-up fails,
  // and a failed set-up closes the connection.
  closeConnection();
  return 0;
}

int FlightSimReader::update(double*) {
  // Telemetry arrives through the client transport's message queue; without
  // it there is never new data.
  return 0;
}

}  // namespace kinevra
