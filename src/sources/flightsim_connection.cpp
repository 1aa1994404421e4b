// The flight simulator's client connection, through the client transport.
#include "flightsim_client/flightsim_client.h"
#include "sources/flightsim_reader.h"

namespace kinevra {

namespace {

class ClientConnection final : public FlightSimConnection {
 public:
  explicit ClientConnection(flightsim::ClientHandle handle) : handle_(handle) {}
  ~ClientConnection() override { flightsim::clientClose(handle_); }
  ClientConnection(const ClientConnection&) = delete;
  ClientConnection& operator=(const ClientConnection&) = delete;

  int addToDataDefinition(std::uint32_t defineId, const char* datumName, const char* unitsName,
                          std::uint32_t datumType) override {
    return flightsim::clientAddToDataDefinition(handle_, defineId, datumName, unitsName, datumType, 0.0f,
                                                0xFFFFFFFFu);
  }
  int requestData(std::uint32_t requestId, std::uint32_t defineId, std::uint32_t objectId,
                  std::uint32_t period) override {
    return flightsim::clientRequestDataOnSimObject(handle_, requestId, defineId, objectId, period, 0, 0, 0, 0);
  }
  int subscribeToSystemEvent(std::uint32_t eventId, const char* eventName) override {
    return flightsim::clientSubscribeToSystemEvent(handle_, eventId, eventName);
  }
  int nextMessage(const unsigned char** data, std::uint32_t* size) override {
    return flightsim::clientGetNextDispatch(handle_, data, size);
  }

 private:
  flightsim::ClientHandle handle_;
};

}  // namespace

std::unique_ptr<FlightSimConnection> openFlightSimConnection(const char* appName, int* result) {
  flightsim::ClientHandle handle = nullptr;
  const std::int32_t r = flightsim::clientOpen(&handle, appName, 0, 0, 0, 0);
  if (result) *result = r;
  if (r < 0 || !handle) {
    if (handle) flightsim::clientClose(handle);
    if (result && r >= 0) *result = static_cast<int>(0x80004005u);
    return nullptr;
  }
  return std::make_unique<ClientConnection>(handle);
}

}  // namespace kinevra
