#pragma once
// The compiler of the filter-chain text language, e.g.
// 'GAIN(EMALP(VALUE;20);1.5)': a keyword, '(', the inner chain, the step's
// numbers each after a ';', ')'; the terminal is 'VALUE'.
#include <memory>
#include <string_view>

#include "filter/filter_sys.h"

namespace kinevra {

// Longest chain accepted, in nodes (the VALUE step included). Real chains
// have a handful of steps; the bound keeps the work of one engine cycle and
// the memory of one text bounded whatever a host sends.
inline constexpr int kMaxChainNodes = 256;

// Compiles a chain text. A text that is not a valid chain gives one fresh
// node whose `valid` flag is clear. Nothing is thrown for a bad text, and
// the number parsing does not depend on the process's locale.
std::shared_ptr<FilterSys> parseFilterString(std::string_view text);

// Takes the number after the last ';' of args: on success stores it in value
// and cuts args just before that ';'; on failure leaves args as it was.
bool popLastNumber(std::string_view& args, double& value);

}  // namespace kinevra
