#include "platform/console.h"

#include <cwchar>

#include "common/utf8.h"

namespace kinevra::platform {

void writeConsoleText(std::FILE* stream, std::string_view utf8) {
  if (!stream) return;
  const std::wstring wide = widenUtf8(utf8);
  std::fputws(wide.c_str(), stream);
  std::fflush(stream);
}

}  // namespace kinevra::platform
