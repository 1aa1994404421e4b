#pragma once
// A filter text run on a chain of its own, outside the engine: what a channel
// with that chain makes of an input, one evaluation per 2 ms cycle from rest.
// The tools (kinevra-host plot) use it to show a chain before anyone rides it.
#include <string>

namespace kinevra {

// Compiles text as the engine does and evaluates it over count inputs into
// output. Returns count; -1 when the text does not compile (failColumn: the
// byte offset where the compiler stopped; reason: why, in English); -2 for a
// null text, a count below 0 or a null array with a count above 0.
// failColumn and reason may be null.
int evaluateFilterText(const char* text, const double* input, double* output, int count, int* failColumn,
                       std::string* reason);

}  // namespace kinevra
