#pragma once
// Reader of the flight simulators (2020 and 2024 editions), which hand out
// their telemetry through their client interface. Each edition has its own
// reader and connection. Detection opens the connection; attach defines and
// requests the aircraft data on it.
#include <memory>

#include "sources/game_reader.h"

namespace kinevra {

// One open client connection to the flight simulator. Destroying it closes
// the connection.
class FlightSimConnection {
 public:
  virtual ~FlightSimConnection() = default;
};

// Opens a client connection for the application appName, without window,
// user event, event handle or configuration index. The call's result code
// goes to *result: negative on failure, when null is returned.
std::unique_ptr<FlightSimConnection> openFlightSimConnection(const char* appName, int* result);

class FlightSimReader : public GameReader {
 public:
  FlightSimReader(int gameId, Clock& clock);

  bool probe() override;
  void releaseAfterFailedProbe() override { closeConnection(); }
  int attach() override;
  int update(double* gameData) override;
  void detach() override { closeConnection(); }

  bool hasConnection() const { return connection_ != nullptr; }
  bool connected() const { return connected_; }
  int lastResult() const { return lastResult_; }

 private:
  void closeConnection();

  std::unique_ptr<FlightSimConnection> connection_;
  bool connected_ = false;
  int lastResult_ = 0;
};

}  // namespace kinevra
