#include "platform/console.h"

#include <cwchar>

#include "common/utf8.h"

namespace kinevra::platform {

void writeConsoleText(std::FILE* stream, std::string_view utf8) {
  if (!stream) return;
  // A glibc stream takes the orientation of its first output and keeps it;
  // output of the other kind is then silently dropped. So follow whatever the
  // host made of the stream, and stay narrow when it has no orientation yet.
  if (std::fwide(stream, 0) > 0) {
    const std::wstring wide = widenUtf8(utf8);
    std::fputws(wide.c_str(), stream);
  } else {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
  }
  std::fflush(stream);
}

}  // namespace kinevra::platform
