#include "flightsim_client/flightsim_client.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "flightsim_client/client.h"
#include "flightsim_client/client_config.h"
#include "platform/notification.h"
#include "platform/sockets.h"

namespace kinevra::flightsim {

namespace {

// The process-wide list of open clients, and whether this transport started
// the socket library.
std::mutex gListLock;
ClientClient* gFirstClient = nullptr;
int gClientCount = 0;
bool gSocketsStarted = false;

std::mutex gObserverLock;
ConnectObserver gObserver = nullptr;
void* gObserverContext = nullptr;

void report(const ConnectAttempt& a) {
  std::lock_guard<std::mutex> g(gObserverLock);
  if (gObserver) gObserver(gObserverContext, a);
}

bool startSocketLibrary() {
  std::lock_guard<std::mutex> g(gListLock);
  if (gSocketsStarted) return true;
  if (platform::startSockets() != 0) return false;
  gSocketsStarted = true;
  return true;
}

void linkClient(ClientClient* c) {
  std::lock_guard<std::mutex> g(gListLock);
  c->nextClient = gFirstClient;
  if (gFirstClient) gFirstClient->prevClient = c;
  gFirstClient = c;
  ++gClientCount;
}

// True when the client was in the list (and is no more).
bool unlinkClient(ClientClient* c) {
  std::lock_guard<std::mutex> g(gListLock);
  bool found = false;
  for (ClientClient* p = gFirstClient; p; p = p->nextClient) found = found || p == c;
  if (!found) return false;
  if (c->prevClient) c->prevClient->nextClient = c->nextClient;
  else gFirstClient = c->nextClient;
  if (c->nextClient) c->nextClient->prevClient = c->prevClient;
  c->prevClient = c->nextClient = nullptr;
  --gClientCount;
  return true;
}

// Once no client is left: wait (250 ms at a time, at most 5 s) until the last
// connection's completions have run, then give the socket library back.
void releaseWhenIdle() {
  {
    std::lock_guard<std::mutex> g(gListLock);
    if (gClientCount > 0) return;
  }
  for (int i = 0; i < 20 && CClient::liveCount() > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  std::lock_guard<std::mutex> g(gListLock);
  if (gClientCount == 0 && gSocketsStarted && CClient::liveCount() == 0) {
    platform::stopSockets();
    gSocketsStarted = false;
  }
}

// Who hears of arrivals and losses: set on each attempt's object before its
// first receive can complete.
struct Notification {
  std::uintptr_t window = 0;
  std::uint32_t message = 0;
  std::uintptr_t event = 0;
  std::uintptr_t hostWindow = 0;
};

ClientClient* newClient(platform::StreamKind mode, const Notification& n) {
  auto* client = new ClientClient(mode);
  client->setNotification(n.window, n.message, n.event);
  client->setHostSimulatorWindow(n.hostWindow);
  return client;
}

ClientClient* tryPipe(const std::string& address, const std::string& port, const ClientConfig& c,
                      const Notification& n) {
  ConnectAttempt a;
  a.pipe = true;
  a.address = address.empty() ? "." : address;
  a.port = pipeNameFor(address, port);
  auto* client = newClient(platform::StreamKind::Pipe, n);
  a.connected = client->openPipe(address, port, c.maxReceiveSize);
  report(a);
  if (a.connected) return client;
  client->release();
  return nullptr;
}

ClientClient* tryTcp(const std::string& address, const std::string& port, bool ipv6, const ClientConfig& c,
                     const Notification& n) {
  if (port.empty()) return nullptr;  // no port known: no attempt
  ConnectAttempt a;
  a.ipv6 = ipv6;
  a.address = address;
  a.port = port;
  auto* client = newClient(platform::StreamKind::Tcp, n);
  a.connected = client->openTcp(address, port, ipv6, c.maxReceiveSize, c.noDelay);
  report(a);
  if (a.connected) return client;
  client->release();
  return nullptr;
}

// The pipe first; then TCP over IPv6 and IPv4 on this machine; then this
// machine's own pipe once more.
ClientClient* connect(ClientConfig c, const Notification& n) {
  enum Step { kPipe, kIPv6, kIPv4 } step =
      c.protocol == Protocol::IPv6 ? kIPv6 : c.protocol == Protocol::IPv4 ? kIPv4 : kPipe;
  if (step == kPipe) {
    if (ClientClient* client = tryPipe(c.address, c.port, c, n)) return client;
    if (!c.address.empty() && c.address != ".") return nullptr;
    c.address = "::1";
    c.port = registryPort(true);
    step = kIPv6;
  }
  if (step == kIPv6) {
    if (!startSocketLibrary()) return nullptr;
    if (ClientClient* client = tryTcp(c.address, c.port, true, c, n)) return client;
    if (c.address != "::1") return nullptr;
    c.address = "127.0.0.1";
    c.port = registryPort(false);
  }
  if (!startSocketLibrary()) return nullptr;
  if (ClientClient* client = tryTcp(c.address, c.port, false, c, n)) return client;
  if (c.address != "127.0.0.1") return nullptr;
  return tryPipe(".", "", c, n);
}

}  // namespace

std::int32_t clientOpen(ClientHandle* handle, const char* appName, std::uintptr_t window, std::uint32_t windowMessage,
                        std::uintptr_t event, int configIndex) {
  if (handle) *handle = nullptr;
  if (!handle) return kInvalidArg;
  // The name is checked before anything is opened: the open message could
  // not carry it.
  if (appName && ::strnlen(appName, kTextField) >= kTextField) return kInsufficientBuffer;
  if (!configIndexKnown(configIndex)) return kInvalidArg;
  const ClientConfig config = readClientConfig(configIndex);

  // Inside the simulator's own process its window is remembered; the
  // connection itself still runs over the pipe or TCP.
  Notification n{window, windowMessage, event, 0};
  if (!platform::findHostSimulatorWindow(&n.hostWindow)) n.hostWindow = 0;

  ClientClient* client = connect(config, n);
  if (!client) {
    releaseWhenIdle();
    return kFail;
  }

  std::int32_t result = kOk;
  unsigned char* msg = client->beginMessage(kOpenSize, kTypeOpen, &result);
  if (!msg || !writeOpenBody(msg, appName)) {
    client->closeByCaller();
    client->release();
    releaseWhenIdle();
    return kFail;
  }
  client->flush();
  linkClient(client);
  *handle = client;
  return kOk;
}

namespace {

bool known(ClientHandle handle) {
  if (!handle) return false;
  std::lock_guard<std::mutex> g(gListLock);
  for (ClientClient* p = gFirstClient; p; p = p->nextClient) {
    if (p == handle) return true;
  }
  return false;
}

}  // namespace

std::int32_t clientAddToDataDefinition(ClientHandle handle, std::uint32_t defineId, const char* datumName,
                                       const char* unitsName, std::uint32_t datumType, float epsilon,
                                       std::uint32_t datumId) {
  if (!known(handle)) return kFail;
  std::int32_t result = kOk;
  unsigned char* msg = handle->beginMessage(kAddToDataDefinitionSize, kTypeAddToDataDefinition, &result);
  if (!msg) return result;
  if (!writeAddToDataDefinitionBody(msg, defineId, datumName, unitsName, datumType, epsilon, datumId)) {
    handle->abandonMessage(kAddToDataDefinitionSize);
    return kInsufficientBuffer;
  }
  handle->flush();
  return kOk;
}

std::int32_t clientRequestDataOnSimObject(ClientHandle handle, std::uint32_t requestId, std::uint32_t defineId,
                                          std::uint32_t objectId, std::uint32_t period, std::uint32_t flags,
                                          std::uint32_t origin, std::uint32_t interval, std::uint32_t limit) {
  if (!known(handle)) return kFail;
  std::int32_t result = kOk;
  unsigned char* msg = handle->beginMessage(kRequestDataOnSimObjectSize, kTypeRequestDataOnSimObject, &result);
  if (!msg) return result;
  writeRequestDataOnSimObjectBody(msg, requestId, defineId, objectId, period, flags, origin, interval, limit);
  handle->flush();
  return kOk;
}

std::int32_t clientSubscribeToSystemEvent(ClientHandle handle, std::uint32_t eventId, const char* eventName) {
  if (!known(handle)) return kFail;
  std::int32_t result = kOk;
  unsigned char* msg = handle->beginMessage(kSubscribeToSystemEventSize, kTypeSubscribeToSystemEvent, &result);
  if (!msg) return result;
  if (!writeSubscribeToSystemEventBody(msg, eventId, eventName)) {
    handle->abandonMessage(kSubscribeToSystemEventSize);
    return kInsufficientBuffer;
  }
  handle->flush();
  return kOk;
}

std::int32_t clientGetNextDispatch(ClientHandle handle, const unsigned char** data, std::uint32_t* size) {
  if (data) *data = nullptr;
  if (size) *size = 0;
  if (!known(handle)) return kFail;
  return handle->nextDispatch(data, size);
}

std::int32_t clientClose(ClientHandle handle) {
  if (!known(handle)) return kFail;
  handle->flush();  // a partly built message goes out too
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  unlinkClient(handle);
  handle->closeByCaller();
  handle->release();
  releaseWhenIdle();
  return kOk;
}

void setConnectObserver(ConnectObserver observer, void* context) {
  std::lock_guard<std::mutex> g(gObserverLock);
  gObserver = observer;
  gObserverContext = context;
}

int openClientCount() {
  std::lock_guard<std::mutex> g(gListLock);
  return gClientCount;
}

}  // namespace kinevra::flightsim
