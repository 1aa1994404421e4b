// The bridge loop without a controller: its sections, its idle and waiting
// steps, stop, pause and resume. Runs on both systems (no serial line needed).
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "bridge_support.h"
#include "captured_stdout.h"
#include "child_process.h"
#include "link/host_bridge.h"
#include "link/message_routing.h"
#include "manual_clock.h"
#include "platform/shared_memory.h"
#include "rig_double.h"

namespace kinevra {
namespace {

// The real clock, except that sleeps of the bridge thread wait for the
// test's permission: the test sees every step the loop takes.
class GatedClock final : public Clock {
 public:
  std::int64_t counter() override { return systemClock().counter(); }
  std::int64_t frequency() override { return systemClock().frequency(); }
  std::int64_t steadyNs() override { return systemClock().steadyNs(); }
  void sleepUntil(std::int64_t targetNs) override {
    if (std::this_thread::get_id() != gated) return systemClock().sleepUntil(targetNs);
    std::unique_lock<std::mutex> l(m_);
    sleeps_.push_back((targetNs - steadyNs() + 999999) / 1000000);
    changed_.notify_all();
    changed_.wait(l, [&] { return open_ || permits_ > 0; });
    if (!open_) --permits_;
  }
  void permit(int n) {
    std::lock_guard<std::mutex> l(m_);
    permits_ += n;
    changed_.notify_all();
  }
  void open() {
    std::lock_guard<std::mutex> l(m_);
    open_ = true;
    changed_.notify_all();
  }
  // Waits until the gated thread has asked for count sleeps in all.
  std::vector<std::int64_t> awaitSleeps(std::size_t count) {
    std::unique_lock<std::mutex> l(m_);
    changed_.wait(l, [&] { return sleeps_.size() >= count; });
    return sleeps_;
  }
  std::thread::id gated;

 private:
  std::mutex m_;
  std::condition_variable changed_;
  std::vector<std::int64_t> sleeps_;
  int permits_ = 0;
  bool open_ = false;
};

struct Bridge : ::testing::Test {
  std::unique_ptr<LinkState> link = std::make_unique<LinkState>();
  CSerialPort port;
  test::FakeCatalog catalog;
  GatedClock clock;
  SerialDiscovery discovery{*link, port, catalog, clock};
  HostBridge bridge{*link, port, discovery, clock};
  std::thread thread;
  std::atomic<int> result{-1};

