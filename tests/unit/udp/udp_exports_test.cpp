// The UDP exports on the library's own link state, each loop on a thread of
// its own as a host runs them: frames in through the listener, the sender's
// start on this machine's adapters, one stop for both loops, and a restart.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "child_process.h"
#include "kinevra.h"
#include "link/link_state.h"
#include "log_tail.h"
#include "platform/adapters.h"
#include "udp_link_support.h"

namespace kinevra {
namespace {

using namespace std::chrono_literals;
using test::eventually;

// An active wired adapter with an IPv4 address (none inside the test
// namespaces, which have loopback only).
bool haveEthernet() {
  for (const platform::Adapter& a : platform::listAdapters().adapters)
    if (a.ifType == platform::kIfTypeEthernet && a.operStatus == platform::kOperStatusUp)
      for (const auto& u : a.unicast)
        if (u.ipv4) return true;
  return false;
}

struct LoopThread {
  std::thread thread;
  std::atomic<bool> done{false};
  explicit LoopThread(void (*body)()) {
    thread = std::thread([this, body] {
      body();
      done = true;
    });
  }
  ~LoopThread() {
    if (thread.joinable()) thread.join();
  }
};

TEST(UdpExports, FramesReachTheHostBothLoopsStopTogetherAndTheListenerRestarts) {
  LinkState& link = linkState();
  test::Peer controller;
  const std::uint16_t port = test::freeUdpPort();
  test::LogTail log;
  setUDPport(port);
  EXPECT_EQ(link.listenPort.load(), port);
  EXPECT_TRUE(test::hasMessage(log.text(), "UDP Controller Thread : Set UdpPort : " + std::to_string(port)));
  // Whatever the sender finds, its datagrams go to this machine only.
  setMulticastAddr("127.0.0.1", controller.port());

  for (int run = 0; run < 2; ++run) {
    EXPECT_EQ(isConnected(), 0);
    LoopThread listener(startUPDListenThread);
    ASSERT_TRUE(eventually([&] { return link.linkRunning.load() && link.udpLoops.load() == 1; }));
    EXPECT_EQ(isConnected(), 1);

    // The controller's frames, read as the host reads them.
    const auto f9 = test::crcFrame(0xF9, static_cast<std::uint8_t>(run));
    unsigned char frame[512] = {};
    ASSERT_TRUE(eventually([&] {
      controller.sendTo(port, f9);
      return newMessagemmf() == 1;
    }));
    ASSERT_EQ(readMessagemmf(frame), 8);
    EXPECT_EQ(std::vector<std::uint8_t>(frame, frame + 8), test::normalForm(f9));
    const unsigned char message[] = {'h', 'i', 0x0A, 0x0D};
    EXPECT_EQ(sendMessagemmf(message), 1);  // UDP carries the link: its queue
    EXPECT_GE(link.udpTxQueue.size(), 1u);

    LoopThread sender(startUPDMulticastSenderThread);
    if (haveEthernet()) {
      // The message leaves with its CRC, to the loopback peer.
      bool got = false;
      const auto d = controller.receive(30'000'000, &got);
      ASSERT_TRUE(got);
      EXPECT_EQ(d.size(), 4u);
      stopMMFtoSerial_Thread();
    } else {
      // Only loopback here: the sender ends at once and takes the UDP link with it.
      ASSERT_TRUE(eventually([&] { return sender.done.load(); }, 60s));
      EXPECT_TRUE(test::hasMessage(log.text(), "Multicastthread:No suitable Ethernet found , exiting")) << log.text();
      ASSERT_TRUE(eventually([&] { return listener.done.load(); }, 60s));
      stopMMFtoSerial_Thread();  // nothing left to wait for
    }
    ASSERT_TRUE(eventually([&] { return listener.done.load() && sender.done.load(); }, 60s));
    EXPECT_TRUE(link.linkStopped);
    EXPECT_FALSE(link.linkRunning);
    EXPECT_EQ(link.udpLoops.load(), 0);
    link.udpTxQueue.clear();
    link.serialTxQueue.clear();
    link.udpRxQueue.clear();  // the frames sent while waiting for the first
    link.udpLinkActive = false;  // (set once a UDP loop ran; a new process starts without)
  }
}

}  // namespace
}  // namespace kinevra
