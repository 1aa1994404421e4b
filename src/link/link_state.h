#pragma once
// The process-wide state of the controller link and the UDP link: the flags
// that the serial bridge, the UDP loops and the message exports poll, the five
// message queues, the UDP settings and the pacing timers of the bridge and
// the multicast sender. The library has one (linkState()); tests build their own.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "common/clock.h"
#include "common/cycle_timer.h"
#include "link/message_queue.h"
#include "link/pending_message.h"

namespace kinevra {

// Receive queues take a frame while they hold at most 150 entries; send
// queues take a message while they hold fewer than 150.
inline constexpr std::size_t kRxQueueEntries = 151;
inline constexpr std::size_t kTxQueueEntries = 150;

inline constexpr std::int32_t kDefaultListenPort = 53241;
inline constexpr const char* kDefaultMulticastAddress = "232.11.12.14";
inline constexpr std::int32_t kDefaultMulticastPort = 51324;

struct MulticastDestination {
  std::string address;
  std::int32_t port;
};

class LinkState {
 public:
  // Longest multicast address text that fits (a 20-byte field with its NUL).
  static constexpr std::size_t kMulticastAddressChars = 19;

  explicit LinkState(Clock& clock = systemClock());
  LinkState(const LinkState&) = delete;
  LinkState& operator=(const LinkState&) = delete;

  // --- Flags: written whole, polled by every link thread ---
  std::atomic<bool> bridgeRunning{false};     // the bridge loop keeps running
  std::atomic<bool> bridgeStopped{false};     // the bridge thread has finished
  std::atomic<bool> linkRunning{false};       // the UDP loops keep running
  std::atomic<bool> linkStopped{false};       // a UDP loop has finished
  std::atomic<bool> interfaceRunning{true};   // the controller interface is not paused
  std::atomic<bool> serialPortOpen{false};    // an identified controller is on the open port
  std::atomic<bool> serialDataValid{false};   // valid frames arrive over the serial port
  std::atomic<bool> udpDataValid{false};      // valid frames arrive over UDP
  std::atomic<bool> udpLinkActive{false};     // a UDP loop has been started
  // UDP loops (listener, multicast sender) between their start and their
  // end: linkStopped is set when the last of them ends, so that a stop that
  // waits for it finds both loops finished.
  std::atomic<std::int32_t> udpLoops{0};
  std::atomic<bool> autoConnect{false};       // search all COM ports while none is open
  // Set to 1 by the frame parser on a controller version of 328 or more;
  // never cleared. Automatic messages over UDP then carry the CRC.
  std::atomic<std::int32_t> autoMessageCrc{0};

  // --- Queues ---
  MessageQueue serialRxQueue{kRxQueueEntries};
  MessageQueue udpRxQueue{kRxQueueEntries};
  MessageQueue serialTxQueue{kTxQueueEntries};
  MessageQueue udpTxQueue{kTxQueueEntries};
  MessageQueue autoTxQueue{kTxQueueEntries};
  // The engine's newest output message beside each send queue, sent by the
  // serial bridge and the multicast sender after their queued host messages
  // (link/engine_output.h).
  PendingMessage serialEngineOutput;
  PendingMessage udpEngineOutput;

  // --- UDP settings, read when a UDP loop starts ---
  std::atomic<std::int32_t> listenPort{kDefaultListenPort};
  // Replaces address and port together; false (nothing changed) when the
  // address does not fit the 19-character field.
  bool setMulticastDestination(std::string_view address, std::int32_t port);
  // Address and port as one consistent pair.
  MulticastDestination multicastDestination() const;

  // --- Pacing of the serial bridge and the multicast sender ---
  CycleTimer bridgeTimer;
  CycleTimer senderTimer;

 private:
  mutable std::mutex destinationLock_;
  std::array<char, kMulticastAddressChars + 1> multicastAddress_{};
  std::int32_t multicastPort_ = kDefaultMulticastPort;
};

// The library's link state, built while the library loads and never
// destroyed, so that a link loop still running on a host thread while the
// process exits never finds its flags and queues gone.
LinkState& linkState();

}  // namespace kinevra
