#include "platform/adapters.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>

namespace kinevra::platform {

namespace {

// The wireless extensions' name request (linux/wireless.h, whose headers
// clash with the C library's net/if.h). Its answer fits an ifreq.
constexpr unsigned long kWirelessNameRequest = 0x8B01;

struct Routes {
  std::uint32_t defaultMetric = UINT32_MAX;  // lowest default route through the interface
  std::uint32_t anyMetric = UINT32_MAX;      // lowest route of any kind
};

// The IPv4 routes of the calling thread's network namespace (a thread that
// entered another namespace sees that one's table under thread-self).
std::map<std::string, Routes> readRoutes() {
  std::map<std::string, Routes> routes;
  std::ifstream in("/proc/thread-self/net/route");
  if (!in) in.open("/proc/net/route");
  std::string line;
  std::getline(in, line);  // the heading
  while (std::getline(in, line)) {
    std::istringstream f(line);
    std::string iface, destination, gateway, mask;
    unsigned flags = 0, refs = 0, use = 0;
    unsigned long metric = 0;
    if (!(f >> iface >> destination >> gateway >> std::hex >> flags >> std::dec >> refs >> use >> metric >> mask)) continue;
    if (metric > UINT32_MAX) metric = UINT32_MAX;
    Routes& r = routes[iface];
    const auto m = static_cast<std::uint32_t>(metric);
    if (destination == "00000000" && mask == "00000000" && m < r.defaultMetric) r.defaultMetric = m;
    if (m < r.anyMetric) r.anyMetric = m;
  }
  return routes;
}

bool isWireless(int probe, const std::string& name) {
  // Wireless drivers answer the wireless extensions' name request; sysfs
  // marks them too (where /sys belongs to this namespace).
  ifreq request{};
  std::strncpy(request.ifr_name, name.c_str(), IFNAMSIZ - 1);
  if (probe >= 0 && ::ioctl(probe, kWirelessNameRequest, &request) == 0) return true;
  struct stat st{};
  return ::stat(("/sys/class/net/" + name + "/wireless").c_str(), &st) == 0 ||
         ::stat(("/sys/class/net/" + name + "/phy80211").c_str(), &st) == 0;
}

std::uint32_t typeOf(int probe, const std::string& name, unsigned flags) {
  if (flags & IFF_LOOPBACK) return kIfTypeLoopback;
  ifreq request{};
  std::strncpy(request.ifr_name, name.c_str(), IFNAMSIZ - 1);
  if (probe < 0 || ::ioctl(probe, SIOCGIFHWADDR, &request) != 0) return kIfTypeOther;
  switch (request.ifr_hwaddr.sa_family) {
    case ARPHRD_ETHER: return isWireless(probe, name) ? kIfTypeWireless : kIfTypeEthernet;
    case ARPHRD_LOOPBACK: return kIfTypeLoopback;
    case ARPHRD_IEEE80211:
    case ARPHRD_IEEE80211_RADIOTAP: return kIfTypeWireless;
    case ARPHRD_TUNNEL:
    case ARPHRD_TUNNEL6:
    case ARPHRD_SIT:
    case ARPHRD_IPGRE:
    case ARPHRD_NONE: return kIfTypeTunnel;
    default: return kIfTypeOther;
  }
}

}  // namespace

AdapterList listAdapters() {
  AdapterList list;
  ifaddrs* all = nullptr;
  if (::getifaddrs(&all) != 0) {
    list.failedAt = AdapterListStep::Query;
    list.error = static_cast<std::uint32_t>(errno);
    return list;
  }
  const std::map<std::string, Routes> routes = readRoutes();
  const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  std::map<std::string, std::size_t> index;  // name -> position in the list
  for (const ifaddrs* a = all; a; a = a->ifa_next) {
    if (!a->ifa_name) continue;
    const std::string name = a->ifa_name;
    auto found = index.find(name);
    if (found == index.end()) {
      Adapter adapter;
      adapter.friendlyName = name;
      adapter.ifType = typeOf(probe, name, a->ifa_flags);
      // Up and carrying: administratively up with the link running.
      adapter.operStatus = (a->ifa_flags & IFF_UP) && (a->ifa_flags & IFF_RUNNING) ? kOperStatusUp : kOperStatusDown;
      // The interface's metric: that of its default route, else its best
      // route; one without any route cannot carry the link.
      const auto r = routes.find(name);
      adapter.ipv4Metric = r == routes.end() ? UINT32_MAX
                           : r->second.defaultMetric != UINT32_MAX ? r->second.defaultMetric
                                                                   : r->second.anyMetric;
      found = index.emplace(name, list.adapters.size()).first;
      list.adapters.push_back(std::move(adapter));
    }
    if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET) {
      sockaddr_in in{};
      std::memcpy(&in, a->ifa_addr, sizeof in);
      list.adapters[found->second].unicast.push_back({true, ntohl(in.sin_addr.s_addr)});
    } else if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET6) {
      list.adapters[found->second].unicast.push_back({false, 0});
    }
  }
  if (probe >= 0) ::close(probe);
  ::freeifaddrs(all);
  return list;
}

bool sendMulticastFromBoundAddress(SocketHandle s, std::uint32_t localAddress) {
  in_addr a{};
  a.s_addr = htonl(localAddress);
  return ::setsockopt(static_cast<int>(s), IPPROTO_IP, IP_MULTICAST_IF, &a, sizeof a) == 0;
}

bool joinMulticastGroup(SocketHandle s, std::uint32_t group, std::uint32_t interfaceAddress) {
  ip_mreq m{};
  m.imr_multiaddr.s_addr = htonl(group);
  m.imr_interface.s_addr = htonl(interfaceAddress);
  return ::setsockopt(static_cast<int>(s), IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) == 0;
}

}  // namespace kinevra::platform
