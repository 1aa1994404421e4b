#include "link/message_routing.h"

#include <cstring>
#include <span>

#include "link/host_message.h"
#include "platform/console.h"

namespace kinevra {

namespace {
bool anyLinkRuns(const LinkState& s) { return s.bridgeRunning || s.linkRunning; }
}  // namespace

int sendMessagemmf(LinkState& s, const std::uint8_t* message) {
  if (!anyLinkRuns(s) || !message) return -1;
  const std::size_t n = hostMessageLength(message);
  if (n == 0) return -1;
  const std::span<const std::uint8_t> bytes(message, n);
  if (s.serialDataValid) {
    if (s.serialTxQueue.push(bytes)) return 1;
    if (!s.udpDataValid) return -1;
    return s.udpTxQueue.push(bytes) ? 1 : -1;
  }
  if (s.udpDataValid) return s.udpTxQueue.push(bytes) ? 1 : -1;
  s.serialTxQueue.push(bytes);
  s.udpTxQueue.push(bytes);
  return 1;
}

int autoMessagemmf(LinkState& s, const std::uint8_t* message) {
  const std::size_t n = anyLinkRuns(s) && message ? hostMessageLength(message) : 0;
  if (n == 0) {
    platform::consolePrintf("no valid data");
    return 0;
  }
  return s.autoTxQueue.push(message, n) ? 1 : 0;
}

int readMessagemmf(LinkState& s, std::uint8_t* buffer) {
  if (!buffer) return 0;
  MessageQueue* queue = s.serialDataValid ? &s.serialRxQueue : s.udpDataValid ? &s.udpRxQueue : nullptr;
  if (!queue) return 0;
  Message entry;
  if (!queue->take(entry)) return 0;
  const std::size_t n = copyOutLength(entry.data(), entry.size());
  if (n) std::memcpy(buffer, entry.data(), n);
  return static_cast<int>(n);
}

int newMessagemmf(LinkState& s) {
  if (s.serialDataValid) return s.serialRxQueue.empty() ? 0 : 1;
  if (s.udpDataValid) return s.udpRxQueue.empty() ? 0 : 1;
  return 0;
}

int isConnected(LinkState& s) { return (s.serialPortOpen || s.udpLinkActive) && anyLinkRuns(s) ? 1 : 0; }

}  // namespace kinevra
