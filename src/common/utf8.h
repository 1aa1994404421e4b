#pragma once
// UTF-8 to and from the platform's wide text: UTF-16 where wchar_t has 16
// bits (Windows), UTF-32 where it has 32 (Linux).
#include <string>
#include <string_view>

namespace kinevra {

// Every malformed, overlong, surrogate or truncated sequence becomes one
// U+FFFD per maximal invalid subpart (as browsers decode), never a crash.
std::wstring widenUtf8(std::string_view text);

// Unpaired surrogates and values beyond U+10FFFF become U+FFFD.
std::string narrowToUtf8(std::wstring_view text);

// UTF-16 code units (any values) to UTF-8: pairs join, an unpaired
// surrogate becomes U+FFFD. The same on every platform.
std::string utf16ToUtf8(std::u16string_view text);

}  // namespace kinevra
