#include "platform/console.h"

#include <string>

namespace kinevra::platform {

void consoleVPrintTo(std::FILE* stream, const char* format, va_list args) {
  if (!stream || !format) return;
  // Diagnostics are short: a stack buffer covers them without allocating.
  char small[512];
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(small, sizeof small, format, args);
  if (n < 0) {
    va_end(again);
    return;
  }
  if (static_cast<std::size_t>(n) < sizeof small) {
    va_end(again);
    writeConsoleText(stream, std::string_view(small, static_cast<std::size_t>(n)));
    return;
  }
  std::string big(static_cast<std::size_t>(n) + 1, '\0');
  std::vsnprintf(big.data(), big.size(), format, again);
  va_end(again);
  big.resize(static_cast<std::size_t>(n));
  writeConsoleText(stream, big);
}

void consolePrintTo(std::FILE* stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  consoleVPrintTo(stream, format, args);
  va_end(args);
}

void consolePrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  consoleVPrintTo(stdout, format, args);
  va_end(args);
}

}  // namespace kinevra::platform
