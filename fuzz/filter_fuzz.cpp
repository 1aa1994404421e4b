// Any text compiles to a valid chain or to an invalid head, and a chain that
// compiles evaluates any input without fault.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

#include "filter/filter_compiler.h"

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

const double kInputs[] = {0.0,
                          1.0,
                          -1.0,
                          0.3,
                          -2.75,
                          1e6,
                          -1e300,
                          std::numeric_limits<double>::max(),
                          std::numeric_limits<double>::denorm_min(),
                          std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(),
                          std::numeric_limits<double>::quiet_NaN()};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kinevra;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::shared_ptr<FilterSys> head = parseFilterString(text);
  check(head != nullptr);
  if (!head->valid.load()) {
    check(head->nextNode() == nullptr && head->name.empty() && head->kind == kValue);
    check(head->evaluate(1.0, 1.0, 1.0, 1.0) == 0.0);
    return 0;
  }
  // Structure: bounded length, consistent links, VALUE last.
  int nodes = 0;
  std::shared_ptr<FilterSys> prev;
  for (auto n = head; n; n = n->nextNode()) {
    check(++nodes <= kMaxChainNodes);
    check(n->prevNode() == prev);
    check(n->kind >= 0 && n->kind < kFilterKindCount && n->name == filterKindName(n->kind));
    check((n->kind == kNoise) == (n->noise != nullptr));
    check(std::isfinite(n->param1) && std::isfinite(n->param2) && std::isfinite(n->param3) &&
          std::isfinite(n->param4));
    prev = n;
  }
  check(prev->kind == kValue && getTail(head) == prev);

  for (int round = 0; round < 4; ++round) {
    for (double x : kInputs) {
      const double y = head->evaluate(x, 1.0, 1.0, 1.0);
      (void)y;
    }
  }
  head->evaluate(0.5, 2.0, 0.25, 3.0);
  return 0;
}