  // Starts the bridge on its own thread; its sleeps wait for permits.
  void start() {
    std::mutex m;
    std::unique_lock<std::mutex> l(m);
    std::condition_variable named;
    bool ready = false;
    thread = std::thread([&] {
      {
        std::lock_guard<std::mutex> g(m);
        clock.gated = std::this_thread::get_id();
        ready = true;
      }
      named.notify_all();
      result = bridge.startMMFtoSerial_Thread();
    });
    named.wait(l, [&] { return ready; });
  }
  void TearDown() override {
    clock.open();
    bridge.stopMMFtoSerial_Thread();
    if (thread.joinable()) thread.join();
  }
};

TEST_F(Bridge, StopReturnsAtOnceWhenNoLoopRuns) {
  bridge.stopMMFtoSerial_Thread();  // never started: nothing to wait for
  link->bridgeStopped = true;
  bridge.stopMMFtoSerial_Thread();
  EXPECT_FALSE(link->bridgeRunning);
}

TEST_F(Bridge, SectionsExistWhileItRunsAndMessagesWaitInBothQueues) {
  EXPECT_EQ(sendMessagemmf(*link, test::hostBuffer(8, 0xF9).data()), -1);
  start();
  clock.awaitSleeps(1);  // in the loop, waiting for a port
  EXPECT_TRUE(link->bridgeRunning);
  EXPECT_FALSE(link->bridgeStopped);
  EXPECT_TRUE(platform::SharedMemory::exists(kTxSectionName));
  EXPECT_TRUE(platform::SharedMemory::exists(kRxSectionName));

  // No link delivers valid frames: the message waits for either.
  EXPECT_EQ(sendMessagemmf(*link, test::hostBuffer(8, 0xF9).data()), 1);
  EXPECT_EQ(link->serialTxQueue.size(), 1u);
  EXPECT_EQ(link->udpTxQueue.size(), 1u);
  EXPECT_EQ(isConnected(*link), 0);

  // A second host thread cannot run the same bridge.
  EXPECT_EQ(bridge.startMMFtoSerial_Thread(), 0);
  EXPECT_TRUE(link->bridgeRunning);

  clock.open();
  bridge.stopMMFtoSerial_Thread();
  EXPECT_TRUE(link->bridgeStopped);
  thread.join();
  EXPECT_EQ(result, 1);
  EXPECT_FALSE(platform::SharedMemory::exists(kTxSectionName));
  EXPECT_FALSE(platform::SharedMemory::exists(kRxSectionName));
  // The flags tell that it ran and ended; messages are refused again.
  EXPECT_EQ(sendMessagemmf(*link, test::hostBuffer(8, 0xF9).data()), -1);
}

TEST_F(Bridge, EveryStepWithoutAPortSleeps) {
  start();
  // Waiting without auto-connect: one short sleep per step.
  clock.permit(3);
  for (std::int64_t ms : clock.awaitSleeps(4)) EXPECT_EQ(ms, HostBridge::kWaitStepMs);
  EXPECT_EQ(catalog.listings, 0);

  // Searching with no port to be found: one listing, then a sleep.
  bridge.enableAutoconnect();
  clock.permit(5);
  clock.awaitSleeps(9);
  EXPECT_EQ(catalog.listings, 5);
  EXPECT_FALSE(link->serialPortOpen);
}

TEST_F(Bridge, APausedInterfaceIdlesInLongStepsUntilResumed) {
  start();
  clock.awaitSleeps(1);
  EXPECT_EQ(bridge.isInterfaceRunning(), 1);
  EXPECT_EQ(bridge.pauseInterface(), 1);
  EXPECT_EQ(bridge.isInterfaceRunning(), 0);
  clock.permit(3);
  const auto sleeps = clock.awaitSleeps(4);
  EXPECT_EQ(sleeps[2], HostBridge::kIdleStepMs);
  EXPECT_EQ(sleeps[3], HostBridge::kIdleStepMs);

  // With auto-connect on, resuming leaves the search to the bridge.
  bridge.enableAutoconnect();
  EXPECT_EQ(bridge.resumeInterface(), 1);
  EXPECT_EQ(bridge.isInterfaceRunning(), 1);
  clock.permit(2);
  EXPECT_EQ(clock.awaitSleeps(6).back(), HostBridge::kWaitStepMs);

  // UDP frames valid: the bridge leaves the link to UDP.
  link->udpDataValid = true;
  clock.permit(2);
  EXPECT_EQ(clock.awaitSleeps(8).back(), HostBridge::kIdleStepMs);
}

TEST(BridgeResume, WithoutAControllerItGivesUpAfterThreeTries) {
  auto link = std::make_unique<LinkState>();
  CSerialPort port;
  test::FakeCatalog catalog;  // no port at all
  test::ManualClock clock;
  SerialDiscovery discovery(*link, port, catalog, clock);
  HostBridge bridge(*link, port, discovery, clock);
  bridge.pauseInterface();
  discovery.setStandartPort("COM5");
  test::Stdout out_;
  EXPECT_EQ(bridge.resumeInterface(), 0);
  EXPECT_EQ(out_.take(), "fail vid..fail vid..fail vid..");
  EXPECT_EQ(bridge.isInterfaceRunning(), 1);
  // Each try: the discovery's 5 ms, then half a second.
  const std::vector<std::int64_t> expected{5000000, 500000000, 5000000, 500000000, 5000000, 500000000};
  EXPECT_EQ(clock.sleepsNs, expected);
}

}  // namespace
}  // namespace kinevra
