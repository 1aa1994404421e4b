#pragma once
// Doubles for the controller-link tests and benchmarks: a device catalog that
// presents chosen ports as chosen USB chips, a clock that can act on given
// sleeps, and a rigsim controller on a pseudo-terminal linked into the COM
// mapping folder.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "common/clock.h"
#include "link/serial_discovery.h"
#include "temp_folder.h"

namespace kinevra::test {

class FakeCatalog final : public SerialCatalog {
 public:
  bool dosDeviceNames(std::vector<std::string>& out, std::uint32_t* error) override {
    ++listings;
    out = names;
    if (error) *error = listError;
    return listOk;
  }
  std::vector<platform::SerialDeviceIdentity> presentDevices() override { return devices; }

  // Lists "COMn" and presents it as the given chip.
  void addPort(int n, const std::string& hardwareIds = "USB\\VID_1A86&PID_7523&REV_0264") {
    names.push_back("COM" + std::to_string(n));
    devices.push_back({"USB-SERIAL CH340 (COM" + std::to_string(n) + ")", hardwareIds});
  }

  std::vector<std::string> names;
  std::vector<platform::SerialDeviceIdentity> devices;
  bool listOk = true;
  std::uint32_t listError = 0;
  std::atomic<int> listings{0};  // how often the ports were listed
};

// The real clock, with a hook that runs before each sleep of the given length.
class HookedClock final : public Clock {
 public:
  std::int64_t counter() override { return systemClock().counter(); }
  std::int64_t frequency() override { return systemClock().frequency(); }
  std::int64_t steadyNs() override { return lastRead() = systemClock().steadyNs(); }
  void sleepUntil(std::int64_t targetNs) override {
    // The length asked for: measured from the reading sleepMs made its target
    // from, so a thread preempted in between still sees 10 ms as 10.
    const std::int64_t ms = (targetNs - lastRead() + 999999) / 1000000;
    sleeps.push_back(ms);
    if (onSleep) onSleep(ms);
    systemClock().sleepUntil(targetNs);
  }
  std::function<void(std::int64_t ms)> onSleep;
  std::vector<std::int64_t> sleeps;

 private:
  static std::int64_t& lastRead() {
    thread_local std::int64_t ns = 0;
    return ns;
  }
};

inline std::string readAll(const std::filesystem::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline int countOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Points the COM mapping at a scratch folder for the life of the object.
class ComFolder {
 public:
  ComFolder() {
#ifndef _WIN32
    setenv("KINEVRA_COM_DIR", folder_.str().c_str(), 1);
#endif
  }
  ~ComFolder() {
#ifndef _WIN32
    unsetenv("KINEVRA_COM_DIR");
#endif
  }
  std::filesystem::path path() const { return folder_.path(); }

 private:
  TempFolder folder_;
};

// rigsim serving "comN" of a mapping folder.
class Rig {
 public:
  // tag tells apart the logs of controllers that serve the same port in turn.
  Rig(const ComFolder& folder, int n, std::vector<std::string> args, const std::string& tag = "") {
    link_ = folder.path() / ("com" + std::to_string(n));
    log_ = folder.path() / ("rig" + std::to_string(n) + tag + ".log");
    commands_ = folder.path() / ("rig" + std::to_string(n) + tag + ".cmd");
    std::ofstream(commands_).flush();
    std::vector<std::string> all{"--pty", link_.string(), "--log", log_.string(), "--commands", commands_.string()};
    all.insert(all.end(), args.begin(), args.end());
    started_ = child_.start(programDir() / "rigsim", all) &&
               eventually([&] { return std::filesystem::is_symlink(link_) && log().find("ready") != std::string::npos; });
  }
  bool started() const { return started_; }
  // Ends rigsim as asked; false when it had to be forced.
  bool stop() { return child_.stop(); }
  std::string log() const { return readAll(log_); }
  void command(const std::string& line) {
    std::ofstream(commands_, std::ios::app) << line << "\n";
  }
  // Waits until the log holds at least count lines containing what.
  bool awaitLog(const std::string& what, int count = 1) {
    return eventually([&] { return countOf(log(), what) >= count; });
  }

 private:
  ChildProcess child_;
  std::filesystem::path link_, log_, commands_;
  bool started_ = false;
};

inline constexpr const char* kRequestLine = "rx F9 lfcr F9 F9 01 00 00 00 0A 0D";

}  // namespace kinevra::test
