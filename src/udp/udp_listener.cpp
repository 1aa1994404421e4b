#include "udp/udp_listener.h"

#include "link/frame_parser.h"
#include "platform/realtime.h"
#include "udp/udp_loops.h"

namespace kinevra {

UdpListener::UdpListener(LinkState& link, Clock& clock) : link_(link), clock_(clock) {}

UdpListener::~UdpListener() { end(); }

void UdpListener::run() {
  begin();
  try {
    while (step()) {
    }
  } catch (...) {
    // (Nothing in the loop is expected to throw; a stop must not wait forever.)
  }
  end();
}

void UdpListener::begin() {
  logger_.emplace();
  logger_->logInfo("Udp listen thread: starting");
  platform::requestTimerResolution();
  platform::raiseProcessPriority();
  platform::raiseThreadPriority();
  enterUdpLoop(link_);
  running_ = true;
  socket_.emplace();
  // A port that cannot be opened is logged by the socket; the loop runs on
  // and receives nothing.
  socket_->openPort(link_.listenPort.load());
  logger_->logInfo("Udp listen thread: port opened starting main routine");
  lastValidNs_ = clock_.steadyNs();
}

bool UdpListener::step() {
  if (!running_ || !link_.linkRunning) return false;
  if (link_.serialDataValid) {
    // The serial link has priority: datagrams wait in the socket.
    clock_.sleepMs(kIdleStepMs);
    return true;
  }
  // Each datagram on its own: the bytes of a frame cut off at its end go
  // with it.
  const std::span<const std::uint8_t> datagram = socket_->receiveView();
  if (!datagram.empty()) {
    bool accepted = false;
    scanFrames(datagram, link_.udpRxQueue, link_.autoMessageCrc, accepted);
    if (accepted) {
      link_.udpDataValid = true;
      lastValidNs_ = clock_.steadyNs();
    }
  }
  if (link_.udpDataValid && clock_.steadyNs() - lastValidNs_ >= kSilenceNs) {
    // The controller has gone quiet: what the host queued for it is stale.
    link_.udpDataValid = false;
    link_.serialTxQueue.clear();
    link_.udpTxQueue.clear();
    link_.udpEngineOutput.discard();
  }
  clock_.sleepMs(kCycleMs);
  return true;
}

void UdpListener::end() {
  if (!running_) return;
  running_ = false;
  if (logger_) logger_->logInfo("Udp listen thread: closing");
  if (socket_) socket_->closePort();
  leaveUdpLoop(link_);
  socket_.reset();
  logger_.reset();
}

}  // namespace kinevra
