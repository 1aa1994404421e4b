#pragma once
// The places the client's configuration comes from, pointed away from the
// user's own for a test: natively the shared and user Documents folders are
// scratch folders (XDG_PUBLICSHARE_DIR, XDG_DOCUMENTS_DIR); under Wine they
// are the test prefix's own. The current folder is a scratch folder. The
// simulator's ports are registry values under Wine and the "KittyHawk"
// section of the shared file natively, which has no registry.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "flightsim_client/client_config.h"
#include "platform/documents_folder.h"
#include "platform/private_profile.h"
#include "temp_folder.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace kinevra::test {

class ClientFolders {
 public:
  enum Folder { kShared = 0, kUser = 1, kCurrent = 2 };

  ClientFolders() {
#ifndef _WIN32
    std::filesystem::create_directories(root_.path() / "public");
    std::filesystem::create_directories(root_.path() / "documents");
    setEnvironment("XDG_PUBLICSHARE_DIR", (root_.path() / "public").string().c_str());
    setEnvironment("XDG_DOCUMENTS_DIR", (root_.path() / "documents").string().c_str());
#endif
    std::filesystem::create_directories(root_.path() / "current");
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(root_.path() / "current");
    paths_[kShared] = flightsim::sharedConfigPath();
    paths_[kUser] = flightsim::userConfigPath();
    paths_[kCurrent] = flightsim::currentConfigPath();
    clear();
  }
  ~ClientFolders() {
    clear();
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
  }
  ClientFolders(const ClientFolders&) = delete;
  ClientFolders& operator=(const ClientFolders&) = delete;

  // Writes the folder's "SimConnect.cfg".
  void write(Folder f, const std::string& text) {
    texts_[f] = text;
    store(f);
  }
  // The simulator's TCP ports as the client finds them when falling back.
  void setPorts(const std::string& ipv6, const std::string& ipv4) {
#if defined(_WIN32)
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, flightsim::kRegistryKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    RegSetValueExA(key, flightsim::kRegistryPortIPv6, 0, REG_SZ, reinterpret_cast<const BYTE*>(ipv6.c_str()),
                   static_cast<DWORD>(ipv6.size() + 1));
    RegSetValueExA(key, flightsim::kRegistryPortIPv4, 0, REG_SZ, reinterpret_cast<const BYTE*>(ipv4.c_str()),
                   static_cast<DWORD>(ipv4.size() + 1));
    RegCloseKey(key);
#else
    ports_ = "[KittyHawk]\nSimConnect_Port_IPv6=" + ipv6 + "\nSimConnect_Port_IPv4=" + ipv4 + "\n";
    store(kShared);
#endif
  }

  void clear() {
    for (auto& t : texts_) t.clear();
    ports_.clear();
    for (const std::string& p : paths_) {
      std::error_code ec;
      if (!p.empty()) std::filesystem::remove(p, ec);
    }
#if defined(_WIN32)
    RegDeleteKeyA(HKEY_CURRENT_USER, flightsim::kRegistryKey);
#endif
  }

 private:
  void store(Folder f) {
    const std::string text = texts_[f] + (f == kShared ? ports_ : std::string());
    if (paths_[f].empty()) return;
    std::filesystem::create_directories(std::filesystem::path(paths_[f]).parent_path());
    std::ofstream out(paths_[f], std::ios::trunc);
    out << text;
  }

  TempFolder root_;
  std::filesystem::path previous_;
  std::string paths_[3];
  std::string texts_[3];
  std::string ports_;
};

}  // namespace kinevra::test
