// The filter-chain exports.
#include <cstring>
#include <string>

#include "engine/engine_instance.h"
#include "engine/export_guard.h"
#include "filter/filter_compiler.h"
#include "kinevra.h"

extern "C" {

KINEVRA_API bool KINEVRA_CALL setcheckFilterstring(int profile, int channel, const char* text) {
  return kinevra::guarded(false, [&] { return kinevra::engine().installFilterString(profile, channel, text); });
}

// A chain of its own, outside the engine: nothing the engine runs changes.
KINEVRA_API int KINEVRA_CALL evaluateFilterstring(const char* text, const double* input, double* output, int count,
                                                  int* failColumn, char* reason, int reasonSize) {
  return kinevra::guarded(-2, [&]() -> int {
    if (!text || count < 0 || (count > 0 && (!input || !output))) return -2;
    kinevra::FilterRefusal refusal;
    const std::shared_ptr<kinevra::FilterSys> chain = kinevra::parseFilterString(text, &refusal);
    const bool valid = chain->valid.load();
    if (failColumn) *failColumn = valid ? -1 : static_cast<int>(refusal.column);
    if (reason && reasonSize > 0) {
      const std::string words = valid ? std::string() : kinevra::describeRefusal(refusal);
      const std::size_t n = words.size() < static_cast<std::size_t>(reasonSize) ? words.size()
                                                                                : static_cast<std::size_t>(reasonSize) - 1;
      std::memcpy(reason, words.data(), n);
      reason[n] = '\0';
    }
    if (!valid) return -1;
    for (int i = 0; i < count; ++i) output[i] = chain->evaluate(input[i], 1.0, 1.0, 1.0);
    return count;
  });
}

}  // extern "C"
