#include "udp/adapter_choice.h"

#include "udp/multicast_address.h"

namespace kinevra {

std::string choosePreferredAdapter(ErrorLogger& logger, const platform::AdapterList& list) {
  logger.logInfo("Starting GetPreferredEthernetAdapter routine.");
  switch (list.failedAt) {
    case platform::AdapterListStep::SizeQuery:
      logger.logError("GetAdaptersAddresses failed during buffer size determination. Error: " +
                      std::to_string(list.error));
      return {};
    case platform::AdapterListStep::Allocation:
      logger.logError("Memory allocation failed for adapterAddresses.");
      return {};
    case platform::AdapterListStep::Query:
      logger.logError("GetAdaptersAddresses failed. Error: " + std::to_string(list.error));
      return {};
    case platform::AdapterListStep::Done:
      break;
  }

  std::uint32_t bestMetric = kNoMetric;
  const platform::Adapter* best = nullptr;
  for (const platform::Adapter& a : list.adapters) {
    logger.logInfo("Examining adapter: " + a.friendlyName);
    if (a.operStatus == platform::kOperStatusUp && a.ifType == platform::kIfTypeEthernet) {
      logger.logInfo("Adapter is active and of type Ethernet.");
      if (a.ipv4Metric < bestMetric) {
        logger.logInfo("Adapter has lower metric (" + std::to_string(a.ipv4Metric) + "). Selecting this adapter.");
        bestMetric = a.ipv4Metric;
        best = &a;
      }
    } else {
      logger.logInfo("Adapter is either inactive or not of type Ethernet. Skipping.");
    }
  }
  if (!best) {
    logger.logError("No suitable adapter found.");
    return {};
  }
  logger.logInfo("Best adapter selected: " + best->friendlyName + " with metric: " + std::to_string(bestMetric));
  for (const platform::UnicastAddress& u : best->unicast) {
    if (!u.ipv4) continue;
    std::string text = ipv4Text(u.address);
    logger.logInfo("Selected adapter IP: " + text);
    return text;
  }
  return {};
}

std::string GetPreferredEthernetAdapter(ErrorLogger& logger) {
  return choosePreferredAdapter(logger, platform::listAdapters());
}

}  // namespace kinevra
