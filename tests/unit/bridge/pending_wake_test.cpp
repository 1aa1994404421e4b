// The bridge waits for the engine's message between its cycles and writes it
// as it comes: the pending slot wakes a waiter when a message is put.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <thread>

#include "link/pending_message.h"

namespace kinevra {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

TEST(PendingMessageWake, AWaiterWakesForAPutAndOtherwiseAtItsDeadline) {
  PendingMessage slot;
  // Nothing comes: the wait ends at its deadline, reporting nothing.
  EXPECT_FALSE(slot.waitUntilPending(SteadyClock::now() + 2ms));

  // A message put by another thread ends a long wait.
  const std::array<std::uint8_t, 36> m{0xFC, 0xFC};
  std::thread engine([&] {
    std::this_thread::sleep_for(20ms);
    slot.put(m);
  });
  EXPECT_TRUE(slot.waitUntilPending(SteadyClock::now() + 60s));
  engine.join();

  // One already waiting: no wait at all; taken, the next wait reports none.
  EXPECT_TRUE(slot.waitUntilPending(SteadyClock::now()));
  Message out;
  ASSERT_TRUE(slot.take(out));
  EXPECT_EQ(out.size(), 36u);
  EXPECT_FALSE(slot.waitUntilPending(SteadyClock::now() + 1ms));
}

}  // namespace
}  // namespace kinevra
