#pragma once
// The compiler of the filter-chain text language, e.g.
// 'GAIN(EMALP(VALUE;20);1.5)': a keyword, '(', the inner chain, the step's
// numbers each after a ';', ')'; the terminal is 'VALUE'.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "filter/filter_sys.h"

namespace kinevra {

// Longest chain accepted, in nodes (the VALUE step included). Real chains
// have a handful of steps; the bound keeps the work of one engine cycle and
// the memory of one text bounded whatever a host sends.
inline constexpr int kMaxChainNodes = 256;

// Why and where a text was refused: the byte offset into the text as given
// (outer white space included) and what was wrong there.
struct FilterRefusal {
  enum class Problem {
    None,
    Empty,            // nothing but white space
    SpacedValue,      // VALUE with white space around it inside its parentheses
    NotAStep,         // neither VALUE nor KEYWORD(...)
    MissingClose,     // a '(' without a ')' after it
    UnknownStep,      // the keyword names no step
    ValueWithParens,  // 'VALUE(...)'
    MissingNumber,    // the step needs more numbers
    BadNumber,        // the text after a ';' is no number the language reads
    ExtraNumber,      // more numbers than the step takes
    BelowOne,         // EMALP/EMAHP with N below 1
    EmptyRange,       // REMAP with inLow equal to inHigh
    TooLong,          // more steps than a chain may have
  };
  Problem problem = Problem::None;
  std::size_t column = 0;       // byte offset in the text
  std::int32_t kind = kValue;   // the step being compiled there (kValue: none)
};

// Compiles a chain text. A text that is not a valid chain gives one fresh
// node whose `valid` flag is clear. Nothing is thrown for a bad text, and
// the number parsing does not depend on the process's locale. When refusal
// is given, a refused text also says why and where there (nothing is
// allocated for it).
std::shared_ptr<FilterSys> parseFilterString(std::string_view text, FilterRefusal* refusal = nullptr);

// A refusal in words, e.g. "GAIN needs 1 number after its inner chain".
std::string describeRefusal(const FilterRefusal& refusal);

// Takes the number after the last ';' of args: on success stores it in value
// and cuts args just before that ';'; on failure leaves args as it was.
bool popLastNumber(std::string_view& args, double& value);

}  // namespace kinevra
