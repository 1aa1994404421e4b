#include "rig_message.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

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

bool parseStampLine(std::string_view line, UpdateStamp& out) {
  const std::string text(line);
  char* end = nullptr;
  const long long ns = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != ' ') return false;
  UpdateStamp s;
  s.ns = ns;
  for (float& k : s.key) {
    const char* from = end;
    k = std::strtof(from, &end);
    if (end == from || !std::isfinite(k)) return false;
  }
  while (*end == ' ' || *end == '\r') ++end;
  if (*end != '\0') return false;
  out = s;
  return true;
}

namespace {
template <std::size_t N>
std::array<std::uint32_t, N> bitsOf(const std::array<float, N>& v) {
  std::array<std::uint32_t, N> b{};
  for (std::size_t i = 0; i < N; ++i) {
    const float x = v[i] == 0.0f ? 0.0f : v[i];  // -0 and +0 are one value
    std::memcpy(&b[i], &x, sizeof x);
  }
  return b;
}
}  // namespace

std::vector<double> updateLatencies(const std::vector<UpdateStamp>& stamps, const std::vector<CycleRecord>& cycles,
                                    const std::vector<ReceivedFrame>& received) {
  using Key = std::array<std::uint32_t, 3>;
  using Axes = std::array<std::uint32_t, 6>;
  struct Stamped {
    std::int64_t ns;
    int count;
  };
  std::map<Key, Stamped> updates;
  for (const UpdateStamp& s : stamps) {
    auto [it, fresh] = updates.try_emplace(bitsOf(s.key), Stamped{s.ns, 0});
    ++it->second.count;
  }
  // Which telemetry each message came from; a message two cycles of
  // different telemetry both computed belongs to neither.
  struct Source {
    Key key;
    bool ambiguous;
  };
  std::map<Axes, Source> messages;
  for (const CycleRecord& c : cycles) {
    const Key key = bitsOf(c.key);
    auto [it, fresh] = messages.try_emplace(bitsOf(c.axes), Source{key, false});
    if (!fresh && it->second.key != key) it->second.ambiguous = true;
  }
  std::map<Key, double> first;  // update -> its first arrival, ms
  for (const ReceivedFrame& f : received) {
    RigMessage m;
    if (f.kind != "FC" || f.bytes.size() != kRigMessageBytes || !decodeRigMessage(f.bytes.data(), f.bytes.size(), m))
      continue;
    const auto source = messages.find(bitsOf(m.axes));
    if (source == messages.end() || source->second.ambiguous) continue;
    const auto update = updates.find(source->second.key);
    if (update == updates.end() || update->second.count != 1) continue;
    first.try_emplace(update->first, static_cast<double>(f.ns - update->second.ns) / 1e6);
  }
  std::vector<double> out;
  out.reserve(first.size());
  for (const auto& [key, ms] : first) out.push_back(ms);
  return out;
}

Spread spreadOf(std::vector<double> values) {
  Spread s;
  s.count = values.size();
  if (values.empty()) return s;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  // The nearest rank: the smallest value at or above 99 % of the others.
  s.p99 = values[std::min(n - 1, static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(n))) - 1)];
  s.worst = values.back();
  return s;
}

}  // namespace kinevra_host
