// Defaults of the link state and its multicast destination.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "link/link_state.h"
#include "manual_clock.h"

namespace kinevra {
namespace {

void expectLoadDefaults(LinkState& s) {
  EXPECT_TRUE(s.interfaceRunning.load());
  for (const std::atomic<bool>* f : {&s.bridgeRunning, &s.bridgeStopped, &s.linkRunning, &s.linkStopped,
                                     &s.serialPortOpen, &s.serialDataValid, &s.udpDataValid,
                                     &s.udpLinkActive, &s.autoConnect})
    EXPECT_FALSE(f->load());
  EXPECT_EQ(s.autoMessageCrc.load(), 0);
  EXPECT_EQ(s.listenPort.load(), 53241);
  const MulticastDestination d = s.multicastDestination();
  EXPECT_EQ(d.address, "232.11.12.14");
  EXPECT_EQ(d.port, 51324);
  for (const MessageQueue* q : {&s.serialRxQueue, &s.udpRxQueue, &s.serialTxQueue, &s.udpTxQueue, &s.autoTxQueue})
    EXPECT_TRUE(q->empty());
  EXPECT_EQ(s.serialRxQueue.maxEntries(), 151u);
  EXPECT_EQ(s.udpRxQueue.maxEntries(), 151u);
  EXPECT_EQ(s.serialTxQueue.maxEntries(), 150u);
  EXPECT_EQ(s.udpTxQueue.maxEntries(), 150u);
  EXPECT_EQ(s.autoTxQueue.maxEntries(), 150u);
}

TEST(LinkState, StartsWithTheLoadTimeDefaults) {
  test::ManualClock clock;
  // (About 400 kB of queue slots: kept off the stack.)
  auto own = std::make_unique<LinkState>(clock);
  expectLoadDefaults(*own);
  // The library's own instance, built while the library loaded (nothing in
  // this test program has changed it).
  expectLoadDefaults(linkState());
  EXPECT_EQ(&linkState(), &linkState());
}

TEST(LinkState, MulticastDestinationChangesAsAPairAndRefusesWhatDoesNotFit) {
  auto state = std::make_unique<LinkState>();
  LinkState& s = *state;
  EXPECT_TRUE(s.setMulticastDestination("239.1.2.3", 6000));
  EXPECT_EQ(s.multicastDestination().address, "239.1.2.3");
  EXPECT_EQ(s.multicastDestination().port, 6000);
  // 19 characters fit the field, 20 do not.
  EXPECT_TRUE(s.setMulticastDestination("0239.001.002.000003", 7000));
  EXPECT_EQ(s.multicastDestination().address, "0239.001.002.000003");
  EXPECT_FALSE(s.setMulticastDestination("0239.001.002.0000003", 8000));
  EXPECT_EQ(s.multicastDestination().address, "0239.001.002.000003");
  EXPECT_EQ(s.multicastDestination().port, 7000);
  // A shorter address leaves nothing of the longer one behind.
  EXPECT_TRUE(s.setMulticastDestination("1.2.3.4", 1));
  EXPECT_EQ(s.multicastDestination().address, "1.2.3.4");
}

TEST(LinkState, ReadersNeverSeeHalfAChangedDestination) {
  auto state = std::make_unique<LinkState>();
  LinkState& s = *state;
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; i < 5000; ++i) {
      s.setMulticastDestination("239.255.255.250", 1900);
      s.setMulticastDestination("232.11.12.14", 51324);
    }
    stop = true;
  });
  int reads = 0;
  while (!stop.load() || reads == 0) {
    const MulticastDestination d = s.multicastDestination();
    const bool a = d.address == "239.255.255.250" && d.port == 1900;
    const bool b = d.address == "232.11.12.14" && d.port == 51324;
    ASSERT_TRUE(a || b) << d.address << ":" << d.port;
    ++reads;
  }
  writer.join();
}

}  // namespace
}  // namespace kinevra
