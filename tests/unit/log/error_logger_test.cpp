// The error log on the real file system: where the file goes, the exact line
// format, whole lines from concurrent loggers, and a logger that cannot write.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "isolated_documents.h"
#include "log/error_logger.h"
#include "log_tail.h"
#include "platform/documents_folder.h"
#include "platform/local_time.h"
#include "temp_folder.h"

namespace kinevra {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;
using test::readFileBytes;

#ifdef _WIN32
constexpr const char* kLineEnd = "\r\n";
#else
constexpr const char* kLineEnd = "\n";
#endif

std::string nowStamp() {
  const std::tm t = platform::localTime(std::time(nullptr));
  char s[32];
  return std::string(s, std::strftime(s, sizeof s, "%Y-%m-%d %H:%M:%S", &t));
}

fs::path logFile(const TempFolder& docs) { return docs.path() / "kinevra" / "errorlog.txt"; }

// Splits at the platform's line end; the text must end with one.
std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  const std::string end = kLineEnd;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(end, from)) != std::string::npos; from = at + end.size()) {
    out.push_back(text.substr(from, at - from));
  }
  EXPECT_EQ(from, text.size()) << "text after the last line end";
  return out;
}

TEST(ErrorLogger, FirstUseCreatesTheFolderAndTheFile) {
  TempFolder docs;
  ASSERT_FALSE(fs::exists(docs.path() / "kinevra"));
  ErrorLogger logger(docs.str());
  EXPECT_TRUE(logger.isOpen());
  EXPECT_TRUE(fs::is_directory(docs.path() / "kinevra"));
  EXPECT_TRUE(fs::is_regular_file(logFile(docs)));
  EXPECT_EQ(ErrorLogger::filePath(docs.str()), logFile(docs).string());
}

TEST(ErrorLogger, WritesOneTimestampedLinePerCallWithTheMessageUnchanged) {
  TempFolder docs;
  const std::string before = nowStamp();
  {
    ErrorLogger logger(docs.str());
    logger.logInfo("Opening port: 53241");
    logger.logError("Binding socket failed with error: 10048");
    logger.logInfo("tab\there, G\xC3\xA4rtner, 100% [x]");
    logger.logInfo("");
  }
  const std::string after = nowStamp();

  const std::vector<std::string> got = lines(readFileBytes(logFile(docs)));
  ASSERT_EQ(got.size(), 4u);
  const std::regex shape(R"(^\[(INFO|ERROR)\] \[(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\] (.*)$)");
  const char* levels[] = {"INFO", "ERROR", "INFO", "INFO"};
  const char* messages[] = {"Opening port: 53241", "Binding socket failed with error: 10048",
                            "tab\there, G\xC3\xA4rtner, 100% [x]", ""};
  for (std::size_t i = 0; i < got.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(got[i], m, shape)) << got[i];
    EXPECT_EQ(m[1], levels[i]);
    EXPECT_LE(before, m[2].str());
    EXPECT_GE(after, m[2].str());
    EXPECT_EQ(m[3], messages[i]);
  }
  // A message with no text still ends its line right after "] ".
  EXPECT_EQ(got[3].substr(got[3].size() - 2), "] ");
}

TEST(ErrorLogger, LinesAreOnDiskAsSoonAsTheyAreWritten) {
  TempFolder docs;
  ErrorLogger logger(docs.str());
  logger.logInfo("first");
  EXPECT_NE(readFileBytes(logFile(docs)).find(std::string("] first") + kLineEnd), std::string::npos);
  logger.logError("second");
  EXPECT_NE(readFileBytes(logFile(docs)).find(std::string("] second") + kLineEnd), std::string::npos);
}

TEST(ErrorLogger, LoggersAppendToWhatIsAlreadyThere) {
  TempFolder docs;
  { ErrorLogger(docs.str()).logInfo("one line, then the logger is gone"); }
  { ErrorLogger(docs.str()).logInfo("and another"); }
  ErrorLogger a(docs.str());
  ErrorLogger b(docs.str());
  a.logInfo("a");
  b.logInfo("b");
  a.logInfo("a again");
  const std::vector<std::string> got = lines(readFileBytes(logFile(docs)));
  ASSERT_EQ(got.size(), 5u);
  EXPECT_NE(got[0].find("] one line, then the logger is gone"), std::string::npos);
  EXPECT_NE(got[1].find("] and another"), std::string::npos);
  EXPECT_NE(got[2].find("] a"), std::string::npos);
  EXPECT_NE(got[3].find("] b"), std::string::npos);
  EXPECT_NE(got[4].find("] a again"), std::string::npos);
}

