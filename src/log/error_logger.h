#pragma once
// The log file of the UDP controller link: "kinevra/errorlog.txt" under the
// user's Documents folder. Every user builds its own logger; all of them append
// to the same file, whole lines only, flushed line by line.
#include <mutex>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace kinevra {

class ErrorLogger {
 public:
  // Opens the file under the user's Documents folder, creating the "kinevra"
  // folder and the file when missing. Never fails: a logger whose file could
  // not be opened reports that on standard error and stays usable.
  ErrorLogger();
  // The same under the given folder instead of the Documents folder (an empty
  // text counts as a folder the system could not name).
  explicit ErrorLogger(const std::string& documentsFolder);

  ErrorLogger(const ErrorLogger&) = delete;
  ErrorLogger& operator=(const ErrorLogger&) = delete;

  // "[INFO] [YYYY-MM-DD hh:mm:ss] message" and a line end.
  void logInfo(std::string_view message);
  // "[ERROR] [YYYY-MM-DD hh:mm:ss] message" and a line end.
  void logError(std::string_view message);

  bool isOpen() const { return file_.isOpen(); }

  // The log file's path under a Documents folder.
  static std::string filePath(const std::string& documentsFolder);

 private:
  void open(const std::string& documentsFolder);
  void write(std::string_view prefix, std::string_view message);

  platform::AppendFile file_;
  std::mutex lock_;
};

}  // namespace kinevra
