#pragma once
// The flight simulator's client interface, as the flight-simulator reader
// uses it: open a connection, define and request data, subscribe to events,
// take the simulator's messages one at a time, close. Results are HRESULT
// codes: 0 for success, negative for failure.
//
// The caller's thread makes the calls; the simulator's messages arrive on the
// I/O threads and wait in the connection's queue.
#include <cstdint>
#include <string>

#include "flightsim_client/client_wire.h"

namespace kinevra::flightsim {

class ClientClient;
using ClientHandle = ClientClient*;

// Opens a connection: *handle receives it (null on failure). appName has at
// most 255 characters (else 0x8007007A); window and windowMessage (both set)
// get a posted message and event is signalled whenever a message arrives or
// the connection is lost; configIndex names the configuration section (0 the
// default one, -1 none at all; E_INVALIDARG when no file has its section).
// E_FAIL when no connection could be made.
std::int32_t clientOpen(ClientHandle* handle, const char* appName, std::uintptr_t window, std::uint32_t windowMessage,
                        std::uintptr_t event, int configIndex);

std::int32_t clientAddToDataDefinition(ClientHandle handle, std::uint32_t defineId, const char* datumName,
                                       const char* unitsName, std::uint32_t datumType, float epsilon,
                                       std::uint32_t datumId);
std::int32_t clientRequestDataOnSimObject(ClientHandle handle, std::uint32_t requestId, std::uint32_t defineId,
                                          std::uint32_t objectId, std::uint32_t period, std::uint32_t flags,
                                          std::uint32_t origin, std::uint32_t interval, std::uint32_t limit);
std::int32_t clientSubscribeToSystemEvent(ClientHandle handle, std::uint32_t eventId, const char* eventName);

// The next received message: 0 with its address and size; E_FAIL when none
// is queued; the close code when the connection was lost. The message stays
// the connection's and is valid until the next call or the close.
std::int32_t clientGetNextDispatch(ClientHandle handle, const unsigned char** data, std::uint32_t* size);

// Closes the connection (waiting 100 ms for the last send first); the handle
// is gone afterwards. E_FAIL only for a null handle.
std::int32_t clientClose(ClientHandle handle);

// --- Watching the connection attempts (diagnostics and tests) ---

struct ConnectAttempt {
  bool pipe = false;
  bool ipv6 = false;  // TCP only
  std::string address;
  std::string port;  // the pipe's full name for a pipe
  bool connected = false;
};
using ConnectObserver = void (*)(void* context, const ConnectAttempt& attempt);
// Every later attempt of every open is reported to observer (null: none).
void setConnectObserver(ConnectObserver observer, void* context);

// Connections open in the process (those not yet closed by their caller).
int openClientCount();

}  // namespace kinevra::flightsim
