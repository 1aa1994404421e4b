#pragma once
// Reader of the flight simulators (2020 and 2024 editions), which hand out
// their telemetry through their client interface. Each edition has its own
// reader and connection. Detection opens the connection; attach defines and
// requests the aircraft data on it; every update drains its message queue.
#include <cstdint>
#include <memory>

#include "sources/game_reader.h"

namespace kinevra {

// One open client connection to the flight simulator. Destroying it closes
// the connection. Every call returns the client's result code (negative on
// failure).
class FlightSimConnection {
 public:
  virtual ~FlightSimConnection() = default;
  virtual int addToDataDefinition(std::uint32_t defineId, const char* datumName, const char* unitsName,
                                  std::uint32_t datumType) = 0;
  virtual int requestData(std::uint32_t requestId, std::uint32_t defineId, std::uint32_t objectId,
                          std::uint32_t period) = 0;
  virtual int subscribeToSystemEvent(std::uint32_t eventId, const char* eventName) = 0;
  // The next received message (owned by the connection, valid until the next
  // call): 0 with its address and size; negative when none is queued or the
  // connection was lost.
  virtual int nextMessage(const unsigned char** data, std::uint32_t* size) = 0;
};

// Opens a client connection for the application appName, without window,
// user event, event handle or configuration index. The call's result code
// goes to *result: negative on failure, when null is returned.
std::unique_ptr<FlightSimConnection> openFlightSimConnection(const char* appName, int* result);

using FlightSimOpener = std::unique_ptr<FlightSimConnection> (*)(const char* appName, int* result);

// The message ids and fields the reader interprets.
namespace flightsim_message {
inline constexpr std::uint32_t kException = 1, kQuit = 3, kEvent = 4, kObjectData = 8;
inline constexpr std::size_t kIdAt = 8, kRequestAt = 12, kEventIdAt = 16, kDataAt = 40;
inline constexpr int kValueCount = 17;
inline constexpr std::uint32_t kQuitEvent = 7;
}  // namespace flightsim_message

class FlightSimReader : public GameReader {
 public:
  // opener: how connections are opened (a test's own connection instead of
  // the simulator's).
  FlightSimReader(int gameId, Clock& clock, FlightSimOpener opener = openFlightSimConnection);

  bool probe() override;
  void releaseAfterFailedProbe() override { closeConnection(); }
  int attach() override;
  int update(double* gameData) override;
  void detach() override { closeConnection(); }

  // Opens a fresh connection (dropping one still held): the first half of
  // the detection test.
  bool openConnection();

  bool hasConnection() const { return connection_ != nullptr; }
  bool connected() const { return connected_; }
  int lastResult() const { return lastResult_; }

 private:
  void closeConnection();
  // Takes one aircraft-data message into gameData; false when it is not one
  // the reader can use.
  bool takeData(const unsigned char* m, std::uint32_t size, double* gameData);

  FlightSimOpener opener_;
  std::unique_ptr<FlightSimConnection> connection_;
  bool connected_ = false;
  int lastResult_ = 0;
};

}  // namespace kinevra
