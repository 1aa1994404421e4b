#pragma once
// The UDP listener: receives the controller's datagrams on listenPort, cuts
// each into frames for the host (udpRxQueue), keeps udpDataValid while valid
// frames come, and after 8 s without one drops the host's pending messages
// once. It idles while the serial link carries valid frames.
#include <cstdint>
#include <optional>

#include "common/clock.h"
#include "link/link_state.h"
#include "log/error_logger.h"
#include "udp/udp_socket.h"

namespace kinevra {

class UdpListener {
 public:
  static constexpr std::int64_t kSilenceNs = 8'000'000'000;
  static constexpr int kIdleStepMs = 100;
  static constexpr int kCycleMs = 2;

  UdpListener(LinkState& link, Clock& clock);
  UdpListener(const UdpListener&) = delete;
  UdpListener& operator=(const UdpListener&) = delete;
  // A run left unfinished (an error inside the loop) still ends the loop.
  ~UdpListener();

  // The whole run on the calling thread, until linkRunning is cleared.
  void run();

  // The run's parts, for tests that step the loop by hand:
  // start (flags, socket, log lines) ...
  void begin();
  // ... one pass of the loop (false, nothing done, once linkRunning is
  // clear) ...
  bool step();
  // ... and the end (socket closed, flags).
  void end();

 private:
  LinkState& link_;
  Clock& clock_;
  std::optional<ErrorLogger> logger_;
  std::optional<UdpSocket> socket_;
  std::int64_t lastValidNs_ = 0;
  bool running_ = false;  // between begin and end
};

}  // namespace kinevra
