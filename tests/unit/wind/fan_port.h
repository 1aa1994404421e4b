#pragma once
// The fan controller's end of the wind port, for the wind tests.
//
// Linux: a pseudo-terminal, linked as "comN" into a folder named by
// KINEVRA_COM_DIR, so the library opens it as COMn; the test reads the bytes
// from the controller's end.
// Windows (Wine): a program cannot make a pseudo-terminal, so the wrapper
// tests/host/wine_fan_port.sh maps a COM port of the prefix to one, records
// every byte that arrives into a file and names both in
// KINEVRA_TEST_WIND_PORT and KINEVRA_TEST_WIND_BYTES. Without them the tests
// that need a port skip.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "platform/pseudo_terminal.h"
#include "temp_folder.h"

namespace kinevra::test {

class FanPort {
 public:
  // number: the COM number of the port on Linux (each fixture its own).
  explicit FanPort(int number = 7) {
#ifdef _WIN32
    (void)number;
    const char* port = std::getenv("KINEVRA_TEST_WIND_PORT");
    const char* file = std::getenv("KINEVRA_TEST_WIND_BYTES");
    if (!port || !*port || !file || !*file) {
      why_ = "no pseudo-terminal under Windows, and KINEVRA_TEST_WIND_PORT / KINEVRA_TEST_WIND_BYTES name no "
             "recorded port (tests/host/wine_fan_port.sh provides one)";
      return;
    }
    name_ = port;
    file_ = file;
    offset_ = static_cast<std::size_t>(fileSize());
    ok_ = true;
#else
    folder_ = std::make_unique<TempFolder>();
    if (!pty_.open()) {
      why_ = "no pseudo-terminal";
      return;
    }
    setEnvironment("KINEVRA_COM_DIR", folder_->str().c_str());
    link_ = folder_->path() / ("com" + std::to_string(number));
    std::error_code ec;
    std::filesystem::create_symlink(pty_.peerPath(), link_, ec);
    name_ = "COM" + std::to_string(number);
    ok_ = !ec;
    if (ec) why_ = "cannot link the pseudo-terminal: " + ec.message();
#endif
  }
  ~FanPort() {
#ifndef _WIN32
    unsetEnvironment("KINEVRA_COM_DIR");
#endif
  }
  FanPort(const FanPort&) = delete;
  FanPort& operator=(const FanPort&) = delete;

  bool available() const { return ok_; }
  const std::string& whyNot() const { return why_; }
  // The name the library opens, e.g. "COM7".
  const std::string& name() const { return name_; }

  // Every byte that arrived since the object was made.
  const std::vector<std::uint8_t>& bytes() {
    poll(10);
    return got_;
  }
  // Waits (generously) until at least count bytes arrived.
  bool awaitCount(std::size_t count) {
    return eventually([&] { return bytes().size() >= count; }, std::chrono::seconds(60));
  }
  // Waits until a byte equal to b arrives at or after index from.
  bool awaitByte(std::uint8_t b, std::size_t from = 0) {
    return eventually(
        [&] {
          const auto& v = bytes();
          for (std::size_t i = from; i < v.size(); ++i)
            if (v[i] == b) return true;
          return false;
        },
        std::chrono::seconds(60));
  }
  // Collects whatever arrives for about ms milliseconds.
  const std::vector<std::uint8_t>& settle(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) poll(10);
    return got_;
  }

#ifndef _WIN32
  // Linux: points the port's link somewhere else (a missing device, or back
  // at the pseudo-terminal with an empty target).
  void relink(const std::string& target = {}) {
    std::error_code ec;
    std::filesystem::remove(link_, ec);
    std::filesystem::create_symlink(target.empty() ? pty_.peerPath() : target, link_, ec);
  }
  // Does this process hold a descriptor of the port's device?
  bool heldOpen() const {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
      std::error_code rc;
      if (std::filesystem::read_symlink(e.path(), rc) == pty_.peerPath()) return true;
    }
    return false;
  }
#endif

 private:
  void poll(int ms) {
#ifdef _WIN32
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    const std::string all = readFileBytes(file_);
    if (all.size() > offset_ + got_.size())
      got_.insert(got_.end(), all.begin() + static_cast<std::ptrdiff_t>(offset_ + got_.size()), all.end());
#else
    std::uint8_t buf[256];
    for (std::int64_t n = pty_.read(buf, sizeof buf, ms); n > 0; n = pty_.read(buf, sizeof buf, 0))
      got_.insert(got_.end(), buf, buf + n);
#endif
  }
#ifdef _WIN32
  std::uintmax_t fileSize() const {
    std::error_code ec;
    const auto n = std::filesystem::file_size(file_, ec);
    return ec ? 0 : n;
  }
  std::filesystem::path file_;
  std::size_t offset_ = 0;
#else
  std::unique_ptr<TempFolder> folder_;
  platform::PseudoTerminal pty_;
  std::filesystem::path link_;
#endif
  bool ok_ = false;
  std::string why_;
  std::string name_;
  std::vector<std::uint8_t> got_;
};

}  // namespace kinevra::test
