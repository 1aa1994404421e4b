// The multicast address check and conversion on arbitrary text, and
// setMulticastAddr on a link state of its own. Checks: the check agrees with
// a plain reading of "four dot-separated decimal parts 0..255"; an accepted
// text converts to the address its parts name and back to the canonical
// text; the stored destination is always a text of at most 19 characters
// that passes the check, and changes only for an accepted text that fits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "link/link_state.h"
#include "udp/multicast_address.h"

namespace {

void require(bool ok) {
  if (!ok) std::abort();
}

// The rule as written: split at every dot, keep empty parts.
bool plainCheck(const std::string& t, std::uint32_t& address) {
  std::vector<std::string> parts(1);
  for (char c : t) {
    if (c == '.') parts.emplace_back();
    else parts.back() += c;
  }
  if (parts.size() != 4) return false;
  address = 0;
  for (const std::string& p : parts) {
    if (p.empty()) return false;
    unsigned long v = 0;
    for (char c : p) {
      if (c < '0' || c > '9') return false;
      v = v * 10 + static_cast<unsigned>(c - '0');
      if (v > 255) return false;
    }
    address = address << 8 | static_cast<std::uint32_t>(v);
  }
  return true;
}

std::filesystem::path logFolder;
void removeLogFolder() {
  std::error_code ec;
  std::filesystem::remove_all(logFolder, ec);
}

}  // namespace

// setMulticastAddr logs each call: into a scratch Documents folder, removed at exit.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  logFolder = std::filesystem::temp_directory_path() / ("kinevra-fuzz-docs-" + std::to_string(::getpid()));
  std::filesystem::create_directories(logFolder);
  ::setenv("XDG_DOCUMENTS_DIR", logFolder.c_str(), 1);
  std::atexit(removeLogFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::uint32_t expected = 0;
  const bool valid = plainCheck(text, expected);
  require(kinevra::validateMulticastAddress(text) == valid);
  const auto parsed = kinevra::parseDottedIpv4(text);
  require(parsed.has_value() == valid);
  if (valid) {
    require(*parsed == expected);
    require(kinevra::parseDottedIpv4(kinevra::ipv4Text(*parsed)) == parsed);
  }

  // Valid texts and a sixteenth of the others also go through the setting
  // (each call logs a line).
  if (!valid && size % 16 != 0) return 0;
  static kinevra::LinkState link;
  const kinevra::MulticastDestination before = link.multicastDestination();
  const std::string cText = text.substr(0, text.find('\0'));  // as a C caller hands it over
  kinevra::setMulticastAddr(link, cText.c_str(), static_cast<std::uint16_t>(size));
  const kinevra::MulticastDestination after = link.multicastDestination();
  require(after.address.size() <= kinevra::LinkState::kMulticastAddressChars);
  require(kinevra::validateMulticastAddress(after.address));
  const bool taken = kinevra::validateMulticastAddress(cText) && cText.size() <= 19;
  if (taken) {
    require(after.address == cText && after.port == static_cast<std::uint16_t>(size));
  } else {
    require(after.address == before.address && after.port == before.port);
  }
  return 0;
}
