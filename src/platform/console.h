#pragma once
// Diagnostic lines on the process's standard output. Windows prints them with
// the wide-character C runtime calls; Linux prints UTF-8 and, because a glibc
// stream has one orientation for life, writes wide only to a stream that is
// already wide and narrow otherwise.
#include <cstdarg>
#include <cstdio>
#include <string_view>

#if defined(__MINGW32__)
#define KINEVRA_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#elif defined(__GNUC__)
#define KINEVRA_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define KINEVRA_PRINTF(fmt, args)
#endif

namespace kinevra::platform {

// printf-style format and arguments with C99 meanings on both systems (%s a
// narrow UTF-8 text, %ls a wide one, %u, %zu, ...); the text is written in one
// piece and flushed, so lines of concurrent threads never mix.
void consolePrintf(const char* format, ...) KINEVRA_PRINTF(1, 2);

// The same on another stream.
void consolePrintTo(std::FILE* stream, const char* format, ...) KINEVRA_PRINTF(2, 3);
void consoleVPrintTo(std::FILE* stream, const char* format, va_list args);

// Writes UTF-8 text to the stream as the system's console output does (see above).
void writeConsoleText(std::FILE* stream, std::string_view utf8);

}  // namespace kinevra::platform
