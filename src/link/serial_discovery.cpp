#include "link/serial_discovery.h"

#include <cstring>
#include <new>
#include <string>

#include "link/message_routing.h"
#include "platform/console.h"

namespace kinevra {

namespace {

class SystemSerialCatalog final : public SerialCatalog {
 public:
  bool dosDeviceNames(std::vector<std::string>& names, std::uint32_t* error) override {
    return platform::dosDeviceNames(names, error);
  }
  std::vector<platform::SerialDeviceIdentity> presentDevices() override { return platform::presentSerialDevices(); }
};

constexpr std::uint32_t kBaud = 250000;
constexpr std::uint32_t kTimeoutMs = 10000;
constexpr std::uint32_t kDriverQueueBytes = 5120;
constexpr std::size_t kReadBufferBytes = 512;

bool sameFrame(const std::uint8_t* a, const IdFrame& b) { return std::memcmp(a, b.data(), b.size()) == 0; }

}  // namespace

SerialCatalog& systemSerialCatalog() {
  static SystemSerialCatalog catalog;
  return catalog;
}

std::int64_t comPortNumber(std::string_view name) {
  if (name.size() <= 3) return -1;
  if ((name[0] | 0x20) != 'c' || (name[1] | 0x20) != 'o' || (name[2] | 0x20) != 'm') return -1;
  std::int64_t n = 0;
  for (char c : name.substr(3)) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
    if (n > 0xFFFFFFFFll) return -1;  // no such port; keeps the number in range
  }
  return n;
}

bool parseStandardPort(std::string_view text, std::int32_t* port) {
  const std::size_t at = text.find("COM");
  if (at == std::string_view::npos) return false;
  std::size_t i = at + 3;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t n = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    // A number past the 32-bit range saturates, as the C library's reading does.
    n = n * 10 + (text[i++] - '0');
    if (n > 0x80000000ll) n = 0x80000000ll;
  }
  if (negative) n = -n;
  if (n > 0x7FFFFFFFll) n = 0x7FFFFFFFll;
  *port = static_cast<std::int32_t>(n);
  return true;
}

bool isIdentificationReply(const std::uint8_t* b) {
  return sameFrame(b, kReplyALfCr) || sameFrame(b, kReplyACrc) || sameFrame(b, kReplyBLfCr) || sameFrame(b, kReplyBCrc);
}

bool CEnumerateSerial::UsingQueryDosDevice(std::vector<std::uint32_t>& ports, SerialCatalog& catalog) {
  ports.clear();
  std::vector<std::string> names;
  std::uint32_t error = 0;
  if (!catalog.dosDeviceNames(names, &error)) return false;
  for (const std::string& name : names) {
    const std::int64_t n = comPortNumber(name);
    if (n >= 0) ports.push_back(static_cast<std::uint32_t>(n));
  }
  return true;
}

SerialDiscovery::SerialDiscovery(LinkState& link, CSerialPort& port, SerialCatalog& catalog, Clock& clock)
    : link_(link), port_(port), catalog_(catalog), clock_(clock) {
  sink_ = [this](const std::uint8_t* m) { sendMessagemmf(link_, m); };
}

bool SerialDiscovery::openComPort(int n) {
  try {
    port_.checkExists(n);
    port_.open(n);
    try {
      port_.setLine(platform::SerialLineSettings{kBaud, 8, platform::Parity::None, platform::StopBits::One});
      clock_.sleepMs(5);
      port_.modemStatus();
      port_.clearErrors(false);
      port_.clearErrors(true);
      port_.setTotalTimeouts(kTimeoutMs, kTimeoutMs);
      port_.setBufferSizes(kDriverQueueBytes, kDriverQueueBytes);
    } catch (const CSerialException&) {
      // A half-configured port is of no use to anyone, and left open it
      // would keep the device from every other program.
      port_.close();
      throw;
    }
    return true;
  } catch (const CSerialException& e) {
    platform::consolePrintf("Serialexception when open port. , Error:%u\n", static_cast<unsigned>(e.error));
    return false;
  }
}

int SerialDiscovery::closeComPort() {
  link_.serialPortOpen = false;
  port_.close();
  return 1;
}

bool SerialDiscovery::isSupportedUsbPort(std::string_view name) {
  if (name.empty()) return false;
  for (const platform::SerialDeviceIdentity& d : catalog_.presentDevices()) {
    if (d.friendlyName.find(name) == std::string::npos) continue;
    for (std::string_view id : kSupportedUsbIds)
      if (d.hardwareIds.find(id) != std::string::npos) return true;
    platform::consolePrintf("vid wrong \n\r");
  }
  return false;
}

