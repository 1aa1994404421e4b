// Process detection and named shared memory against real processes: gamesim
// runs under a game's executable name and publishes blocks.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "child_process.h"
#include "platform/process.h"
#include "platform/shared_memory.h"

namespace kinevra {
namespace {

namespace fs = std::filesystem;
using platform::SharedMemory;
using test::ChildProcess;
using test::eventually;

#if defined(_WIN32)
constexpr const char* kGamesim = "gamesim.exe";
#else
constexpr const char* kGamesim = "gamesim";
#endif

// A per-run name, so parallel runs and leftovers of a crashed run never meet.
std::string uniqueName(const std::string& base) {
  return base + "_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
}

// gamesim copied under exeName and started with args; waits until it is set up.
struct Game {
  Game(const std::string& exeName, std::vector<std::string> args) {
    dir = test::scratchDir("game");
    exe = dir / exeName;
    fs::copy_file(test::programDir() / kGamesim, exe);
    const fs::path ready = dir / "ready";
    args.insert(args.end(), {"--ready", ready.string(), "--seconds", "120"});
    started = child.start(exe, args) && eventually([&] { return fs::exists(ready); });
  }
  ~Game() {
    child.stop();
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  fs::path dir, exe;
  ChildProcess child;
  bool started = false;
};

TEST(ProcessCheck, FindsAProgramByItsExactExecutableName) {
  const std::string name = uniqueName("LFS64") + ".exe";
  EXPECT_FALSE(platform::isProcessRunning(name));
  {
    Game game(name, {});
    ASSERT_TRUE(game.started);
    EXPECT_TRUE(platform::isProcessRunning(name));
    std::string lower = name;
    lower[0] = 'l';  // letter case matters
    EXPECT_FALSE(platform::isProcessRunning(lower));
    EXPECT_FALSE(platform::isProcessRunning(name.substr(0, name.size() - 4)));  // whole name only
    EXPECT_FALSE(platform::isProcessRunning(name.substr(1)));
  }
  EXPECT_TRUE(eventually([&] { return !platform::isProcessRunning(name); }));
  EXPECT_FALSE(platform::isProcessRunning(""));
}

TEST(SharedMemoryAcrossProcesses, ReadsWhatAnotherProcessPublishes) {
  const std::string name = uniqueName("Local\\kv_status");
  Game game(uniqueName("game") + ".exe", {"--shm", name + ":64", "--set", name + ":4:i32:2"});
  ASSERT_TRUE(game.started);

  EXPECT_TRUE(SharedMemory::exists(name));
  SharedMemory block;
  ASSERT_TRUE(block.openExisting(name));
  EXPECT_FALSE(block.created());
  // Asking for more than the block holds maps what there is, never more.
  const auto* view = static_cast<const unsigned char*>(block.mapRead(1320));
  ASSERT_NE(view, nullptr);
  EXPECT_GE(block.viewSize(), 64u);
  EXPECT_LE(block.viewSize(), 1320u);
  std::int32_t status = 0;
  std::memcpy(&status, view + 4, 4);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(block.mapRead(64), nullptr);  // one view at a time
  EXPECT_TRUE(block.unmap());
  EXPECT_FALSE(block.unmap());
  block.close();

  // Someone else's block outlives our handles to it.
  EXPECT_TRUE(SharedMemory::exists(name));
  // A read-only handle gives no writable view.
  ASSERT_TRUE(block.openExisting(name));
  EXPECT_EQ(block.mapWrite(64), nullptr);
}

TEST(SharedMemoryLifetime, OurOwnBlockIsGoneWhenWeLetGo) {
  const std::string name = uniqueName("Local\\kv_own");
  EXPECT_FALSE(SharedMemory::exists(name));
  {
    SharedMemory mine;
    ASSERT_TRUE(mine.createOrOpen(name, 1320));
    EXPECT_TRUE(mine.created());
    auto* v = static_cast<unsigned char*>(mine.mapWrite(1320));
    ASSERT_NE(v, nullptr);
    for (std::size_t i = 0; i < 1320; ++i) ASSERT_EQ(v[i], 0) << i;  // zero-filled
    v[7] = 42;

    SharedMemory again;
    ASSERT_TRUE(again.createOrOpen(name, 1320));
    EXPECT_FALSE(again.created());
    const auto* w = static_cast<const unsigned char*>(again.mapRead(1320));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w[7], 42);
  }
  EXPECT_FALSE(SharedMemory::exists(name));
}

TEST(SharedMemoryLifetime, MovedHandlesKeepOneOwner) {
  const std::string name = uniqueName("Local\\kv_move");
  SharedMemory a;
  ASSERT_TRUE(a.createOrOpen(name, 128));
  ASSERT_NE(a.mapWrite(128), nullptr);
  SharedMemory b(std::move(a));
  EXPECT_FALSE(a.isOpen());
  EXPECT_EQ(a.view(), nullptr);
  EXPECT_TRUE(b.isOpen());
  EXPECT_NE(b.view(), nullptr);
  a.close();  // harmless
  EXPECT_TRUE(SharedMemory::exists(name));
  b.close();
  EXPECT_FALSE(SharedMemory::exists(name));
}

TEST(SharedMemoryLifetime, MissingOrMalformedNamesFailCleanly) {
  SharedMemory m;
  EXPECT_FALSE(m.openExisting(uniqueName("Local\\kv_none")));
  EXPECT_FALSE(m.isOpen());
  EXPECT_NE(m.lastError(), 0u);
  EXPECT_EQ(m.mapRead(16), nullptr);
  EXPECT_FALSE(m.createOrOpen("", 16));
  EXPECT_FALSE(m.createOrOpen(uniqueName("Local\\kv_zero"), 0));
}

}  // namespace
}  // namespace kinevra
