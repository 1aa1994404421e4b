/*
 * kinevra_wind.h - the wind (fan) controller class, for C++ hosts.
 *
 * WindSerial owns the serial port of a fan controller and a sending thread
 * that writes one power byte (0 off .. 255 full power) per send interval,
 * always the newest one handed over with updateBuffer, never one twice.
 *
 * The class is exported with the C++ ABI and standard library of the
 * compiler that built the library (GCC / MinGW-w64 with libstdc++; its
 * members are std::string, std::vector, std::thread, std::mutex and
 * std::atomic). Only a host built with that same toolchain can use it. Hosts
 * built with another compiler or standard library (MSVC, clang with libc++)
 * must use the flat export initWindSerial of kinevra.h, which configures the
 * engine's own WindSerial: that is the portable way.
 */
#ifndef KINEVRA_WIND_H
#define KINEVRA_WIND_H

#ifndef __cplusplus
#error "kinevra_wind.h is C++ only; C hosts use initWindSerial from kinevra.h"
#endif

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kinevra.h"

namespace kinevra {

class KINEVRA_API WindSerial {
 public:
  // Port closed, flags clear, send interval 15 ms.
  WindSerial();
  // Stops (fan-off byte, thread ended, port closed).
  ~WindSerial();
  WindSerial(const WindSerial&) = delete;
  WindSerial& operator=(const WindSerial&) = delete;

  // Stores the send interval (always), then, when the system knows the
  // device name (e.g. "COM7"), the port name, baud rate and frame format
  // (three characters: data bits, parity N/E/O in any case, stop bits 1/2,
  // e.g. "8N1"): true, configured, start failures forgotten. False for an
  // unknown name. The format is checked when the port opens.
  bool init(const std::string& portName, std::int32_t baudRate, const std::string& frameFormat,
            std::uint32_t sendIntervalMs);
  // When configured, not running and fewer than three starts have failed
  // since init or stop: opens and configures the port, writes 0x00 and starts
  // the sending thread. A failed step closes the port and counts a failure.
  // Throws std::system_error when the system refuses the thread.
  void start();
  // Writes 0x00 to an open port at once; from then on the sending thread
  // drops the bytes it takes, until unpause.
  void pause();
  void unpause();
  // Writes 0x00 to an open port, ends the sending thread (no byte follows
  // the 0x00), closes the port and forgets failed starts. The object stays
  // configured. Must not be called from the sending thread.
  void stop();
  bool isRunning() const;
  bool isInit() const;
  // Replaces the bytes waiting to be sent; the sending thread takes the
  // first of them at its next step.
  void updateBuffer(const std::vector<std::uint8_t>& bytes);

 private:
  struct Port;  // the serial device and the locks around it

 public:
  // The device and its locks; the device's handle is the platform's invalid
  // value while the port is closed.
  const std::unique_ptr<Port> port;
  // The sending thread runs while set.
  std::atomic<bool> running{false};
  // While set, bytes taken from the buffer are dropped.
  std::atomic<bool> paused{false};
  // Set by a successful init.
  std::atomic<bool> initialized{false};
  std::thread sendingThread;
  std::mutex bufferMutex;
  std::vector<std::uint8_t> buffer;  // guarded by bufferMutex
  // Pause after each sending step, in ms (at least 1 ms is kept).
  std::atomic<std::uint32_t> sendIntervalMs{15};
  std::string portName;
  std::int32_t baudRate = 0;
  std::string frameFormat;
  // Failed starts since the last init or stop; at 3 start does nothing.
  std::atomic<std::int32_t> startFailures{0};

 private:
  bool configurePort(std::int32_t baudRate, const std::string& frameFormat);
  void sendingThreadFunc();
};

}  // namespace kinevra

#endif /* KINEVRA_WIND_H */
