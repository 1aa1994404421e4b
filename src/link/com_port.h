#pragma once
// The controller's serial port: one per process, used by the serial bridge
// (on its thread) and by the interface exports (on host threads). Failed
// communication calls raise CSerialException with the system's error code.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>

#include "platform/serial_port.h"

namespace kinevra {

class CSerialException : public std::exception {
 public:
  explicit CSerialException(std::uint32_t code) : error(code) {}
  ~CSerialException() override = default;
  const char* what() const noexcept override { return "serial port error"; }
  // The system's text for `error`, cut to capacity characters (NUL included);
  // false and an empty buffer when the system has none. helpContext, when
  // given, is set to 0.
  virtual bool getErrorMessage(wchar_t* buffer, unsigned capacity, unsigned* helpContext = nullptr) const;

  std::uint32_t error;
};

// The port. All operations are serialised on one mutex: the bridge thread and
// a host thread pausing the interface may reach it at the same moment, and a
// handle closed under a running call could be reused by the system for
// another file.
class CSerialPort {
 public:
  CSerialPort() = default;
  virtual ~CSerialPort() { close(); }
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  // Raise on failure.
  void checkExists(int n);
  void open(int n);
  void setLine(const platform::SerialLineSettings& line);  // closes the port when it fails
  std::uint32_t modemStatus();
  std::uint32_t clearErrors(bool fetchStatus);  // bytes waiting when fetchStatus
  void setTotalTimeouts(std::uint32_t readMs, std::uint32_t writeMs);
  void setBufferSizes(std::uint32_t in, std::uint32_t out);
  void purgeReceive();
  std::size_t read(void* buffer, std::size_t size);
  std::size_t write(const void* data, std::size_t size);
  std::uint32_t bytesWaiting();

  // Never raises.
  void close();
  bool isOpen() const;

 private:
  [[noreturn]] void raise();

  mutable std::mutex lock_;
  platform::SerialDevice device_;
};

class CSerialPort2 : public CSerialPort {};

// The library's one port, alive while the library is loaded; closed at unload.
CSerialPort2& serialPort();

}  // namespace kinevra
