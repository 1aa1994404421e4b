#pragma once
// Finding the controller: which COM ports exist, which belong to a supported
// USB-serial chip, opening and configuring one, and the identification
// exchange, on the configured standard port or on every port in turn
// (auto-connect, run by the bridge thread).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/clock.h"
#include "link/com_port.h"
#include "link/link_state.h"
#include "platform/serial_port.h"

namespace kinevra {

inline constexpr std::size_t kIdFrameBytes = 8;
using IdFrame = std::array<std::uint8_t, kIdFrameBytes>;
inline constexpr IdFrame kIdentificationRequest{0xF9, 0xF9, 0x01, 0x00, 0x00, 0x00, 0x0A, 0x0D};
inline constexpr IdFrame kReplyALfCr{0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00, 0x0A, 0x0D};
inline constexpr IdFrame kReplyACrc{0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00, 0x88, 0x11};
inline constexpr IdFrame kReplyBLfCr{0xF9, 0xF9, 0x01, 0x00, 0x02, 0x00, 0x0A, 0x0D};
inline constexpr IdFrame kReplyBCrc{0xF9, 0xF9, 0x01, 0x00, 0x02, 0x00, 0x88, 0xE1};
inline constexpr IdFrame kFirstAfterConnect{0xF9, 0xF9, 0x04, 0x00, 0x01, 0x00, 0x0A, 0x0D};
inline constexpr IdFrame kSecondAfterConnect{0xF9, 0xF9, 0x02, 0x00, 0x01, 0x00, 0x0A, 0x0D};

// Vendor and product identifiers of the supported USB-serial chips, in the
// order they are searched for.
inline constexpr std::array<std::string_view, 4> kSupportedUsbIds{
    "VID_1A86&PID_7523", "VID_0403&PID_6001", "VID_10C4&PID_EA60", "VID_03EB&PID_6124"};

// Where the list of ports and the USB identities come from: the system, or a
// test that presents pseudo-terminals as supported controllers.
class SerialCatalog {
 public:
  virtual ~SerialCatalog() = default;
  virtual bool dosDeviceNames(std::vector<std::string>& names, std::uint32_t* error) = 0;
  virtual std::vector<platform::SerialDeviceIdentity> presentDevices() = 0;
};
SerialCatalog& systemSerialCatalog();

// The number of a device name "COMn" (case-insensitive prefix, then only
// decimal digits, longer than three characters), or -1.
std::int64_t comPortNumber(std::string_view name);

// The port number setStandartPort reads from a text: false when the text
// holds no "COM".
bool parseStandardPort(std::string_view text, std::int32_t* port);

// True when any of the four replies.
bool isIdentificationReply(const std::uint8_t* bytes);

class CEnumerateSerial {
 public:
  static bool UsingQueryDosDevice(std::vector<std::uint32_t>& ports, SerialCatalog& catalog = systemSerialCatalog());
};

class SerialDiscovery {
 public:
  // Receives each message to send once a controller is found; by default
  // sendMessagemmf on the discovery's link state.
  using MessageSink = std::function<void(const std::uint8_t* message)>;

  SerialDiscovery(LinkState& link, CSerialPort& port, SerialCatalog& catalog, Clock& clock);

  bool openComPort(int n);
  int closeComPort();
  bool isSupportedUsbPort(std::string_view name);
  int openStandardPort();
  int autoConnectPass();
  int setStandartPort(const char* text);

  void setMessageSink(MessageSink sink) { sink_ = std::move(sink); }

  std::atomic<std::int32_t> standardPort{0};

 private:
  void identify();

  LinkState& link_;
  CSerialPort& port_;
  SerialCatalog& catalog_;
  Clock& clock_;
  MessageSink sink_;
  std::vector<std::uint32_t> ports_;
  std::vector<std::uint8_t> discard_;
};

// The library's discovery on the library's port and link state.
SerialDiscovery& serialDiscovery();

}  // namespace kinevra
