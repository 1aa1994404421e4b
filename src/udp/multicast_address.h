#pragma once
// The multicast sender's destination: the check of a dotted IPv4 text, its
// conversion, and setMulticastAddr, which stores a checked address and port
// in the link state for the sender's next start.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/link_state.h"

namespace kinevra {

// Four dot-separated parts, each of the digits 0-9 only and of the value
// 0..255 (leading zeros allowed: "232.011.012.014" passes).
bool validateMulticastAddress(std::string_view text);

// The address a text that passes validateMulticastAddress names, host byte
// order; each part read as a decimal number, leading zeros and all.
std::optional<std::uint32_t> parseDottedIpv4(std::string_view text);

// "a.b.c.d" of an address in host byte order.
std::string ipv4Text(std::uint32_t address);

// Stores address and port as the destination when the address passes the
// check and fits the 19-character field; otherwise keeps the current
// destination. Logs either outcome. A null address counts as empty text.
void setMulticastAddr(LinkState& link, const char* address, std::uint16_t port);

}  // namespace kinevra
