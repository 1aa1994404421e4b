// The iRacing SDK block under any header: the first four bytes are the
// reader's last tick, the rest is the block, exactly as large as it is, so
// that AddressSanitizer catches any read past it. The line buffer ends its
// own allocation, so a copy past its 10,000 bytes is caught too.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "sources/irsdk_format.h"

using namespace kinevra;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  std::int32_t lastTick;
  std::memcpy(&lastTick, data, 4);
  const std::vector<std::uint8_t> block(data + 4, data + size);
  const ByteView view(block.data(), block.size());
  auto line = std::make_unique<IrsdkLine>();

  for (std::int32_t start : {lastTick, static_cast<std::int32_t>(INT_MAX), static_cast<std::int32_t>(INT_MIN)}) {
    std::int32_t tick = start;
    // Twice: the second look finds the first one's tick.
    for (int pass = 0; pass < 2; ++pass) {
      const std::int32_t before = tick;
      const IrsdkStep step = irsdkStep(view, tick, *line);
      switch (step) {
        case IrsdkStep::NotConnected:
          if (tick != INT_MAX) std::abort();
          break;
        case IrsdkStep::Copied: {
          if (tick <= before || line->length == 0 || line->length > irsdk::kLineBufferSize) std::abort();
          GameValues values;
          if (convertIrsdkLine(view, *line, &values) && values.size() != 9) std::abort();
          double g[47] = {};
          if (values.commit(g) && !values.allFinite()) std::abort();
          break;
        }
        case IrsdkStep::Restarted:
          if (tick >= before) std::abort();
          break;
        case IrsdkStep::Unchanged:
        case IrsdkStep::NoData:
          if (tick != before) std::abort();
          break;
      }
    }
  }
  return 0;
}
