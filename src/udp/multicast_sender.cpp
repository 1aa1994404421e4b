#include "udp/multicast_sender.h"

#include <chrono>

#include "link/engine_output.h"
#include "link/serial_frame.h"
#include "platform/adapters.h"
#include "platform/realtime.h"
#include "udp/adapter_choice.h"
#include "udp/multicast_address.h"
#include "udp/udp_loops.h"

namespace kinevra {

namespace {
std::string withCode(const char* text, int code) { return text + std::to_string(code); }
}  // namespace

MulticastSender::MulticastSender(LinkState& link, Clock& clock, AdapterChoice chooseAdapter)
    : link_(link), clock_(clock), chooseAdapter_(std::move(chooseAdapter)) {
  if (!chooseAdapter_) chooseAdapter_ = [](ErrorLogger& l) { return GetPreferredEthernetAdapter(l); };
}

MulticastSender::~MulticastSender() {
  // A run that was left unfinished (a test's early return) gives back what it holds.
  if (running_) leaveUdpLoop(link_);
  release();
}

void MulticastSender::release() {
  if (socket_ != platform::kInvalidSocket) {
    platform::closeSocket(socket_);
    socket_ = platform::kInvalidSocket;
  }
  if (librarySocketsStarted_) {
    platform::stopSockets();
    librarySocketsStarted_ = false;
  }
}

void MulticastSender::run() {
  if (!begin()) return;
  try {
    while (step()) {
    }
  } catch (...) {
    // (Nothing in the loop is expected to throw; a stop must not wait forever.)
  }
  end();
}

bool MulticastSender::begin() {
  logger_.emplace();
  logger_->logInfo("Multicast Thread started.");
  platform::requestTimerResolution();
  platform::raiseProcessPriority();
  platform::raiseThreadPriority();

  const int started = platform::startSockets();
  if (started != 0) {
    logger_->logInfo(withCode("Multicastthread:WSAStartup failed with error: ", started));
    abandonUdpLoop(link_);
    return false;
  }
  librarySocketsStarted_ = true;

  const std::string adapter = chooseAdapter_(*logger_);
  const std::optional<std::uint32_t> sourceAddress = parseDottedIpv4(adapter);
  if (!sourceAddress) {
    logger_->logInfo("Multicastthread:No suitable Ethernet found , exiting");
    release();
    abandonUdpLoop(link_);
    return false;
  }

  socket_ = platform::openDatagramSocket();
  if (socket_ == platform::kInvalidSocket) {
    logger_->logInfo(withCode("Multicastthread:Socket failed with error: ", platform::lastSocketError()));
    release();
    abandonUdpLoop(link_);
    return false;
  }
  source_ = platform::Ipv4Endpoint{*sourceAddress, 0};
  if (!platform::bindSocket(socket_, source_)) {
    logger_->logInfo(withCode("Multicastthread:Socket failed  bind with error: ", platform::lastSocketError()));
    // The flags stay as they are: this sender never ran.
    release();
    return false;
  }
  platform::localEndpoint(socket_, &source_);
  // The adapter's interface carries the group's datagrams, not whichever
  // the routing table would pick for the group.
  platform::sendMulticastFromBoundAddress(socket_, *sourceAddress);
  logger_->logInfo("Multicastthread: Bound to Ip: " + adapter);

  // Checked when it was stored; the default is valid too.
  const MulticastDestination to = link_.multicastDestination();
  destination_ = platform::Ipv4Endpoint{parseDottedIpv4(to.address).value_or(0),
                                        static_cast<std::uint16_t>(to.port & 0xFFFF)};

  enterUdpLoop(link_);
  running_ = true;
  outgoing_.reserve(kMaxMessageBytes);
  // A pose the engine made before this run is old news for the controller.
  link_.udpEngineOutput.discard();
  logger_->logInfo("Multicastthread: starting Timer");
  link_.senderTimer.restart();
  return true;
}

bool MulticastSender::send(Message& message, bool withCrc) {
  if (withCrc) applyFrameCrc(message.data(), message.size());
  if (platform::sendTo(socket_, message.data(), message.size(), destination_) >= 0) return true;
  sendFailed();
  return false;
}

void MulticastSender::sendFailed() {
  logger_->logInfo(withCode("Multicastthread: Send failed:", platform::lastSocketError()));
  release();
  running_ = false;
  leaveUdpLoop(link_);
}

bool MulticastSender::sendEngineOutput() {
  if (!takeUdpEngineOutput(link_, outgoing_)) return true;
  return send(outgoing_, true);
}

bool MulticastSender::step() {
  if (!running_ || !link_.linkRunning) return false;
  if (!link_.interfaceRunning || link_.serialDataValid) {
    clock_.sleepMs(kIdleStepMs);
    return true;
  }
  // Every host message queued when the cycle began, oldest first.
  for (std::size_t n = link_.udpTxQueue.size(); n > 0 && link_.udpTxQueue.take(outgoing_); --n) {
    if (outgoing_.size() <= 2) continue;
    if (!send(outgoing_, true)) return false;
  }
  if (link_.autoTxQueue.takeRepeating(outgoing_, autoRepeat_) && outgoing_.size() > 2) {
    if (!send(outgoing_, link_.autoMessageCrc.load() == 1)) return false;
  }
  if (!sendEngineOutput()) return false;
  return paceCycle();
}

bool MulticastSender::paceCycle() {
  // The cycle timer's wait (a rest, then a spin past 2 ms), sending the
  // engine's newest message the moment it arrives instead of at the next
  // cycle.
  CycleTimer& timer = link_.senderTimer;
  double elapsed = 0.0;
  if (const double restUs = timer.restBeforeSpinUs(clock_.preciseTimedWaits()); restUs >= 0.0) {
    const auto restEnd = std::chrono::steady_clock::now() + std::chrono::microseconds(static_cast<std::int64_t>(restUs));
    while (link_.udpEngineOutput.waitUntilPending(restEnd))
      if (!sendEngineOutput()) return false;
  }
  do {
    if (link_.udpEngineOutput.pending() && !sendEngineOutput()) return false;
    timer.now = clock_.counter();
    elapsed = static_cast<double>(timer.now - timer.mark) / timer.ticksPerUs;
  } while (elapsed <= 2000.0);
  timer.restart();
  timer.elapsedUs = elapsed;
  return true;
}

void MulticastSender::end() {
  if (!running_) return;
  running_ = false;
  logger_->logInfo(withCode("Multicastthread: Closing Socket:", platform::lastSocketError()));
  const platform::SocketHandle s = socket_;
  socket_ = platform::kInvalidSocket;
  if (closeSocket(s) != 0) {
    // The host keeps running: the failure is logged and the thread ends
    // like any other.
    logger_->logInfo(withCode("Multicastthread: Closing Socket failed:", platform::lastSocketError()));
  } else {
    logger_->logInfo(withCode("Multicastthread: Exiting:", platform::lastSocketError()));
  }
  release();
  leaveUdpLoop(link_);
}

}  // namespace kinevra
