// The choice of the sender's adapter over adapter lists made by the test,
// with the log lines of each step; and the multicast address settings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log_tail.h"
#include "manual_clock.h"
#include "platform/adapters.h"
#include "udp/adapter_choice.h"
#include "udp/multicast_address.h"
#include "udp_link_support.h"

namespace kinevra {
namespace {

using platform::Adapter;
using platform::AdapterList;

Adapter ethernet(const std::string& name, std::uint32_t metric, std::uint32_t address) {
  return {name, platform::kIfTypeEthernet, platform::kOperStatusUp, metric, {{false, 0}, {true, address}}};
}

std::string choose(const AdapterList& list, std::string* logText = nullptr) {
  test::LogTail log;
  ErrorLogger logger;
  std::string chosen = choosePreferredAdapter(logger, list);
  if (logText) *logText = log.text();
  return chosen;
}

TEST(AdapterChoice, TheActiveEthernetAdapterWithTheLowestMetricWinsTheFirstOfEquals) {
  AdapterList list;
  list.adapters = {ethernet("Ethernet A", 25, 0x0A000001), ethernet("Ethernet B", 10, 0x0A000002)};
  std::string log;
  EXPECT_EQ(choose(list, &log), "10.0.0.2");
  const std::vector<std::string> expected{"Starting GetPreferredEthernetAdapter routine.",
                                          "Examining adapter: Ethernet A",
                                          "Adapter is active and of type Ethernet.",
                                          "Adapter has lower metric (25). Selecting this adapter.",
                                          "Examining adapter: Ethernet B",
                                          "Adapter is active and of type Ethernet.",
                                          "Adapter has lower metric (10). Selecting this adapter.",
                                          "Best adapter selected: Ethernet B with metric: 10",
                                          "Selected adapter IP: 10.0.0.2"};
  EXPECT_EQ(test::logMessages(log), expected) << log;

  list.adapters = {ethernet("First", 10, 0x0A000001), ethernet("Second", 10, 0x0A000002)};
  EXPECT_EQ(choose(list), "10.0.0.1");

  // Down, wireless, loopback, tunnel and metric-less adapters never win.
  Adapter down = ethernet("Down", 1, 0x0A000003);
  down.operStatus = platform::kOperStatusDown;
  Adapter wifi = ethernet("Wi-Fi", 1, 0x0A000004);
  wifi.ifType = platform::kIfTypeWireless;
  Adapter lo = ethernet("Loopback", 1, platform::kLoopbackAddress);
  lo.ifType = platform::kIfTypeLoopback;
  Adapter tunnel = ethernet("Tunnel", 1, 0x0A000005);
  tunnel.ifType = platform::kIfTypeTunnel;
  list.adapters = {down, wifi, lo, tunnel, ethernet("No metric", kNoMetric, 0x0A000006), ethernet("Wired", 40, 0x0A000007)};
  EXPECT_EQ(choose(list, &log), "10.0.0.7");
  EXPECT_EQ(test::countPrefixed(log, "Adapter is either inactive or not of type Ethernet. Skipping."), 4u) << log;
}

TEST(AdapterChoice, WithNothingSuitableTheResultIsEmpty) {
  Adapter wifi = ethernet("Wi-Fi", 5, 0x0A000004);
  wifi.ifType = platform::kIfTypeWireless;
  Adapter lo = ethernet("Loopback", 1, platform::kLoopbackAddress);
  lo.ifType = platform::kIfTypeLoopback;
  for (const std::vector<Adapter>& adapters : {std::vector<Adapter>{}, std::vector<Adapter>{wifi},
                                               std::vector<Adapter>{lo}, std::vector<Adapter>{lo, wifi}}) {
    AdapterList list;
    list.adapters = adapters;
    std::string log;
    EXPECT_EQ(choose(list, &log), "");
    EXPECT_TRUE(test::hasMessage(log, "No suitable adapter found.", "ERROR")) << log;
  }

  // The best adapter has no IPv4 address: nothing, and no address line.
  AdapterList list;
  Adapter v6only = ethernet("IPv6 only", 1, 0);
  v6only.unicast = {{false, 0}};
  list.adapters = {v6only, ethernet("Wired", 50, 0x0A000001)};
  std::string log;
  EXPECT_EQ(choose(list, &log), "");
  EXPECT_TRUE(test::hasMessage(log, "Best adapter selected: IPv6 only with metric: 1")) << log;
  EXPECT_EQ(test::countPrefixed(log, "Selected adapter IP"), 0u);

  // The system could not list its adapters.
  list = {};
  list.failedAt = platform::AdapterListStep::SizeQuery;
  list.error = 232;
  EXPECT_EQ(choose(list, &log), "");
  EXPECT_TRUE(test::hasMessage(log, "GetAdaptersAddresses failed during buffer size determination. Error: 232", "ERROR"));
  list.failedAt = platform::AdapterListStep::Query;
  list.error = 8;
  EXPECT_EQ(choose(list, &log), "");
  EXPECT_TRUE(test::hasMessage(log, "GetAdaptersAddresses failed. Error: 8", "ERROR"));
  list.failedAt = platform::AdapterListStep::Allocation;
  EXPECT_EQ(choose(list, &log), "");
  EXPECT_TRUE(test::hasMessage(log, "Memory allocation failed for adapterAddresses.", "ERROR"));
}

TEST(MulticastAddress, CheckedAddressesAreStoredAndOthersKeepTheCurrentDestination) {
  test::ManualClock clock;
  LinkState link{clock};
  EXPECT_EQ(link.multicastDestination().address, "232.11.12.14");
  EXPECT_EQ(link.multicastDestination().port, 51324);

  test::LogTail log;
  setMulticastAddr(link, "239.1.2.3", 6000);
  EXPECT_EQ(link.multicastDestination().address, "239.1.2.3");
  EXPECT_EQ(link.multicastDestination().port, 6000);
  const std::string refused =
      "UDP Controller Thread: Failed to validate multicast IP address. Using default Multicast address: 239.1.2.3 "
      "and Port: 6000";
  const std::string tooLong = "0239.0001.0002.00003";  // passes the check, 20 characters
  const std::string huge(100000, '1');
  const char bytes[] = {'2', '3', '9', '.', '\x80', '.', '\xff', '.', '1', '\0'};
  const std::vector<const char*> bad{"239.1.2", "239.1.2.256", "239.1..3", "", ".1.2.3", "1.2.3.", "1.2.3.4.5",
                                     " 1.2.3.4", "1.2.3.4 ", "+1.2.3.4", "1.2.3.99999999999999999999",
                                     tooLong.c_str(), huge.c_str(), bytes, nullptr};
  for (const char* a : bad) setMulticastAddr(link, a, 7000);
  EXPECT_EQ(link.multicastDestination().address, "239.1.2.3");
  EXPECT_EQ(link.multicastDestination().port, 6000);
  const std::string text = log.text();
  EXPECT_TRUE(test::hasMessage(text,
                               "UDP Controller Thread: Validated multicast IP address. using Multicast address: "
                               "239.1.2.3 and Port: 6000"))
      << text;
  std::size_t refusals = 0;
  for (const std::string& m : test::logMessages(text)) refusals += m == refused;
  EXPECT_EQ(refusals, bad.size()) << text;

  // Leading zeros are decimal, and the longest text that fits is taken whole.
  setMulticastAddr(link, "0239.0001.0002.0003", 6001);
  EXPECT_EQ(link.multicastDestination().address, "0239.0001.0002.0003");
  EXPECT_EQ(parseDottedIpv4("232.011.012.014"), std::optional<std::uint32_t>(0xE80B0C0E));
  EXPECT_EQ(parseDottedIpv4("0.0.0.09"), std::optional<std::uint32_t>(9));
  EXPECT_EQ(ipv4Text(0xE80B0C0E), "232.11.12.14");
}

}  // namespace
}  // namespace kinevra
