// Console diagnostics: printf-style formatting, and a stream's orientation
// respected on Linux (a glibc stream silently drops output of the other kind).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

#include "platform/console.h"

namespace kinevra {
namespace {

#ifndef _WIN32
// What a stream holds, read back from its start.
std::string contents(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string out;
  for (int c; (c = std::fgetc(f)) != EOF;) {
    out.push_back(static_cast<char>(c));
  }
  return out;
}
#endif

TEST(Console, PrintsFormattedLinesToStandardOutput) {
  testing::internal::CaptureStdout();
  platform::consolePrintf("Memory mapped successfully\n");
  platform::consolePrintf("Serialexception , Error:%u\n", 5u);
  platform::consolePrintf("%s on COM%d, %zu bytes, %ls\n", "Controller", 7, std::size_t{36}, L"wide");
  std::string out = testing::internal::GetCapturedStdout();
  out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
  EXPECT_EQ(out,
            "Memory mapped successfully\n"
            "Serialexception , Error:5\n"
            "Controller on COM7, 36 bytes, wide\n");
}

TEST(Console, LongTextIsPrintedWhole) {
  const std::string longText(5000, 'k');
  testing::internal::CaptureStdout();
  platform::consolePrintf("[%s]\n", longText.c_str());
  platform::consolePrintf(nullptr);
  std::string out = testing::internal::GetCapturedStdout();
  out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
  EXPECT_EQ(out, "[" + longText + "]\n");
  platform::consolePrintTo(nullptr, "x");
}

// Streams other than standard output: Linux only, since on Windows a wide write
// to a binary stream (as tmpfile makes) stores UTF-16 by design.
#ifndef _WIN32
TEST(Console, AStreamWithoutOrientationStaysNarrowAndGetsUtf8) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  platform::consolePrintTo(f, "Ger\xC3\xA4t %s\n", "Z\xC3\xBCrich");
  EXPECT_LT(std::fwide(f, 0), 0);
  EXPECT_EQ(contents(f), "Ger\xC3\xA4t Z\xC3\xBCrich\n");
  std::fclose(f);
}

TEST(Console, AWideStreamIsWrittenWide) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  ASSERT_GT(std::fwide(f, 1), 0);  // as a host that printed with wprintf
  platform::consolePrintTo(f, "Serialexception , Error:%u\n", 31u);
  platform::consolePrintTo(f, "%s\n", "second");
  EXPECT_GT(std::fwide(f, 0), 0);
  std::fflush(f);
  std::rewind(f);
  std::wstring back;
  for (wint_t c; (c = std::fgetwc(f)) != WEOF;) back.push_back(static_cast<wchar_t>(c));
  EXPECT_EQ(back, L"Serialexception , Error:31\nsecond\n");
  std::fclose(f);
}
#endif

}  // namespace
}  // namespace kinevra
