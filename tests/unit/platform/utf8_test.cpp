// UTF-8 to and from wide text, including what a hostile byte string can hold.
#include <gtest/gtest.h>

#include <string>

#include "common/utf8.h"

namespace kinevra {
namespace {

// The code points of a wide text, whatever the width of wchar_t.
std::u32string codePoints(const std::wstring& w) {
  std::u32string out;
  for (std::size_t i = 0; i < w.size(); ++i) {
    char32_t c = static_cast<char32_t>(w[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      c &= 0xFFFF;
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < w.size()) {
        const char32_t low = static_cast<char32_t>(w[i + 1]) & 0xFFFF;
        if (low >= 0xDC00 && low <= 0xDFFF) {
          out.push_back(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
          ++i;
          continue;
        }
      }
    }
    out.push_back(c);
  }
  return out;
}

TEST(Utf8, ValidTextOfEveryLengthRoundTrips) {
  const std::string text = "A\xC3\xA4\xE2\x82\xAC\xF0\x9D\x84\x9E\x7F\xF4\x8F\xBF\xBF";
  const std::wstring wide = widenUtf8(text);
  EXPECT_EQ(codePoints(wide), U"A\u00E4\u20AC\U0001D11E\u007F\U0010FFFF");
  EXPECT_EQ(wide.size(), sizeof(wchar_t) == 2 ? 8u : 6u);
  EXPECT_EQ(narrowToUtf8(wide), text);
  EXPECT_EQ(widenUtf8(""), L"");
  EXPECT_EQ(narrowToUtf8(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
}

TEST(Utf8, MalformedBytesBecomeOneReplacementPerInvalidPart) {
  struct Case {
    std::string in;
    std::u32string out;
  } cases[] = {
      {"\x80", U"\uFFFD"},                            // lone continuation
      {"\xC0\xAF", U"\uFFFD\uFFFD"},                  // overlong '/'
      {"\xE0\x80\xAF", U"\uFFFD\uFFFD\uFFFD"},        // overlong, three bytes
      {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},        // encoded surrogate
      {"\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
      {"\xF0\x9F\x98", U"\uFFFD"},                    // cut short at the end
      {"\xF0\x9F\x98x", U"\uFFFDx"},                  // cut short before ASCII
      {"\xE2\x82\xE2\x82\xAC", U"\uFFFD\u20AC"},      // cut short before a valid one
      {"\xFF\xFE", U"\uFFFD\uFFFD"},                  // never valid
  };
  for (const Case& c : cases) {
    EXPECT_EQ(codePoints(widenUtf8(c.in)), c.out) << testing::PrintToString(c.in);
  }
}

TEST(Utf8, WideTextThatIsNoUnicodeBecomesReplacements) {
  std::wstring bad;
  bad.push_back(static_cast<wchar_t>(0xD800));  // high surrogate alone
  bad.push_back(L'x');
  bad.push_back(static_cast<wchar_t>(0xDC00));  // low surrogate alone
  EXPECT_EQ(narrowToUtf8(bad), "\xEF\xBF\xBDx\xEF\xBF\xBD");
  if constexpr (sizeof(wchar_t) == 4) {
    EXPECT_EQ(narrowToUtf8(std::wstring(1, static_cast<wchar_t>(0x110000))), "\xEF\xBF\xBD");
  }
}

// UTF-16 from hosts, the same on every platform: pairs join, every unpaired
// surrogate (also one cut off at the end, or two highs in a row) is U+FFFD.
TEST(Utf8, Utf16UnitsOfAnyValue) {
  EXPECT_EQ(utf16ToUtf8(u"COM7"), "COM7");
  EXPECT_EQ(utf16ToUtf8(u""), "");
  EXPECT_EQ(utf16ToUtf8(u"\u00C4\u20AC\U0001F32C\U0010FFFF"), "\xC3\x84\xE2\x82\xAC\xF0\x9F\x8C\xAC\xF4\x8F\xBF\xBF");
  const char16_t bad[] = {0xD800, u'x', 0xDC00, 0xD83C, 0xD83C, 0xDF2C, 0xDBFF};
  EXPECT_EQ(utf16ToUtf8(std::u16string_view(bad, 7)),
            "\xEF\xBF\xBDx\xEF\xBF\xBD\xEF\xBF\xBD\xF0\x9F\x8C\xAC\xEF\xBF\xBD");
  EXPECT_EQ(utf16ToUtf8(std::u16string_view(u"a\0b", 3)), std::string("a\0b", 3));
}

}  // namespace
}  // namespace kinevra
