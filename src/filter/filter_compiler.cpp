#include "filter/filter_compiler.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <string>
#include <vector>

namespace kinevra {

namespace {

// White space as the C locale knows it; the host's locale plays no part.
bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Characters that can stand after a ';' in a number that converts. Used to
// stop the search for the last ';' early: past any other character, no ';'
// further left can start a valid number, so every text is scanned a bounded
// number of times.
bool mayBeInNumber(char c) {
  return isDigit(c) || hexValue(c) >= 0 || c == 'x' || c == '+' || c == '-' || c == '.' || c == ',' ||
         isSpace(c);
}

std::string_view strip(std::string_view s) {
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
  return s;
}

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool equalsUpper(std::string_view keyword, std::string_view name) {
  if (keyword.size() != name.size()) return false;
  for (std::size_t i = 0; i < keyword.size(); ++i)
    if (upper(keyword[i]) != name[i]) return false;
  return true;
}

// The kind named by a keyword (any case), or -1.
int kindOfKeyword(std::string_view keyword) {
  for (int k = 1; k < kFilterKindCount; ++k)
    if (equalsUpper(keyword, filterKindName(k))) return k;
  return -1;
}

// Numbers are stored in single precision: one that is infinite there, or
// that is not zero but falls below its normal range, counts as out of range.
bool storable(double v) {
  if (!std::isfinite(v)) return false;
  if (v != 0.0 && std::fabs(v) < static_cast<double>(std::numeric_limits<float>::min())) return false;
  return std::isfinite(static_cast<float>(v));
}

// "0x..." after an optional '-': a positive value must fit 32 bits unsigned,
// a negative one 64 bits signed.
bool parseHex(std::string_view digits, bool negative, double& value) {
  if (digits.empty()) return false;
  const std::uint64_t limit = negative ? (std::uint64_t{1} << 63) : std::uint64_t{0xFFFFFFFFu};
  std::uint64_t magnitude = 0;
  for (char c : digits) {
    const int d = hexValue(c);
    if (d < 0) return false;
    if (magnitude > (limit - static_cast<std::uint64_t>(d)) / 16) return false;
    magnitude = magnitude * 16 + static_cast<std::uint64_t>(d);
  }
  if (!negative) {
    value = static_cast<double>(magnitude);
  } else if (magnitude == (std::uint64_t{1} << 63)) {
    value = static_cast<double>(std::numeric_limits<std::int64_t>::min());
  } else {
    value = static_cast<double>(-static_cast<std::int64_t>(magnitude));
  }
  return true;
}

// Decimal with '.' or ',' as the point, an optional sign, no exponent; the
// longest valid prefix counts ('1.5.3' reads 1.5).
bool parseDecimal(std::string_view text, double& value) {
  char buffer[64];
  std::string normalized;
  char* first;
  if (text.size() <= sizeof buffer) {
    first = buffer;
  } else {
    normalized.resize(text.size());
    first = normalized.data();
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i] == ',' ? '.' : text[i];
    if (!isDigit(c) && c != '+' && c != '-' && c != '.') return false;
    first[i] = c;
  }
  const char* p = first;
  const char* end = first + text.size();
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  if (p == end || *p == '+' || *p == '-') return false;  // nothing to read, or a second sign
  double v = 0.0;
  const auto result = std::from_chars(p, end, v, std::chars_format::fixed);
  if (result.ec != std::errc()) return false;  // nothing read, or out of range
  value = negative ? -v : v;
  return true;
}

bool parseNumber(std::string_view text, double& value) {
  text = strip(text);
  const bool negative = !text.empty() && text.front() == '-';
  const std::string_view body = negative ? text.substr(1) : text;
  double v = 0.0;
  bool ok;
  if (body.size() >= 2 && body[0] == '0' && body[1] == 'x')
    ok = parseHex(body.substr(2), negative, v);
  else
    ok = parseDecimal(text, v);
  if (!ok || !storable(v)) return false;
  value = v;
  return true;
}

[[nodiscard]] std::shared_ptr<FilterSys> invalidHead() { return std::make_shared<FilterSys>(); }

}  // namespace

bool popLastNumber(std::string_view& args, double& value) {
  std::size_t i = args.size();
  while (i > 0 && args[i - 1] != ';') {
    if (!mayBeInNumber(args[i - 1])) return false;
    --i;
  }
  if (i == 0 || i == args.size()) return false;  // no ';', or nothing after it
  if (!parseNumber(args.substr(i), value)) return false;
  args = args.substr(0, i - 1);
  return true;
}

