#pragma once
// The multicast sender's source: the active wired Ethernet adapter with the
// lowest IPv4 route metric (the first of equals), and its first IPv4 address.
#include <string>

#include "log/error_logger.h"
#include "platform/adapters.h"

namespace kinevra {

// Metrics at or above this never win.
inline constexpr std::uint32_t kNoMetric = 2147483647u;

// The choice over a given adapter list, every step logged: the chosen
// adapter's first IPv4 address as dotted text, or empty text.
std::string choosePreferredAdapter(ErrorLogger& logger, const platform::AdapterList& list);

// The same over the system's adapter list.
std::string GetPreferredEthernetAdapter(ErrorLogger& logger);

}  // namespace kinevra
