#pragma once
// The machine's network adapters as the multicast sender chooses among them,
// and the multicast options of a datagram socket. Windows: the IP Helper's
// adapter list. Linux: the interfaces of the calling thread's network
// namespace, described in the same terms (interface type, operational
// state, IPv4 route metric, unicast addresses).
#include <cstdint>
#include <string>
#include <vector>

#include "platform/sockets.h"

namespace kinevra::platform {

// Interface types (IfType), as the IP Helper numbers them.
inline constexpr std::uint32_t kIfTypeOther = 1;
inline constexpr std::uint32_t kIfTypeEthernet = 6;
inline constexpr std::uint32_t kIfTypeLoopback = 24;
inline constexpr std::uint32_t kIfTypeWireless = 71;
inline constexpr std::uint32_t kIfTypeTunnel = 131;
// Operational states (OperStatus).
inline constexpr std::uint32_t kOperStatusUp = 1;
inline constexpr std::uint32_t kOperStatusDown = 2;

struct UnicastAddress {
  bool ipv4 = false;
  std::uint32_t address = 0;  // IPv4, host byte order (0 for other families)
};

struct Adapter {
  std::string friendlyName;  // UTF-8
  std::uint32_t ifType = kIfTypeOther;
  std::uint32_t operStatus = kOperStatusDown;
  std::uint32_t ipv4Metric = 0;
  std::vector<UnicastAddress> unicast;  // in the system's order
};

// Where asking the system for the list failed.
enum class AdapterListStep { Done, SizeQuery, Allocation, Query };

struct AdapterList {
  AdapterListStep failedAt = AdapterListStep::Done;
  std::uint32_t error = 0;  // the system's code for SizeQuery and Query
  std::vector<Adapter> adapters;
};

// The IPv4 adapters in the system's order.
AdapterList listAdapters();

// Makes multicast datagrams of a socket bound to a local address leave by
// that address's interface. Windows does so by itself (nothing to set);
// Linux routes multicast by destination unless told (IP_MULTICAST_IF).
bool sendMulticastFromBoundAddress(SocketHandle s, std::uint32_t localAddress);

// Joins a multicast group on the interface of a local address
// (IP_ADD_MEMBERSHIP); false on failure.
bool joinMulticastGroup(SocketHandle s, std::uint32_t group, std::uint32_t interfaceAddress);

}  // namespace kinevra::platform
