#include "rig_message.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace kinevra_host {

bool decodeRigMessage(const std::uint8_t* p, std::size_t size, RigMessage& out) {
  if (!p || size < kRigMessageBytes || p[0] != 0xFC || p[1] != 0xFC) return false;
  for (std::size_t i = 0; i < 6; ++i) {
    const std::uint8_t* f = p + 2 + 4 * i;
    const std::uint32_t bits = std::uint32_t(f[0]) | std::uint32_t(f[1]) << 8 | std::uint32_t(f[2]) << 16 |
                               std::uint32_t(f[3]) << 24;
    std::memcpy(&out.axes[i], &bits, 4);
  }
  auto bigEndian = [](const std::uint8_t* b) {
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | std::uint32_t(b[3]);
  };
  out.belt = bigEndian(p + 26);
  out.wind = bigEndian(p + 30);
  return true;
}

bool parseReceivedLine(std::string_view line, ReceivedFrame& out) {
  auto next = [&line]() {
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    const std::size_t end = std::min(line.find(' '), line.size());
    const std::string_view word = line.substr(0, end);
    line.remove_prefix(end);
    return word;
  };
  const std::string_view ns = next(), kind = next(), status = next(), hex = next();
  if (ns.empty() || kind.empty() || status.empty() || hex.empty() || hex.size() % 2 != 0) return false;
  const auto [end, ec] = std::from_chars(ns.data(), ns.data() + ns.size(), out.ns);
  if (ec != std::errc() || end != ns.data() + ns.size()) return false;
  out.kind = std::string(kind);
  out.status = std::string(status);
  out.bytes.clear();
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    unsigned v = 0;
    const auto [e, c] = std::from_chars(hex.data() + i, hex.data() + i + 2, v, 16);
    if (c != std::errc() || e != hex.data() + i + 2) return false;
    out.bytes.push_back(static_cast<std::uint8_t>(v));
  }
  return true;
}

std::vector<double> deliveryLatencies(const std::vector<SeenMessage>& seen,
                                      const std::vector<ReceivedFrame>& received) {
  // Only the rig messages, in arrival order.
  std::vector<const ReceivedFrame*> rig;
  for (const auto& r : received)
    if (r.kind == "FC" && r.bytes.size() == kRigMessageBytes) rig.push_back(&r);
  auto samePayload = [](const RigMessageBytes& a, const std::vector<std::uint8_t>& b) {
    return std::equal(a.begin() + 2, a.begin() + 34, b.begin() + 2);
  };
  // The host polls: it may miss a message and sees each one a little after
  // it was built. The controller gets a message once; a newer one can
  // overtake an older one that was never sent. So look ahead a little.
  constexpr std::size_t kLookAhead = 64;
  std::vector<double> out;
  std::size_t from = 0;
  for (const SeenMessage& s : seen) {
    for (std::size_t j = from; j < rig.size() && j < from + kLookAhead; ++j) {
      if (rig[j]->ns < s.ns - 1'000'000'000) continue;  // long before: another message with equal bytes
      if (!samePayload(s.bytes, rig[j]->bytes)) continue;
      // Seen after it arrived: the poll came late; the message was not early.
      out.push_back(std::max(0.0, static_cast<double>(rig[j]->ns - s.ns) / 1e6));
      from = j + 1;
      break;
    }
  }
  return out;
}

Spread spreadOf(std::vector<double> values) {
  Spread s;
  s.count = values.size();
  if (values.empty()) return s;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  s.worst = values.back();
  return s;
}

}  // namespace kinevra_host
