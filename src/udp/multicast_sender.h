#pragma once
// The multicast sender: every 2 ms it sends the host's pending messages
// (with their CRC), one automatic message (with the CRC once the controller
// has reported a version that expects it) and the engine's newest rig
// message to the multicast group, from the address of the preferred wired
// Ethernet adapter. It idles while the interface is paused or the serial
// link carries valid frames.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/clock.h"
#include "link/link_state.h"
#include "log/error_logger.h"
#include "platform/sockets.h"

namespace kinevra {

class MulticastSender {
 public:
  static constexpr int kIdleStepMs = 100;
  // The source address (dotted text), or empty for none.
  using AdapterChoice = std::function<std::string(ErrorLogger&)>;

  // The library's sender chooses among the system's adapters; tests may
  // hand in a list of their own.
  MulticastSender(LinkState& link, Clock& clock, AdapterChoice chooseAdapter = {});
  MulticastSender(const MulticastSender&) = delete;
  MulticastSender& operator=(const MulticastSender&) = delete;
  ~MulticastSender();

  // The whole run on the calling thread, until linkRunning is cleared or a
  // send fails.
  void run();

  // The run's parts, for tests that step the loop by hand: the start (false:
  // the sender stopped at once, every resource released) ...
  bool begin();
  // ... one cycle (false, once the loop ended: linkRunning clear, or a send
  // failed, which released everything) ...
  bool step();
  // ... and the end after linkRunning was cleared.
  void end();

  // How the socket is closed (tests make it fail).
  std::function<int(platform::SocketHandle)> closeSocket = platform::closeSocket;

  // The bound source and the destination of this run.
  const platform::Ipv4Endpoint& source() const { return source_; }
  const platform::Ipv4Endpoint& destination() const { return destination_; }

 private:
  bool send(Message& message, bool withCrc);
  bool sendEngineOutput();
  bool paceCycle();
  void sendFailed();
  void release();

  LinkState& link_;
  Clock& clock_;
  AdapterChoice chooseAdapter_;
  std::optional<ErrorLogger> logger_;
  platform::SocketHandle socket_ = platform::kInvalidSocket;
  bool librarySocketsStarted_ = false;
  bool running_ = false;  // between a successful begin and the end
  platform::Ipv4Endpoint source_;
  platform::Ipv4Endpoint destination_;
  Message outgoing_;
  std::int32_t autoRepeat_ = 0;
};

}  // namespace kinevra
