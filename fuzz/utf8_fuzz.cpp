// Any byte string decodes without reading past its end, and what the decoder
// makes of it survives a round trip through the encoder unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::wstring wide = kinevra::widenUtf8(bytes);
  if (wide.size() > size) std::abort();  // never more characters than bytes
  const std::string utf8 = kinevra::narrowToUtf8(wide);
  if (kinevra::widenUtf8(utf8) != wide) std::abort();
  if (kinevra::narrowToUtf8(kinevra::widenUtf8(utf8)) != utf8) std::abort();
  // The same bytes read as wide units (any value, surrogates included).
  std::wstring units;
  for (std::size_t i = 0; i + sizeof(wchar_t) <= size; i += sizeof(wchar_t)) {
    wchar_t w;
    __builtin_memcpy(&w, data + i, sizeof w);
    units.push_back(w);
  }
  const std::string fromUnits = kinevra::narrowToUtf8(units);
  if (kinevra::narrowToUtf8(kinevra::widenUtf8(fromUnits)) != fromUnits) std::abort();
  // The same bytes as UTF-16 units from a host: always valid UTF-8 (decoding
  // finds no replacement it did not write), and each unit gives 1 to 3 bytes.
  std::u16string utf16;
  for (std::size_t i = 0; i + 2 <= size; i += 2) utf16.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  const std::string fromUtf16 = kinevra::utf16ToUtf8(utf16);
  if (fromUtf16.size() > 3 * utf16.size() || fromUtf16.size() < utf16.size()) std::abort();
  if (kinevra::narrowToUtf8(kinevra::widenUtf8(fromUtf16)) != fromUtf16) std::abort();
  return 0;
}
