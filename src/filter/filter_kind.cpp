#include "filter/filter_kind.h"

namespace kinevra {

namespace {
constexpr std::string_view kNames[kFilterKindCount] = {
    "VALUE",    "EMALP",    "EMAHP",          "MUL",   "GAIN", "LOGISTIC", "CROP",     "ROLLOVER",
    "REMAP",    "NOISE",    "BITSCALE",       "BITSCALESIGNED", "SINUS", "ABS", "SETVALUE", "ADD"};
constexpr int kArity[kFilterKindCount] = {0, 1, 1, 1, 1, 2, 2, 1, 4, 3, 2, 2, 2, 0, 1, 1};
}  // namespace

std::string_view filterKindName(std::int32_t kind) {
  if (kind < 0 || kind >= kFilterKindCount) return "UNKNOWN";
  return kNames[kind];
}

int filterKindArity(std::int32_t kind) {
  if (kind < 0 || kind >= kFilterKindCount) return 0;
  return kArity[kind];
}

}  // namespace kinevra
