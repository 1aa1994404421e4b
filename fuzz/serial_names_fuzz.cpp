// The texts discovery reads: device names from the system's list, the host's
// standard-port text, and eight received bytes taken as an identification reply.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "link/serial_discovery.h"

namespace {

class ListedNames final : public kinevra::SerialCatalog {
 public:
  bool dosDeviceNames(std::vector<std::string>& out, std::uint32_t*) override {
    out = names;
    return true;
  }
  std::vector<kinevra::platform::SerialDeviceIdentity> presentDevices() override { return {}; }
  std::vector<std::string> names;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::int32_t port = 0;
  kinevra::parseStandardPort(text, &port);
  // The system's list is NUL-separated names.
  ListedNames catalog;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= size; ++i) {
    if (i == size || data[i] == 0) {
      catalog.names.emplace_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  std::vector<std::uint32_t> ports;
  kinevra::CEnumerateSerial::UsingQueryDosDevice(ports, catalog);
  for (std::size_t i = 0; i < ports.size(); ++i)
    if (kinevra::comPortNumber("COM" + std::to_string(ports[i])) != static_cast<std::int64_t>(ports[i])) std::abort();
  if (size >= 8) kinevra::isIdentificationReply(data);
  return 0;
}
