#pragma once
// Serial ports named "COMn", as the controller link and the wind output use
// them. Windows: the comm API on "\\.\COMn", QueryDosDeviceW for the list and
// SetupDi for the USB identity. Linux: termios (any baud rate, through
// termios2) on the device that the COMn mapping names, sysfs for the identity.
//
// The Linux COMn mapping (no configuration needed):
//   /dev/ttyS<k>    -> COM<k+1>    (k < 32; only UARTs the kernel found, sysfs type != 0)
//   /dev/ttyUSB<k>  -> COM<k+33>
//   /dev/ttyACM<k>  -> COM<k+65>
// When KINEVRA_COM_DIR names a folder, that folder alone is the mapping: its
// entries "comN" (any case; links to devices, as Wine's dosdevices) are COMn,
// and a file "comN.hwid" beside an entry gives that port's USB hardware
// identifiers (one line, e.g. USB\VID_1A86&PID_7523), as sysfs does for a
// real device: how a pseudo-terminal passes for a supported controller.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kinevra::platform {

enum class Parity : std::uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };
enum class StopBits : std::uint8_t { One = 0, OnePointFive = 1, Two = 2 };

struct SerialLineSettings {
  std::uint32_t baudRate = 250000;
  std::uint8_t dataBits = 8;
  Parity parity = Parity::None;
  StopBits stopBits = StopBits::One;
  // True: flow control (CTS, DSR, XON/XOFF) stays as the port has it.
  bool keepFlowControl = false;
};

// The comm API's time-outs in ms (COMMTIMEOUTS). A read waits at most
// readTotalMultiplierMs per byte asked for plus readTotalConstantMs, and
// ends early when readIntervalMs (if not 0) passes between two bytes; a
// write waits at most writeTotalMultiplierMs per byte plus writeTotalConstantMs.
struct SerialTimeouts {
  std::uint32_t readIntervalMs = 0;
  std::uint32_t readTotalMultiplierMs = 0;
  std::uint32_t readTotalConstantMs = 0;
  std::uint32_t writeTotalMultiplierMs = 0;
  std::uint32_t writeTotalConstantMs = 0;
};

// The calling thread's last system error code (GetLastError, errno).
std::uint32_t lastSystemError();
// Sets the calling thread's last system error code to 0 (SetLastError(0), errno = 0).
void clearLastSystemError();
// The system's code for "the time-out expired" (ERROR_TIMEOUT, ETIMEDOUT).
std::uint32_t timeoutErrorCode();
// The system's text for an error code (FormatMessageW from the system table,
// neutral language / strerror); false and empty when the system has none.
bool systemErrorText(std::uint32_t code, std::wstring& text);

// One open serial device. Every call answers false on failure and keeps the
// failure's system error code in lastError(); none of them throws.
class SerialDevice {
 public:
  SerialDevice() = default;
  ~SerialDevice() { close(); }
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // Does the system know port n (GetDefaultCommConfigW "COMn", 52 bytes)?
  bool exists(int n);
  // Closes any open device, then opens port n for reading and writing,
  // exclusively, without overlapped I/O.
  bool open(int n);
  // The same for a device name such as "COM7" ("\\.\" + name on Windows;
  // on Linux a "COMn" name of the mapping).
  bool open(const std::string& name);
  // Line settings; output and input flow control (CTS, DSR, XON/XOFF) off,
  // DSR sensitivity off, every other setting kept. On Linux the line is also
  // made raw (no echo, no line editing, no character translation), which is
  // what a Windows port always is.
  bool setLine(const SerialLineSettings& line);
  // Modem line status (GetCommModemStatus). Devices without modem lines (a
  // pseudo-terminal on Linux) read as 0.
  bool modemStatus(std::uint32_t* status);
  // Clears pending communication errors (ClearCommError); errors and bytes
  // waiting in the input queue go to the pointers that are not null.
  bool clearErrors(std::uint32_t* errors, std::uint32_t* bytesWaiting);
  // Total read and write time-out constants in ms; the other time-out values
  // are kept (Get/SetCommTimeouts). Reads wait at most readMs for all bytes.
  bool setTotalTimeouts(std::uint32_t readMs, std::uint32_t writeMs);
  // All five time-outs at once (SetCommTimeouts).
  bool setTimeouts(const SerialTimeouts& timeouts);
  // Driver queue sizes (SetupComm). Linux drivers have fixed queues: accepted.
  bool setBufferSizes(std::uint32_t inputBytes, std::uint32_t outputBytes);
  // Discards what waits in the receive and/or transmit queue (PurgeComm).
  bool purge(bool receive, bool transmit);
  // Reads up to size bytes, waiting at most the read time-out for all of
  // them; *got tells how many came. A device that went away is a failure.
  bool read(void* buffer, std::size_t size, std::size_t* got);
  // Writes the bytes, waiting at most the write time-out; *written tells how many went.
  bool write(const void* data, std::size_t size, std::size_t* written);
  // Bytes waiting in the input queue.
  bool bytesWaiting(std::uint32_t* count);
  // Closes the device if open; false only when the system's close failed.
  bool close();

  bool isOpen() const { return handle_ != kInvalid; }
  std::uint32_t lastError() const { return lastError_; }

 private:
  static constexpr std::intptr_t kInvalid = -1;  // INVALID_HANDLE_VALUE, or no descriptor
  bool fail();
  bool openPath(const std::string& path);

  std::intptr_t handle_ = kInvalid;
  std::uint32_t lastError_ = 0;
  SerialTimeouts timeouts_;  // Linux: the time-outs the comm API keeps in the driver
};

// Does the system know the device name (QueryDosDeviceW, a 256-character
// target)? On Linux: is "COMn" (no leading zeros, any case) in the mapping?
// Empty names and names with a NUL are never devices.
bool dosDeviceExists(const std::string& name);

// Every device name the system lists (QueryDosDeviceW; on Linux the "COMn"
// names of the mapping, in number order). False, with the system's error
// code in *error, when the list cannot be had.
bool dosDeviceNames(std::vector<std::string>& names, std::uint32_t* error);

// A present serial device as the USB identity check sees it.
struct SerialDeviceIdentity {
  std::string friendlyName;  // names the port, e.g. "USB-SERIAL CH340 (COM5)"
  std::string hardwareIds;   // e.g. "USB\VID_1A86&PID_7523&REV_0264", several joined by NUL
};
// The present devices of the COM-port interface class (SetupDi with
// GUID_DEVINTERFACE_COMPORT; on Linux every mapped port, with its USB vendor
// and product from sysfs when it has a USB ancestor). At most 6000 entries.
std::vector<SerialDeviceIdentity> presentSerialDevices();

// Linux: the device path the mapping gives COMn ("" when none). Windows: "\\.\COMn".
std::string comPortPath(int n);

}  // namespace kinevra::platform
