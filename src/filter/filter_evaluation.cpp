#include "filter/filter_evaluation.h"

#include <memory>

#include "filter/filter_compiler.h"

namespace kinevra {

int evaluateFilterText(const char* text, const double* input, double* output, int count, int* failColumn,
                       std::string* reason) {
  if (!text || count < 0 || (count > 0 && (!input || !output))) return -2;
  FilterRefusal refusal;
  const std::shared_ptr<FilterSys> chain = parseFilterString(text, &refusal);
  const bool valid = chain->valid.load();
  if (failColumn) *failColumn = valid ? -1 : static_cast<int>(refusal.column);
  if (reason) *reason = valid ? std::string() : describeRefusal(refusal);
  if (!valid) return -1;
  for (int i = 0; i < count; ++i) output[i] = chain->evaluate(input[i], 1.0, 1.0, 1.0);
  return count;
}

}  // namespace kinevra
