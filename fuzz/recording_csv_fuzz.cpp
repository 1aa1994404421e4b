// Any bytes as a drive recording, read both ways (refusing, and skipping bad
// rows): nothing crashes, every row taken has the header's width and finite
// numbers with rising times, and a refusal names a line inside the text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "../tools/common/recording_csv.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  long long lines = 1;
  for (char c : text) lines += c == '\n';
  for (bool skip : {false, true}) {
    std::istringstream in(text);
    std::size_t width = 0;
    double lastTime = -INFINITY;
    const auto result = kinevra_recording::scanRecording(
        in, skip,
        [&](const kinevra_recording::RecordingReader& r, kinevra_recording::CsvProblem&) {
          width = r.columns().size();
          return width > 0 && r.find("time") == 0;
        },
        [&](const std::vector<double>& row) {
          if (row.size() != width || !(row[0] > lastTime)) std::abort();
          for (double v : row)
            if (!std::isfinite(v)) std::abort();
          lastTime = row[0];
        });
    if (!result.ok && (result.problem.line < 1 || result.problem.line > lines)) std::abort();
    if (result.ok && result.rows < 1) std::abort();
    if (!skip && result.skipped != 0) std::abort();
  }
  return 0;
}
