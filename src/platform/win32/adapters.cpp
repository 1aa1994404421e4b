#include "platform/adapters.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <cstdlib>
#include <string>

#include "common/utf8.h"

namespace kinevra::platform {

AdapterList listAdapters() {
  AdapterList list;
  const ULONG flags = GAA_FLAG_INCLUDE_PREFIX;
  ULONG size = 0;
  ULONG r = GetAdaptersAddresses(AF_INET, flags, nullptr, nullptr, &size);
  if (r != ERROR_BUFFER_OVERFLOW) {
    list.failedAt = AdapterListStep::SizeQuery;
    list.error = r;
    return list;
  }
  auto* buffer = static_cast<IP_ADAPTER_ADDRESSES*>(std::malloc(size));
  if (!buffer) {
    list.failedAt = AdapterListStep::Allocation;
    return list;
  }
  r = GetAdaptersAddresses(AF_INET, flags, nullptr, buffer, &size);
  if (r != NO_ERROR) {
    list.failedAt = AdapterListStep::Query;
    list.error = r;
    std::free(buffer);
    return list;
  }
  for (const IP_ADAPTER_ADDRESSES* a = buffer; a; a = a->Next) {
    Adapter adapter;
    if (a->FriendlyName) {
      const std::wstring name(a->FriendlyName);
      adapter.friendlyName = utf16ToUtf8(std::u16string(name.begin(), name.end()));
    }
    adapter.ifType = a->IfType;
    adapter.operStatus = static_cast<std::uint32_t>(a->OperStatus);
    adapter.ipv4Metric = a->Ipv4Metric;
    for (const IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u; u = u->Next) {
      UnicastAddress address;
      const sockaddr* sa = u->Address.lpSockaddr;
      if (sa && sa->sa_family == AF_INET) {
        address.ipv4 = true;
        address.address = ntohl(reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr);
      }
      adapter.unicast.push_back(address);
    }
    list.adapters.push_back(std::move(adapter));
  }
  std::free(buffer);
  return list;
}

// A socket bound to an adapter's address sends its multicast there already.
bool sendMulticastFromBoundAddress(SocketHandle, std::uint32_t) { return true; }

bool joinMulticastGroup(SocketHandle s, std::uint32_t group, std::uint32_t interfaceAddress) {
  ip_mreq m{};
  m.imr_multiaddr.s_addr = htonl(group);
  m.imr_interface.s_addr = htonl(interfaceAddress);
  return ::setsockopt(static_cast<SOCKET>(s), IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&m),
                      sizeof m) == 0;
}

}  // namespace kinevra::platform