std::shared_ptr<FilterSys> parseFilterString(std::string_view text, FilterRefusal* refusal) {
  using Problem = FilterRefusal::Problem;
  // Every view below lies inside text, so a position is an offset into it.
  auto refuse = [&](Problem problem, const char* at, std::int32_t kind) {
    if (refusal) {
      refusal->problem = problem;
      refusal->column = static_cast<std::size_t>(at - text.data());
      refusal->kind = kind;
    }
    return invalidHead();
  };
  try {
    std::string_view work = strip(text);
    if (work.empty()) return refuse(Problem::Empty, text.data() + text.size(), kValue);
    std::shared_ptr<FilterSys> head;
    std::shared_ptr<FilterSys> tail;
    std::vector<FilterSys*> nodes;
    std::int32_t outer = kValue;  // the step whose inner chain work is

    auto append = [&](const std::shared_ptr<FilterSys>& node) {
      if (!head) {
        head = node;
      } else {
        const std::shared_ptr<FilterSys> last = getTail(tail);
        {
          std::lock_guard<std::mutex> lock(last->linkLock);
          last->next = node;
        }
        std::lock_guard<std::mutex> lock(node->linkLock);
        node->prev = last;
      }
      tail = node;
      nodes.push_back(node.get());
    };

    for (;;) {
      if (work == "VALUE") {
        auto node = std::make_shared<FilterSys>();
        node->name = "VALUE";
        append(node);
        head->order_.assign(nodes.rbegin(), nodes.rend());
        head->valid.exchange(true);
        return head;
      }
      // One more step and the VALUE step must still fit.
      if (static_cast<int>(nodes.size()) + 2 > kMaxChainNodes) return refuse(Problem::TooLong, work.data(), outer);

      const std::size_t open = work.find('(');
      const std::size_t close = work.rfind(')');
      if (open == std::string_view::npos) {
        const std::string_view bare = strip(work);
        if (bare == "VALUE") return refuse(Problem::SpacedValue, work.data(), outer);
        // 'VALUE;2' inside a step: a number the step does not take.
        if (outer != kValue && bare.substr(0, 5) == "VALUE" && bare.size() > 5 && bare[5] == ';')
          return refuse(Problem::ExtraNumber, bare.data() + 5, outer);
        return refuse(Problem::NotAStep, bare.empty() ? work.data() : bare.data(), outer);
      }
      if (close == std::string_view::npos || close < open)
        return refuse(Problem::MissingClose, work.data() + work.size(), kindOfKeyword(strip(work.substr(0, open))));
      const std::string_view keyword = strip(work.substr(0, open));
      const int kind = kindOfKeyword(keyword);
      if (kind < 0) {
        const char* at = keyword.empty() ? work.data() + open : keyword.data();
        return refuse(keyword == "VALUE" ? Problem::ValueWithParens : Problem::UnknownStep, at, outer);
      }
      std::string_view args = work.substr(open + 1, close - open - 1);

      // The numbers come off the end, the last one first.
      double numbers[4] = {0.0, 0.0, 0.0, 0.0};
      const char* numberAt[4] = {nullptr, nullptr, nullptr, nullptr};
      const int arity = filterKindArity(kind);
      for (int n = arity - 1; n >= 0; --n) {
        if (!popLastNumber(args, numbers[n])) {
          // Where it failed: the text after the last ';', or where a number
          // is missing (no ';' after the inner chain's last ')').
          const std::size_t semi = args.find_last_of(";)");
          if (semi == std::string_view::npos || args[semi] == ')' || strip(args.substr(semi + 1)).empty())
            return refuse(Problem::MissingNumber, args.data() + args.size(), kind);
          return refuse(Problem::BadNumber, strip(args.substr(semi + 1)).data(), kind);
        }
        numberAt[n] = args.data() + args.size() + 1;
      }

      if (kind == kAbs) {
        std::string_view probe = args;
        double ignored;
        if (popLastNumber(probe, ignored)) return refuse(Problem::ExtraNumber, probe.data() + probe.size(), kind);
      }
      if ((kind == kEmaLowPass || kind == kEmaHighPass) && !(numbers[0] >= 1.0))
        return refuse(Problem::BelowOne, numberAt[0], kind);

      auto node = std::make_shared<FilterSys>();
      node->kind = kind;
      node->name = std::string(filterKindName(kind));
      node->param1 = static_cast<float>(numbers[0]);
      node->param2 = static_cast<float>(numbers[1]);
      node->param3 = static_cast<float>(numbers[2]);
      node->param4 = static_cast<float>(numbers[3]);
      // Judged on the stored values: a range that is degenerate in single
      // precision would make the step pass its input through unchanged.
      if (kind == kRemap && std::fabs(static_cast<double>(node->param2) - node->param1) < 1e-9)
        return refuse(Problem::EmptyRange, numberAt[1], kind);
      if (kind == kNoise) node->noise = std::make_shared<NoiseLayer>(node->param1, node->param2, node->param3);
      append(node);
      work = args;  // the inner expression, not stripped
      outer = kind;
    }
  } catch (const std::bad_alloc&) {
    return invalidHead();
  }
}

std::string describeRefusal(const FilterRefusal& r) {
  using Problem = FilterRefusal::Problem;
  const std::string step = r.kind == kValue ? std::string() : std::string(filterKindName(r.kind));
  const int arity = r.kind == kValue ? 0 : filterKindArity(r.kind);
  const std::string numbers = std::to_string(arity) + (arity == 1 ? " number" : " numbers");
  switch (r.problem) {
    case Problem::None: return "the text compiles";
    case Problem::Empty: return "the text is empty";
    case Problem::SpacedValue: return "VALUE must stand between '(' and ';' without spaces";
    case Problem::NotAStep: return "expected VALUE or a step such as GAIN(VALUE;2)";
    case Problem::MissingClose: return "'(' without a ')' after it";
    case Problem::UnknownStep: return "no step of that name (the steps: EMALP EMAHP MUL GAIN LOGISTIC CROP ROLLOVER REMAP NOISE BITSCALE BITSCALESIGNED SINUS ABS SETVALUE ADD)";
    case Problem::ValueWithParens: return "VALUE takes no parentheses";
    case Problem::MissingNumber: return step + " needs " + numbers + " after its inner chain, each after a ';'";
    case Problem::BadNumber: return "not a number (digits with '.' or ',', or 0x hexadecimal; no exponent)";
    case Problem::ExtraNumber:
      return step + (arity == 0 ? " takes no number" : " takes only " + numbers);
    case Problem::BelowOne: return step + "'s N must be at least 1";
    case Problem::EmptyRange: return "REMAP's inLow and inHigh must differ";
    case Problem::TooLong: return "more than " + std::to_string(kMaxChainNodes - 1) + " steps in one chain";
  }
  return "refused";
}

}  // namespace kinevra
