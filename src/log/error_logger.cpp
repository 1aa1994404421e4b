#include "log/error_logger.h"

#include <cstdio>
#include <ctime>

#include "platform/documents_folder.h"
#include "platform/local_time.h"

namespace kinevra {

namespace {

std::string folderPath(const std::string& documentsFolder) {
  return documentsFolder + platform::pathSeparator() + "kinevra";
}

}  // namespace

ErrorLogger::ErrorLogger() { open(platform::documentsFolder()); }

ErrorLogger::ErrorLogger(const std::string& documentsFolder) { open(documentsFolder); }

std::string ErrorLogger::filePath(const std::string& documentsFolder) {
  return folderPath(documentsFolder) + platform::pathSeparator() + "errorlog.txt";
}

void ErrorLogger::open(const std::string& documentsFolder) {
  if (documentsFolder.empty()) {
    std::fputs("Failed to retrieve the Documents path\n", stderr);
    return;
  }
  // An existing folder is fine; if it cannot be made, opening the file says so.
  platform::createFolder(folderPath(documentsFolder));
  if (!file_.open(filePath(documentsFolder))) std::fputs("Failed to open log file\n", stderr);
}

void ErrorLogger::logInfo(std::string_view message) { write("[INFO] [", message); }

void ErrorLogger::logError(std::string_view message) { write("[ERROR] [", message); }

void ErrorLogger::write(std::string_view prefix, std::string_view message) {
  std::lock_guard<std::mutex> hold(lock_);
  if (!file_.isOpen()) {
    std::fputs("Log failed: Unable to write to log file.\n", stderr);
    return;
  }
  const std::tm now = platform::localTime(std::time(nullptr));
  char stamp[32];
  const std::size_t stampLength = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &now);
  // The whole line goes out in one append, so that lines of other loggers
  // writing the same file at the same moment can only come before or after it.
  std::string line;
  line.reserve(prefix.size() + stampLength + 3 + message.size());
  line.append(prefix).append(stamp, stampLength).append("] ").append(message).push_back('\n');
  file_.appendText(line);
}

}  // namespace kinevra
