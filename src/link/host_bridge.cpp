#include "link/host_bridge.h"

#include <algorithm>
#include <chrono>
#include <new>

#include "link/engine_output.h"
#include "link/frame_parser.h"
#include "link/serial_frame.h"
#include "platform/console.h"
#include "platform/realtime.h"
#include "platform/serial_port.h"
#include "platform/shared_memory.h"

namespace kinevra {

namespace {

// Creates and maps one of the bridge's sections; on failure reports it and
// leaves the section closed.
bool openSection(platform::SharedMemory& section, std::string_view name) {
  if (section.createOrOpen(name, kSectionBytes) && section.mapWrite(kSectionBytes)) return true;
  platform::consolePrintf("Could not map view of file (%d).\n", static_cast<int>(section.lastError()));
  section.close();
  return false;
}

}  // namespace

HostBridge::HostBridge(LinkState& link, CSerialPort& port, SerialDiscovery& discovery, Clock& clock)
    : link_(link), port_(port), discovery_(discovery), clock_(clock) {}

int HostBridge::startMMFtoSerial_Thread() {
  {
    // One bridge per port: a second host thread would interleave its writes
    // with the first one's and share its receive buffer. Running from here
    // on: a stop that comes while the sections are made clears the flag,
    // and the loop then ends at once.
    std::lock_guard<std::mutex> guard(lifecycleLock_);
    if (active_) return 0;
    active_ = true;
    link_.bridgeStopped = false;
    link_.bridgeRunning = true;
    link_.interfaceRunning = true;
  }
  platform::requestTimerResolution();
  platform::raiseProcessPriority();
  platform::raiseThreadPriority();
  platform::clearLastSystemError();

  platform::SharedMemory tx, rx;
  int result = 1;
  try {
    // What a cycle can leave (less than one frame) plus one cycle's input:
    // the buffers never grow inside the loop.
    receive_.reserve(kLongestFrame + kMaxReadPerCycle + chunk_.size());
    outgoing_.reserve(kMaxMessageBytes);
    if (openSection(tx, kTxSectionName)) openSection(rx, kRxSectionName);
    link_.bridgeTimer.restart();
    runLoop();
  } catch (...) {
    // Nothing here is expected to throw (serial errors are handled where
    // they occur); whatever did must not leave a stop waiting forever.
    link_.bridgeRunning = false;
    result = 0;
  }
  rx.close();
  tx.close();
  discovery_.closeComPort();
  // The bridge outlives every run (it is never destroyed); between runs it
  // keeps no memory that an unloaded library would leave behind.
  std::vector<std::uint8_t>().swap(receive_);
  Message().swap(outgoing_);
  {
    // Together: a host that saw the stop may start the bridge again at
    // once, and a new run's start is never followed by this run's end.
    std::lock_guard<std::mutex> guard(lifecycleLock_);
    active_ = false;
    link_.bridgeStopped = true;
  }
  return result;
}

void HostBridge::stopMMFtoSerial_Thread() {
  const bool bridge = link_.bridgeRunning.exchange(false);
  const bool udp = link_.linkRunning.exchange(false);
  // Waits for each loop that was running; nothing to wait for when none was
  // (a finished-flag that nobody will ever set would block the host forever).
  while ((bridge && !link_.bridgeStopped) || (udp && !link_.linkStopped)) clock_.sleepMs(1);
}

int HostBridge::pauseInterface() {
  // Between two cycles: once this returns no cycle is under way, so the
  // host's next messages wait in their queue until the interface resumes
  // instead of meeting a cycle that writes them to the closed port.
  std::lock_guard<std::mutex> guard(cycleLock_);
  link_.interfaceRunning = false;
  discovery_.closeComPort();
  return 1;
}

int HostBridge::resumeInterface() {
  link_.interfaceRunning = true;
  if (link_.autoConnect) return 1;  // the bridge finds the port itself
  for (int attempt = 0; attempt < 3; ++attempt) {
    discovery_.openStandardPort();
    if (link_.serialPortOpen) return 1;
    clock_.sleepMs(500);
  }
  return 0;
}

int HostBridge::enableAutoconnect() {
  link_.autoConnect = true;
  return 1;
}

int HostBridge::disableAutoconnect() {
  link_.autoConnect = false;
  return 1;
}

int HostBridge::isInterfaceRunning() const { return link_.interfaceRunning ? 1 : 0; }

double HostBridge::getOutputTimeFrame() const { return link_.bridgeTimer.lastCycleMs(); }

void HostBridge::runLoop() {
  bool connected = false;  // the previous pass was a connected cycle
  while (link_.bridgeRunning) {
    if (!link_.interfaceRunning || link_.udpDataValid) {
      connected = false;
      clock_.sleepMs(kIdleStepMs);
      continue;
    }
    if (!link_.serialPortOpen) {
      connected = false;
      link_.serialDataValid = false;
      link_.serialEngineOutput.discard();
      // A pass that found nothing, or no search at all, would otherwise
      // repeat at once: a time-critical thread spinning on nothing.
      if (!link_.autoConnect || discovery_.autoConnectPass() != 1) clock_.sleepMs(kWaitStepMs);
      continue;
    }
    {
      std::lock_guard<std::mutex> guard(cycleLock_);
      // A pause may have come in since the checks above.
      if (!link_.interfaceRunning || !link_.serialPortOpen) continue;
      if (!connected) {
        beginConnection();
        connected = true;
      }
      if (!exchange()) continue;  // the port is closed now; the next pass finds it so
    }
    paceCycle();
    if (onCycle) onCycle();
  }
}

void HostBridge::beginConnection() {
  // Output the engine made before these cycles began is old: the controller
  // gets what is queued (the after-connect messages first) and then only
  // fresh poses. Bytes left from an earlier connection belong to no frame of
  // this one.
  link_.serialEngineOutput.discard();
  receive_.clear();
  link_.bridgeTimer.restart();
}

bool HostBridge::exchange() {
  sendQueuedMessages();
  sendEngineOutput();
  sendAutoMessage();
  if (!readInput()) return false;
  if (extractFrames(receive_, link_.serialRxQueue, link_.autoMessageCrc)) link_.serialDataValid = true;
  return true;
}

void HostBridge::sendQueuedMessages() {
  // Every entry queued when the cycle began, oldest first; what arrives
  // meanwhile waits for the next cycle, so busy host threads cannot hold
  // the cycle. A write that fails closes the port: the entries behind it stay
  // queued for the next connection instead of being taken for a closed port.
  for (std::size_t n = link_.serialTxQueue.size();
       n > 0 && link_.serialPortOpen && link_.serialTxQueue.take(outgoing_); --n) {
    if (outgoing_.empty()) continue;
    applyFrameCrc(outgoing_.data(), outgoing_.size());
    writeToPort(outgoing_);
  }
}

void HostBridge::sendEngineOutput() {
  if (!takeSerialEngineOutput(link_, outgoing_)) return;
  applyFrameCrc(outgoing_.data(), outgoing_.size());
  writeToPort(outgoing_);
}

void HostBridge::paceCycle() {
  // Paced as the cycle timer's wait paces (a rest, then a spin past 2 ms),
  // except that the engine's newest message is written the moment it arrives
  // rather than at the next cycle's start: a pose waits for the engine's
  // cycle only, not also for the bridge's. Where timed waits are precise the
  // rest lasts until the spin's last stretch; elsewhere it is 1 ms while less
  // than 1000 us have passed.
  CycleTimer& timer = link_.bridgeTimer;
  double elapsed = 0.0;
  if (const double restUs = timer.restBeforeSpinUs(clock_.preciseTimedWaits()); restUs >= 0.0) {
    const auto restEnd = std::chrono::steady_clock::now() + std::chrono::microseconds(static_cast<std::int64_t>(restUs));
    while (link_.serialEngineOutput.waitUntilPending(restEnd)) forwardEngineOutput();
  }
  do {
    if (link_.serialEngineOutput.pending()) forwardEngineOutput();
    timer.now = clock_.counter();
    elapsed = static_cast<double>(timer.now - timer.mark) / timer.ticksPerUs;
  } while (elapsed <= 2000.0);
  timer.restart();
  timer.elapsedUs = elapsed;
}

void HostBridge::forwardEngineOutput() {
  std::lock_guard<std::mutex> guard(cycleLock_);
  // A pause or a failed write may have closed the port since the cycle:
  // the message goes (a new connection would discard it anyway).
  if (!link_.interfaceRunning || !link_.serialPortOpen) {
    link_.serialEngineOutput.discard();
    return;
  }
  sendEngineOutput();
}

void HostBridge::sendAutoMessage() {
  // Automatic messages go out as they are, with their LF CR.
  if (link_.autoTxQueue.takeRepeating(outgoing_, autoRepeat_) && outgoing_.size() > 2) writeToPort(outgoing_);
}

bool HostBridge::readInput() {
  try {
    std::size_t total = 0;
    while (total < kMaxReadPerCycle) {
      const std::uint32_t waiting = port_.bytesWaiting();
      if (waiting == 0) break;
      const std::size_t want = std::min({static_cast<std::size_t>(waiting), chunk_.size(), kMaxReadPerCycle - total});
      const std::size_t got = port_.read(chunk_.data(), want);
      if (got == 0) break;
      receive_.insert(receive_.end(), chunk_.begin(), chunk_.begin() + static_cast<std::ptrdiff_t>(got));
      total += got;
    }
    return true;
  } catch (const CSerialException& e) {
    serialError(e);
    return false;
  }
}

void HostBridge::writeToPort(const Message& message) {
  try {
    port_.write(message.data(), message.size());
  } catch (const CSerialException& e) {
    serialError(e);
  }
}

void HostBridge::serialError(const CSerialException& e) {
  // Reported once per closure: after the first failure (or a pause closing
  // the port under the cycle) the rest of the cycle's writes fail on the
  // closed port, which says nothing new.
  if (link_.serialPortOpen) platform::consolePrintf(" Serial Exception Error: %u \n", static_cast<unsigned>(e.error));
  discovery_.closeComPort();
}

HostBridge& hostBridge() {
  // Never destroyed, like the link state, port and discovery it works on: a
  // bridge still running on a host thread at exit never meets a destroyed one.
  alignas(HostBridge) static unsigned char storage[sizeof(HostBridge)];
  static HostBridge* const bridge =
      new (storage) HostBridge(linkState(), serialPort(), serialDiscovery(), systemClock());
  return *bridge;
}

}  // namespace kinevra
