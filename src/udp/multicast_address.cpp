#include "udp/multicast_address.h"

#include <cstdio>
#include <cstring>

#include "log/error_logger.h"

namespace kinevra {

namespace {

// The value of one part: digits only, non-empty, at most 255.
std::optional<std::uint32_t> partValue(std::string_view part) {
  if (part.empty()) return std::nullopt;
  std::uint32_t v = 0;
  for (const char c : part) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<std::uint32_t>(c - '0');
    if (v > 255) return std::nullopt;  // (also every part too long to convert)
  }
  return v;
}

}  // namespace

std::optional<std::uint32_t> parseDottedIpv4(std::string_view text) {
  std::uint32_t address = 0;
  int parts = 0;
  for (;;) {
    const std::size_t dot = text.find('.');
    const std::optional<std::uint32_t> v = partValue(text.substr(0, dot));
    if (!v || ++parts > 4) return std::nullopt;
    address = address << 8 | *v;
    if (dot == std::string_view::npos) break;
    text.remove_prefix(dot + 1);
  }
  if (parts != 4) return std::nullopt;
  return address;
}

bool validateMulticastAddress(std::string_view text) { return parseDottedIpv4(text).has_value(); }

std::string ipv4Text(std::uint32_t a) {
  char b[22];
  std::snprintf(b, sizeof b, "%u.%u.%u.%u", a >> 24, (a >> 16) & 0xFFu, (a >> 8) & 0xFFu, a & 0xFFu);
  return b;
}

void setMulticastAddr(LinkState& link, const char* address, std::uint16_t port) {
  ErrorLogger logger;
  const std::string_view text = address ? std::string_view(address) : std::string_view();
  // A valid text longer than the field (leading zeros) is refused like an
  // invalid one rather than cut or run past the field's end.
  if (validateMulticastAddress(text) && link.setMulticastDestination(text, port)) {
    logger.logInfo("UDP Controller Thread: Validated multicast IP address. using Multicast address: " +
                   std::string(text) + " and Port: " + std::to_string(port));
    return;
  }
  const MulticastDestination current = link.multicastDestination();
  logger.logInfo("UDP Controller Thread: Failed to validate multicast IP address. Using default Multicast address: " +
                 current.address + " and Port: " + std::to_string(current.port));
}

}  // namespace kinevra