void SerialDiscovery::identify() {
  port_.purgeReceive();
  port_.write(kIdentificationRequest.data(), kIdentificationRequest.size());
  port_.write(kIdentificationRequest.data(), kIdentificationRequest.size());
}

int SerialDiscovery::openStandardPort() {
  if (link_.serialPortOpen) return 0;
  clock_.sleepMs(5);
  const std::int32_t n = standardPort.load();
  const std::string name = "COM" + std::to_string(n);
  if (!isSupportedUsbPort(name)) {
    platform::consolePrintf("fail vid..");
    return 0;
  }
  std::uint32_t error = 0;
  if (openComPort(n)) {
    try {
      platform::consolePrintf("opened..");
      clock_.sleepMs(15);
      identify();
      std::uint8_t buffer[kReadBufferBytes];
      std::memset(buffer, '0', sizeof buffer);
      if (port_.read(buffer, kIdFrameBytes) == kIdFrameBytes) {
        if (!sameFrame(buffer, kReplyALfCr)) {
          platform::consolePrintf(".. wrong id");
          closeComPort();
          return 0;
        }
        platform::consolePrintf("..id correct. \n");
        link_.serialPortOpen = true;
        return 1;
      }
      error = platform::lastSystemError();
    } catch (const CSerialException& e) {
      platform::consolePrintf("Error port open..");
      error = e.error;
    }
  } else {
    error = platform::lastSystemError();
  }
  closeComPort();
  platform::consolePrintf("Serialexception when open port. , Error:%u\n", static_cast<unsigned>(error));
  clock_.sleepMs(15);
  return 0;
}

int SerialDiscovery::autoConnectPass() {
  if (!CEnumerateSerial::UsingQueryDosDevice(ports_, catalog_)) {
    platform::consolePrintf("CEnumerateSerial::UsingQueryDosDevice failed, Error:%u\n",
                            static_cast<unsigned>(platform::lastSystemError()));
    return 0;
  }
  {
    std::string line;
    for (std::uint32_t n : ports_) line += "COM" + std::to_string(n) + " ";
    platform::consolePrintf("%s", line.c_str());
  }
  for (std::uint32_t n : ports_) {
    clock_.sleepMs(200);
    if (!link_.bridgeRunning || !link_.interfaceRunning || !link_.autoConnect) return 0;
    if (!isSupportedUsbPort("COM" + std::to_string(n))) continue;
    if (n > 0x7FFFFFFFu) continue;  // no port can carry that number
    const auto report = [](std::uint32_t code) {
      platform::consolePrintf("Serialexception , Error:%u\n", static_cast<unsigned>(code));
    };
    try {
      if (!openComPort(static_cast<int>(n))) {
        const std::uint32_t code = platform::lastSystemError();
        closeComPort();
        report(code);
        continue;
      }
      identify();
      clock_.sleepMs(10);
      const std::uint32_t waiting = port_.bytesWaiting();
      if (waiting < kIdFrameBytes) {
        closeComPort();
        report(platform::lastSystemError());
        continue;
      }
      // Whatever came before the reply (a controller still sending frames
      // from an earlier session) is old; the reply is what came last.
      discard_.resize(waiting - kIdFrameBytes);
      if (!discard_.empty()) port_.read(discard_.data(), discard_.size());
      std::uint8_t reply[kIdFrameBytes];
      if (port_.read(reply, sizeof reply) < sizeof reply) {
        closeComPort();
        return 0;
      }
      if (isIdentificationReply(reply)) {
        link_.serialPortOpen = true;
        if (sink_) {
          sink_(kFirstAfterConnect.data());
          sink_(kSecondAfterConnect.data());
        }
        return 1;
      }
      closeComPort();
      report(platform::lastSystemError());
    } catch (const CSerialException& e) {
      report(e.error);
      closeComPort();
      report(e.error);
    }
  }
  return 0;
}

int SerialDiscovery::setStandartPort(const char* text) {
  if (!text) return 0;
  std::int32_t n = 0;
  if (!parseStandardPort(text, &n)) return 0;
  standardPort = n;
  return 1;
}

SerialDiscovery& serialDiscovery() {
  // Lives as long as the port and the link state (never destroyed).
  alignas(SerialDiscovery) static unsigned char storage[sizeof(SerialDiscovery)];
  static SerialDiscovery* d = new (storage) SerialDiscovery(linkState(), serialPort(), systemSerialCatalog(), systemClock());
  return *d;
}

}  // namespace kinevra
