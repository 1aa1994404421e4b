#include "flightsim_client/client_config.h"

#include <cstdlib>
#include <string_view>

#include "platform/documents_folder.h"
#include "platform/private_profile.h"
#include "platform/registry.h"

namespace kinevra::flightsim {

namespace {

// Values are read with a 2048-byte buffer; the registry's ports with 20 bytes.
constexpr std::size_t kValueBuffer = 2048;
constexpr std::size_t kRegistryBuffer = 20;

std::string inFolder(const std::string& folder) {
  if (folder.empty()) return {};
  std::string p = folder;
  if (p.back() != platform::pathSeparator()) p += platform::pathSeparator();
  return p + kConfigFileName;
}

bool equalsNoCase(const std::string& a, const char* b) {
  const std::string_view bv(b);
  if (a.size() != bv.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; };
    if (lower(a[i]) != lower(bv[i])) return false;
  }
  return true;
}

// What one file says about the section, over what earlier files said.
void applyFile(const std::string& path, const std::string& section, ClientConfig* c) {
  if (path.empty()) return;
  const char* s = section.c_str();
  const std::string protocol = platform::readProfileString(path, s, "Protocol", kValueBuffer);
  if (equalsNoCase(protocol, "Auto")) c->protocol = Protocol::Auto;
  else if (equalsNoCase(protocol, "Pipe")) c->protocol = Protocol::Pipe;
  else if (equalsNoCase(protocol, "IPv4")) c->protocol = Protocol::IPv4;
  else if (equalsNoCase(protocol, "IPv6")) c->protocol = Protocol::IPv6;
  if (std::string v = platform::readProfileString(path, s, "Address", kValueBuffer); !v.empty()) c->address = v;
  if (std::string v = platform::readProfileString(path, s, "Port", kValueBuffer); !v.empty()) c->port = v;
  if (std::string v = platform::readProfileString(path, s, "MaxReceiveSize", kValueBuffer); !v.empty()) {
    const unsigned long long n = std::strtoull(v.c_str(), nullptr, 10);
    if (n > c->maxReceiveSize) c->maxReceiveSize = n > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(n);
  }
  if (std::string v = platform::readProfileString(path, s, "DisableNagle", kValueBuffer); !v.empty()) {
    c->noDelay = std::strtol(v.c_str(), nullptr, 10) != 0;
  }
}

}  // namespace

std::string configSection(int index) {
  return index == 0 ? std::string("SimConnect") : "SimConnect." + std::to_string(static_cast<unsigned>(index));
}

std::string sharedConfigPath() { return inFolder(platform::sharedDocumentsFolder()); }
std::string userConfigPath() { return inFolder(platform::documentsFolder()); }
std::string currentConfigPath() { return inFolder(platform::currentFolder()); }

bool configIndexKnown(int index) {
  if (index == 0 || index == -1) return true;
  const std::string section = configSection(index);
  for (const std::string& path : {sharedConfigPath(), userConfigPath(), currentConfigPath()}) {
    if (!path.empty() && platform::profileSectionExists(path, section.c_str())) return true;
  }
  return false;
}

std::string registryPort(bool ipv6) {
  const char* name = ipv6 ? kRegistryPortIPv6 : kRegistryPortIPv4;
  std::string port;
  if (platform::readUserRegistryString(kRegistryKey, name, kRegistryBuffer, &port)) return port;
#ifndef _WIN32
  for (const std::string& path : {sharedConfigPath(), userConfigPath(), currentConfigPath()}) {
    if (path.empty()) continue;
    std::string v = platform::readProfileString(path, kPortSection, name, kRegistryBuffer);
    if (!v.empty()) port = v;
  }
#endif
  return port;
}

ClientConfig readClientConfig(int index) {
  ClientConfig c;
  if (index == -1) return c;
  const std::string section = configSection(index);
  applyFile(sharedConfigPath(), section, &c);
  applyFile(userConfigPath(), section, &c);
  applyFile(currentConfigPath(), section, &c);
  if ((c.protocol == Protocol::IPv4 || c.protocol == Protocol::IPv6) && c.port.empty()) {
    c.port = registryPort(c.protocol == Protocol::IPv6);
  }
  return c;
}

}  // namespace kinevra::flightsim
