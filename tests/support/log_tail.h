#pragma once
// What was appended to the error log since the object was made: the file under
// the current Documents folder, with CR LF line ends read as LF.
#include <filesystem>
#include <string>
#include <system_error>

#include "log/error_logger.h"
#include "platform/documents_folder.h"
#include "temp_folder.h"

namespace kinevra::test {

class LogTail {
 public:
  LogTail() : path_(ErrorLogger::filePath(platform::documentsFolder())) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path_, ec);
    start_ = ec ? 0 : static_cast<std::size_t>(size);
  }

  std::string text() const {
    const std::string all = readFileBytes(path_);
    std::string out;
    for (std::size_t i = start_; i < all.size(); ++i) {
      if (all[i] == '\r' && i + 1 < all.size() && all[i + 1] == '\n') continue;
      out.push_back(all[i]);
    }
    return out;
  }

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::size_t start_ = 0;
};

}  // namespace kinevra::test
