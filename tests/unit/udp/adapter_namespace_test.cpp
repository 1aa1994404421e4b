// The adapter choice on real interfaces: namespaces made by the test, with
// veth pairs of chosen route metrics (Linux, as root). A thread inside the
// namespace sees exactly those interfaces.
#include <gtest/gtest.h>

#ifndef _WIN32
#include "log_tail.h"
#include "manual_clock.h"
#include "child_process.h"
#include "network_namespaces.h"
#include "platform/adapters.h"
#include "udp/adapter_choice.h"
#include "udp/multicast_sender.h"
#include "udp_link_support.h"
#endif

namespace kinevra {
namespace {

#ifdef _WIN32
TEST(AdapterNamespaces, NotOnWindows) {
  GTEST_SKIP() << "network namespaces are Linux's; under Wine the adapter list is the host's (see the export test)";
}
#else

const platform::Adapter* find(const platform::AdapterList& list, const std::string& name) {
  for (const auto& a : list.adapters)
    if (a.friendlyName == name) return &a;
  return nullptr;
}

// The kernel passes carrier changes on with a delay (up to a second): waits
// until the interfaces of the calling thread's namespace show the states.
bool awaitStates(const std::vector<std::pair<std::string, std::uint32_t>>& states) {
  return test::eventually([&] {
    const platform::AdapterList list = platform::listAdapters();
    for (const auto& [name, status] : states) {
      const platform::Adapter* a = find(list, name);
      if (!a || a->operStatus != status) return false;
    }
    return true;
  });
}

constexpr std::uint32_t kUp = platform::kOperStatusUp, kDown = platform::kOperStatusDown;

TEST(AdapterNamespaces, TheLowestMetricOfTheActiveEthernetAdaptersIsChosen) {
  test::NetworkNamespaces ns("adapters", 2);
  if (!ns.ok()) GTEST_SKIP() << ns.why();
  ASSERT_TRUE(ns.vethPair(0, "wired25", "10.213.1.1", 25, 1, "peer25", "10.213.1.2"));
  ASSERT_TRUE(ns.vethPair(0, "wired10", "10.213.2.1", 10, 1, "peer10", "10.213.2.2"));
  ASSERT_TRUE(ns.vethPair(0, "unplugged", "10.213.3.1", 5, 1, "peer5", "10.213.3.2"));
  ASSERT_TRUE(ns.ip("-n " + ns.name(1) + " link set peer5 down"));  // no carrier on its end

  ns.runIn(0, [] {
    ASSERT_TRUE(awaitStates({{"wired25", kUp}, {"wired10", kUp}, {"unplugged", kDown}}));
    const platform::AdapterList list = platform::listAdapters();
    EXPECT_EQ(list.failedAt, platform::AdapterListStep::Done);
    const platform::Adapter* lo = find(list, "lo");
    ASSERT_NE(lo, nullptr);
    EXPECT_EQ(lo->ifType, platform::kIfTypeLoopback);
    const platform::Adapter* w25 = find(list, "wired25");
    ASSERT_NE(w25, nullptr);
    EXPECT_EQ(w25->ifType, platform::kIfTypeEthernet);
    EXPECT_EQ(w25->operStatus, platform::kOperStatusUp);
    EXPECT_EQ(w25->ipv4Metric, 25u);
    ASSERT_FALSE(w25->unicast.empty());
    EXPECT_EQ(w25->unicast[0].address, 0x0AD50101u);
    const platform::Adapter* off = find(list, "unplugged");
    ASSERT_NE(off, nullptr);
    EXPECT_EQ(off->operStatus, platform::kOperStatusDown);

    test::LogTail log;
    ErrorLogger logger;
    EXPECT_EQ(GetPreferredEthernetAdapter(logger), "10.213.2.1");
    EXPECT_TRUE(test::hasMessage(log.text(), "Best adapter selected: wired10 with metric: 10")) << log.text();
  });

  // The better one loses its carrier: the other is chosen.
  ASSERT_TRUE(ns.ip("-n " + ns.name(1) + " link set peer10 down"));
  ns.runIn(0, [] {
    ASSERT_TRUE(awaitStates({{"wired10", kDown}}));
    ErrorLogger logger;
    EXPECT_EQ(GetPreferredEthernetAdapter(logger), "10.213.1.1");
  });

  // Only loopback left: the sender gives up at its start.
  for (const char* end : {"wired25", "wired10", "unplugged"}) ASSERT_TRUE(ns.ip("-n " + ns.name(0) + " link set " + end + " down"));
  ns.runIn(0, [] {
    test::ManualClock clock;
    LinkState link{clock};
    test::LogTail log;
    MulticastSender sender(link, clock);
    EXPECT_FALSE(sender.begin());
    EXPECT_TRUE(link.linkStopped);
    EXPECT_TRUE(test::hasMessage(log.text(), "Multicastthread:No suitable Ethernet found , exiting")) << log.text();
    EXPECT_TRUE(test::hasMessage(log.text(), "No suitable adapter found.", "ERROR"));
  });
}
#endif

}  // namespace
}  // namespace kinevra