TEST(ErrorLogger, TwoLoggersInTwoThreadsLeaveOnlyWholeLines) {
  TempFolder docs;
  constexpr int kLines = 1500;
  // Long lines, so that a line split across two writes would show.
  const std::string aText(300, 'a');
  const std::string bText(211, 'b');
  auto writer = [&](const std::string& text, bool error) {
    ErrorLogger logger(docs.str());
    for (int i = 0; i < kLines; ++i) {
      if (error) {
        logger.logError(text);
      } else {
        logger.logInfo(text);
      }
    }
  };
  std::thread ta(writer, std::cref(aText), false);
  std::thread tb(writer, std::cref(bText), true);
  ta.join();
  tb.join();

  const std::regex shape(R"(^\[(INFO|ERROR)\] \[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] (a+|b+)$)");
  int as = 0, bs = 0;
  for (const std::string& line : lines(readFileBytes(logFile(docs)))) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, shape)) << line.substr(0, 80);
    if (m[1] == "INFO") {
      EXPECT_EQ(m[2], aText);
      ++as;
    } else {
      EXPECT_EQ(m[2], bText);
      ++bs;
    }
  }
  EXPECT_EQ(as, kLines);
  EXPECT_EQ(bs, kLines);
}

TEST(ErrorLogger, OneLoggerSharedByThreadsWritesWholeLines) {
  TempFolder docs;
  ErrorLogger logger(docs.str());
  constexpr int kLines = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kLines; ++i) logger.logInfo(std::string(100 + t, static_cast<char>('x' + t)));
    });
  }
  for (auto& th : threads) th.join();
  const std::vector<std::string> got = lines(readFileBytes(logFile(docs)));
  ASSERT_EQ(got.size(), 3u * kLines);
  for (const std::string& line : got) {
    const std::string body = line.substr(line.find("] ", 8) + 2);
    ASSERT_GE(body.size(), 100u);
    EXPECT_EQ(body, std::string(body.size(), body[0]));
    EXPECT_EQ(body.size(), 100u + (body[0] - 'x'));
  }
}

TEST(ErrorLogger, AFolderThatCannotBeMadeLeavesAUsableClosedLogger) {
  TempFolder docs;
  // A file where the "kinevra" folder should be: neither the folder nor the
  // log file can be made (whatever the user's rights).
  { std::ofstream(docs.path() / "kinevra") << "in the way"; }

  testing::internal::CaptureStderr();
  ErrorLogger logger(docs.str());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to open log file\n");
  EXPECT_FALSE(logger.isOpen());

  testing::internal::CaptureStderr();
  logger.logInfo("lost");
  logger.logError("lost too");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Log failed: Unable to write to log file.\nLog failed: Unable to write to log file.\n");
  EXPECT_EQ(readFileBytes(docs.path() / "kinevra"), "in the way");
}

TEST(ErrorLogger, AnUnknownDocumentsFolderIsReported) {
  testing::internal::CaptureStderr();
  ErrorLogger logger(std::string{});
  logger.logInfo("lost");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Failed to retrieve the Documents path\nLog failed: Unable to write to log file.\n");
  EXPECT_FALSE(logger.isOpen());
}

TEST(ErrorLogger, MissingDocumentsFolder) {
  TempFolder base;
  const fs::path docs = base.path() / "home" / "Documents";
  testing::internal::CaptureStderr();
  ErrorLogger logger(docs.string());
  const std::string err = testing::internal::GetCapturedStderr();
#ifdef _WIN32
  // CreateDirectoryA makes the last folder only; the shell's Documents folder
  // always exists on Windows.
  EXPECT_EQ(err, "Failed to open log file\n");
  EXPECT_FALSE(logger.isOpen());
#else
  // A machine without a desktop may have no Documents folder: it is made.
  EXPECT_EQ(err, "");
  EXPECT_TRUE(logger.isOpen());
  EXPECT_TRUE(fs::is_regular_file(docs / "kinevra" / "errorlog.txt"));
#endif
}

TEST(ErrorLogger, TheDefaultLoggerWritesUnderTheUsersDocumentsFolder) {
  const std::string docs = platform::documentsFolder();
  ASSERT_FALSE(docs.empty());
  test::LogTail tail;
  std::ostringstream tag;
  tag << "default logger " << std::time(nullptr) << ' ' << &tail;
  ErrorLogger().logError(tag.str());
  EXPECT_EQ(tail.path(), fs::path(docs) / "kinevra" / "errorlog.txt");
  EXPECT_NE(tail.text().find("] " + tag.str() + "\n"), std::string::npos);
}

}  // namespace
}  // namespace kinevra
