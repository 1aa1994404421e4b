#include "wind/wind_serial.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <system_error>

#include "platform/thread_name.h"

namespace kinevra {

namespace {

constexpr std::uint8_t kFanOff = 0x00;
// Failed starts after which start does nothing until init or stop.
constexpr std::int32_t kStartAttempts = 3;
// The sending thread pauses at least this long per step, whatever the
// configured interval, so that an interval of 0 cannot make it spin.
constexpr std::uint32_t kMinimumIntervalMs = 1;

constexpr platform::SerialTimeouts kTimeouts{
    .readIntervalMs = 50,
    .readTotalMultiplierMs = 10,
    .readTotalConstantMs = 50,
    .writeTotalMultiplierMs = 10,
    .writeTotalConstantMs = 50,
};

}  // namespace

// Lock order: control, then io; bufferMutex is never held together with
// either. The sending thread takes only io and bufferMutex, so stop may join
// it while holding control.
struct WindSerial::Port {
  platform::SerialDevice device;
  // init, start and stop, one at a time: they read and write the stored
  // configuration, open and close the device and own the thread.
  std::mutex control;
  // The device: every write, and its open and close. A fan-off byte and the
  // flag it goes with (paused, running) are set under it together, so the
  // sending thread never writes a byte after them.
  std::mutex io;
  // Ends the sending thread's pause when running is cleared.
  std::condition_variable wake;

  // One byte, the result not examined (a fan that misses a byte gets the
  // next one). Call with io held.
  void writeByte(std::uint8_t b) {
    std::size_t written = 0;
    device.write(&b, 1, &written);
  }
};

std::uint8_t windPowerByte(double percent) {
  if (!(percent > 0.0)) return 0;  // below zero, zero and NaN: off
  const float clamped = static_cast<float>(std::min(percent, 100.0));
  return static_cast<std::uint8_t>(clamped / 100.0f * 255.0f);
}

bool frameFormatLine(const std::string& format, platform::SerialLineSettings& line) {
  if (format.size() != 3) return false;
  line.dataBits = static_cast<std::uint8_t>(format[0] - '0');
  switch (format[1]) {
    case 'E': case 'e': line.parity = platform::Parity::Even; break;
    case 'N': case 'n': line.parity = platform::Parity::None; break;
    case 'O': case 'o': line.parity = platform::Parity::Odd; break;
    default: return false;
  }
  switch (format[2]) {
    case '1': line.stopBits = platform::StopBits::One; break;
    case '2': line.stopBits = platform::StopBits::Two; break;
    default: return false;
  }
  return true;
}

WindSerial::WindSerial() : port(std::make_unique<Port>()) {}

WindSerial::~WindSerial() {
  try {
    stop();
  } catch (...) {
    // Only the sending thread itself could make the join fail, and it never
    // destroys the object.
  }
}

bool WindSerial::init(const std::string& name, std::int32_t baud, const std::string& format,
                      std::uint32_t intervalMs) {
  std::lock_guard<std::mutex> control(port->control);
  sendIntervalMs.store(intervalMs);
  if (!platform::dosDeviceExists(name)) {
    initialized.exchange(false);
    return false;
  }
  portName = name;
  baudRate = baud;
  frameFormat = format;
  initialized.exchange(true);
  startFailures.store(0);
  return true;
}

void WindSerial::start() {
  std::lock_guard<std::mutex> control(port->control);
  if (!initialized.load() || running.load() || startFailures.load() >= kStartAttempts) return;
  // A thread left from an earlier run has been joined by stop; one that is
  // still joinable here has ended (running clear) and only needs joining.
  if (sendingThread.joinable()) sendingThread.join();
  {
    std::lock_guard<std::mutex> io(port->io);
    // The fan-off byte fails the start only when the write call fails: a
    // write that timed out has still reached a working port.
    std::size_t written = 0;
    const bool ready = port->device.open(portName) && configurePort(baudRate, frameFormat) &&
                       port->device.write(&kFanOff, 1, &written);
    if (!ready) {
      port->device.close();
      running.exchange(false);
      startFailures.fetch_add(1);
      return;
    }
    paused.exchange(false);
    running.exchange(true);
  }
  try {
    sendingThread = std::thread(&WindSerial::sendingThreadFunc, this);
  } catch (...) {
    // Nothing sends: leave the port closed and count the failed start.
    {
      std::lock_guard<std::mutex> io(port->io);
      running.exchange(false);
      port->device.close();
    }
    startFailures.fetch_add(1);
    throw;
  }
}

void WindSerial::pause() {
  std::lock_guard<std::mutex> io(port->io);
  if (port->device.isOpen()) port->writeByte(kFanOff);
  paused.exchange(true);
}

void WindSerial::unpause() { paused.exchange(false); }

void WindSerial::stop() {
  std::lock_guard<std::mutex> control(port->control);
  {
    std::lock_guard<std::mutex> io(port->io);
    if (port->device.isOpen()) port->writeByte(kFanOff);
    running.exchange(false);
    startFailures.store(0);
  }
  port->wake.notify_all();
  if (sendingThread.joinable()) {
    sendingThread.join();  // from the sending thread itself: std::system_error (would deadlock)
    sendingThread = std::thread();
  }
  std::lock_guard<std::mutex> io(port->io);
  port->device.close();
}

bool WindSerial::isRunning() const { return running.load(); }

bool WindSerial::isInit() const { return initialized.load(); }

void WindSerial::updateBuffer(const std::vector<std::uint8_t>& bytes) {
  std::lock_guard<std::mutex> hold(bufferMutex);
  buffer = bytes;  // keeps the buffer's storage when it is large enough
}

bool WindSerial::configurePort(std::int32_t baud, const std::string& format) {
  platform::SerialLineSettings line;
  line.keepFlowControl = true;
  if (baud <= 0 || !frameFormatLine(format, line)) return false;
  line.baudRate = static_cast<std::uint32_t>(baud);
  if (!port->device.setLine(line)) return false;
  port->device.setTimeouts(kTimeouts);  // a port that keeps its own time-outs still works
  return true;
}

void WindSerial::sendingThreadFunc() {
  platform::nameThisThread("kinevra-wind");
  while (running.load()) {
    std::uint8_t byte = 0;
    bool taken = false;
    {
      std::lock_guard<std::mutex> hold(bufferMutex);
      if (!buffer.empty()) {
        byte = buffer.front();
        buffer.erase(buffer.begin());
        taken = true;
      }
    }
    std::unique_lock<std::mutex> io(port->io);
    if (taken && running.load() && !paused.load()) port->writeByte(byte);
    const std::uint32_t ms = std::max(sendIntervalMs.load(), kMinimumIntervalMs);
    port->wake.wait_for(io, std::chrono::milliseconds(ms), [this] { return !running.load(); });
  }
}

}  // namespace kinevra
