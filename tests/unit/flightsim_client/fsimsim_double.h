#pragma once
// The flight simulator for a test: fsimsim copied under the simulator's
// executable name and run as a real process, serving a pipe and TCP on the
// loopback addresses at free ports; its log and its commands are files.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "child_process.h"

namespace kinevra::test {

#if defined(_WIN32)
inline constexpr const char* kFsimsimProgram = "fsimsim.exe";
#else
inline constexpr const char* kFsimsimProgram = "fsimsim";
#endif

// The simulator's own pipe name, after "\\.\pipe\".
inline const std::string kSimulatorPipe = "Microsoft Flight Simulator\\SimConnect";

class FlightSimDouble {
 public:
  // pipe: the pipe name to serve ("" for none). extra: more fsimsim options.
  explicit FlightSimDouble(const std::string& pipe, std::vector<std::string> extra = {}) {
    dir_ = scratchDir("fsimsim");
    const std::filesystem::path exe = dir_ / "FlightSimulator.exe";
    std::error_code ec;
    std::filesystem::copy_file(programDir() / kFsimsimProgram, exe, ec);
    const std::filesystem::path ready = dir_ / "ready";
    std::vector<std::string> args = {"--tcp4", "0", "--tcp6", "0", "--log", log().string(), "--commands",
                                     commands().string(), "--ready", ready.string(), "--seconds", "600"};
    if (pipe.empty()) args.push_back("--no-pipe");
    else args.insert(args.end(), {"--pipe", pipe});
    args.insert(args.end(), extra.begin(), extra.end());
    // Started once the ready file names both ports (read until it does: the
    // file may be seen before its contents under Wine).
    started_ = !ec && child_.start(exe, args) && eventually([&] {
                 std::ifstream in(ready);
                 for (std::string line; std::getline(in, line);) {
                   if (line.rfind("tcp4 ", 0) == 0) port4_ = line.substr(5);
                   if (line.rfind("tcp6 ", 0) == 0) port6_ = line.substr(5);
                 }
                 return !port4_.empty() && !port6_.empty();
               }, std::chrono::seconds(60));
  }
  ~FlightSimDouble() {
    EXPECT_TRUE(child_.stop()) << "fsimsim had to be forced to end";
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  FlightSimDouble(const FlightSimDouble&) = delete;
  FlightSimDouble& operator=(const FlightSimDouble&) = delete;

  bool started() const { return started_ && !port4_.empty() && !port6_.empty(); }
  // What went wrong when it did not start.
  std::string why() const {
    return std::string(started_ ? "started" : "not started") + ", tcp4 '" + port4_ + "', tcp6 '" + port6_ + "'";
  }
  const std::string& port4() const { return port4_; }
  const std::string& port6() const { return port6_; }

  // Gives fsimsim commands and waits until it has taken them.
  bool command(const std::string& lines) {
    const std::filesystem::path tmp = dir_ / "commands.tmp";
    {
      std::ofstream out(tmp, std::ios::trunc);
      out << lines << "\n";
    }
    std::error_code ec;
    std::filesystem::rename(tmp, commands(), ec);
    return !ec && eventually([&] { return !std::filesystem::exists(commands()); });
  }

  std::string logText() const {
    std::ifstream in(log(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Waits until the log holds text.
  bool logged(const std::string& text) const {
    return eventually([&] { return logText().find(text) != std::string::npos; });
  }
  // The last connection of a kind, and then (not necessarily on the next
  // line: another connection's thread may log in between) its open.
  bool loggedAfterLast(const std::string& first, const std::string& then) const {
    return eventually([&] {
      const std::string text = logText();
      const auto at = text.rfind(first);
      return at != std::string::npos && text.find(then, at) != std::string::npos;
    });
  }

 private:
  std::filesystem::path log() const { return dir_ / "log.txt"; }
  std::filesystem::path commands() const { return dir_ / "commands.txt"; }

  std::filesystem::path dir_;
  ChildProcess child_;
  bool started_ = false;
  std::string port4_, port6_;
};

}  // namespace kinevra::test
