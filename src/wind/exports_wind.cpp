// The wind export: configures the engine's fan controller from UTF-16 texts.
#include <cstdint>
#include <string>
#include <string_view>

#include "common/utf8.h"
#include "engine/engine_instance.h"
#include "engine/export_guard.h"
#include "kinevra.h"

namespace {

// A host's NUL-terminated UTF-16 text as UTF-8; null reads as empty.
std::string hostText(const kinevra_char16* text) {
  if (!text) return {};
#if defined(_WIN32)
  return kinevra::narrowToUtf8(std::wstring_view(text));  // wchar_t is UTF-16 here
#else
  return kinevra::utf16ToUtf8(std::u16string_view(text));
#endif
}

}  // namespace

extern "C" {

KINEVRA_API int KINEVRA_CALL initWindSerial(const kinevra_char16* port, int baudRate, const kinevra_char16* frameFormat,
                                            int sendIntervalMs) {
  return kinevra::guarded(0, [&] {
    // A null name is no device: init fails, but keeps the interval as always.
    const bool ok = kinevra::engine().wind.init(hostText(port), baudRate, hostText(frameFormat),
                                                static_cast<std::uint32_t>(sendIntervalMs));
    return ok ? 1 : 0;
  });
}

}  // extern "C"
