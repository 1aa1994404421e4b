#pragma once
// The serial bridge: the loop that owns the controller's serial port while a
// host thread runs it, and the interface calls around it (stop, pause,
// resume, auto-connect, the last cycle's length). Each connected cycle
// writes the queued host messages, the engine's newest output and one
// automatic message to the port, reads what the controller sent and cuts it
// into frames, then paces itself to 2 ms.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string_view>
#include <vector>

#include "common/clock.h"
#include "link/com_port.h"
#include "link/link_state.h"
#include "link/serial_discovery.h"

namespace kinevra {

// Names and size of the two sections that exist while the bridge runs.
inline constexpr std::string_view kTxSectionName = "Kinevra_tx";
inline constexpr std::string_view kRxSectionName = "Kinevra_rx";
inline constexpr std::size_t kSectionBytes = 512;

class HostBridge {
 public:
  // Pause of an idle step while the interface is paused or UDP carries the link.
  static constexpr int kIdleStepMs = 100;
  // Pause of a step while no port is open and none was found.
  static constexpr int kWaitStepMs = 10;
  // Most bytes taken from the port in one cycle (the driver's input queue).
  static constexpr std::size_t kMaxReadPerCycle = 5120;

  HostBridge(LinkState& link, CSerialPort& port, SerialDiscovery& discovery, Clock& clock);
  HostBridge(const HostBridge&) = delete;
  HostBridge& operator=(const HostBridge&) = delete;

  // Runs the bridge on the calling thread until stopMMFtoSerial_Thread: 1.
  // 0 at once when another thread runs this bridge already, and 0 after the
  // clean-up when the loop ended on an unexpected error.
  int startMMFtoSerial_Thread();
  // Ends the bridge and the UDP loops and waits for those that were running
  // to finish; returns at once when none was.
  void stopMMFtoSerial_Thread();
  int pauseInterface();
  int resumeInterface();
  int enableAutoconnect();
  int disableAutoconnect();
  int isInterfaceRunning() const;
  double getOutputTimeFrame() const;

  // Runs at the end of every connected cycle, on the bridge thread (for
  // measurements). Set it before the bridge starts.
  std::function<void()> onCycle;

 private:
  void runLoop();
  void beginConnection();
  // One cycle's port work: write, read, cut frames. False when reading
  // failed (the port is closed then).
  bool exchange();
  void sendQueuedMessages();
  void sendEngineOutput();
  void sendAutoMessage();
  bool readInput();
  void writeToPort(const Message& message);
  void serialError(const CSerialException& e);

  LinkState& link_;
  CSerialPort& port_;
  SerialDiscovery& discovery_;
  Clock& clock_;
  std::atomic<bool> active_{false};  // a host thread runs the loop
  // Held by the bridge for one cycle's port work and by pauseInterface.
  std::mutex cycleLock_;

  // Bridge-thread state.
  std::vector<std::uint8_t> receive_;  // the serial receive buffer
  std::array<std::uint8_t, 512> chunk_{};
  Message outgoing_;                   // the message being written
  std::int32_t autoRepeat_ = 0;        // the auto-message repeat counter
};

// The library's bridge on the library's link state, port and discovery.
HostBridge& hostBridge();

}  // namespace kinevra
