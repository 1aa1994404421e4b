#include "link/link_state.h"

#include <cstring>
#include <new>

namespace kinevra {

LinkState::LinkState(Clock& clock) : bridgeTimer(clock), senderTimer(clock) {
  std::strncpy(multicastAddress_.data(), kDefaultMulticastAddress, kMulticastAddressChars);
}

bool LinkState::setMulticastDestination(std::string_view address, std::int32_t port) {
  if (address.size() > kMulticastAddressChars) return false;
  std::lock_guard<std::mutex> guard(destinationLock_);
  multicastAddress_.fill('\0');
  std::memcpy(multicastAddress_.data(), address.data(), address.size());
  multicastPort_ = port;
  return true;
}

MulticastDestination LinkState::multicastDestination() const {
  std::lock_guard<std::mutex> guard(destinationLock_);
  return {std::string(multicastAddress_.data()), multicastPort_};
}

LinkState& linkState() {
  // Built in static storage and never destroyed (see the header). It owns no
  // heap memory, so nothing is left behind when the library is unloaded.
  alignas(LinkState) static unsigned char storage[sizeof(LinkState)];
  static LinkState* const instance = new (storage) LinkState();
  return *instance;
}

namespace {
// Builds the link state while the library loads, with the defaults a host
// may read before it starts anything.
[[maybe_unused]] LinkState& builtAtLoad = linkState();
}  // namespace

}  // namespace kinevra
