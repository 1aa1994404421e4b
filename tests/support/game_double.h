#pragma once
// A game for a test: gamesim copied under a game's executable name and
// started as a real process, publishing blocks, datagrams or a TCP server.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "child_process.h"

namespace kinevra::test {

#if defined(_WIN32)
inline constexpr const char* kGamesimProgram = "gamesim.exe";
#else
inline constexpr const char* kGamesimProgram = "gamesim";
#endif

class GameDouble {
 public:
  // Starts gamesim as exeName with args and waits until it has published
  // everything (its --ready file exists).
  GameDouble(const std::string& exeName, std::vector<std::string> args) {
    dir_ = scratchDir("game");
    const std::filesystem::path exe = dir_ / exeName;
    std::error_code ec;
    std::filesystem::copy_file(programDir() / kGamesimProgram, exe, ec);
    const std::filesystem::path ready = dir_ / "ready";
    args.insert(args.end(), {"--ready", ready.string(), "--seconds", "300"});
    started_ = !ec && child_.start(exe, args) &&
               eventually([&] { return std::filesystem::exists(ready); }, std::chrono::seconds(60));
  }
  ~GameDouble() {
    stop();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  GameDouble(const GameDouble&) = delete;
  GameDouble& operator=(const GameDouble&) = delete;

  bool started() const { return started_; }
  // Ends the game (it releases what it published), as asked rather than
  // forced.
  void stop() { EXPECT_TRUE(child_.stop()) << "gamesim had to be forced to end"; }

 private:
  std::filesystem::path dir_;
  ChildProcess child_;
  bool started_ = false;
};

// Hex text of bytes, as gamesim's --payload and --reply take them.
inline std::string toHex(const std::vector<std::uint8_t>& bytes) {
  std::string s;
  char two[3];
  for (std::uint8_t b : bytes) {
    std::snprintf(two, sizeof two, "%02x", b);
    s += two;
  }
  return s;
}

// A name no other test run uses at the same time.
inline std::string uniqueName(const std::string& base) {
  return base + "_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
}

}  // namespace kinevra::test
