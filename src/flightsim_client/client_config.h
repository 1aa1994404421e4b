#pragma once
// How the client reaches the simulator: "SimConnect.cfg" in the shared
// documents folder, the user's Documents folder and the current folder (in
// that order, later files overriding earlier ones), and the simulator's TCP
// ports from the registry.
#include <cstdint>
#include <string>

namespace kinevra::flightsim {

enum class Protocol { Auto, Pipe, IPv4, IPv6 };

struct ClientConfig {
  Protocol protocol = Protocol::Auto;
  std::string address;
  std::string port;  // a TCP port number, or a pipe name
  std::uint32_t maxReceiveSize = 41088;
  bool noDelay = false;
};

inline constexpr const char* kConfigFileName = "SimConnect.cfg";
inline constexpr const char* kRegistryKey = "SOFTWARE\\Microsoft\\Microsoft Games\\KittyHawk";
inline constexpr const char* kRegistryPortIPv4 = "SimConnect_Port_IPv4";
inline constexpr const char* kRegistryPortIPv6 = "SimConnect_Port_IPv6";
// Linux has no registry: its ports come from this section of the same files.
inline constexpr const char* kPortSection = "KittyHawk";

// The section of configuration index: "SimConnect" for 0, "SimConnect.N" otherwise.
std::string configSection(int index);

// The three files, in the order they are read.
std::string sharedConfigPath();
std::string userConfigPath();
std::string currentConfigPath();

// True when index is 0 or -1, or its section is in one of the three files.
bool configIndexKnown(int index);

// The configuration of index (defaults for -1), with the registry's port for
// Protocol IPv4 or IPv6 when no file gave one.
ClientConfig readClientConfig(int index);

// The simulator's TCP port of a family from the registry (Linux: the
// "KittyHawk" section of the three files); empty when there is none.
std::string registryPort(bool ipv6);

}  // namespace kinevra::flightsim
