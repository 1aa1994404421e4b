#pragma once
// Folders and append-only text files (the log).
#include <cstdint>
#include <string>
#include <string_view>

namespace kinevra::platform {

// Creates a folder with default permissions; false when it could not be made
// (an existing folder also answers false). On Linux missing parent folders are
// made as well; Windows creates the last component only (CreateDirectoryA).
bool createFolder(const std::string& path);

// A text file opened for appending, shared with every other writer of the same
// file in this or another process. Each appendText lands whole at the end of
// the file, so lines of concurrent writers never mix.
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile() { close(); }
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Opens (creating when missing) for appending; false on failure. An open
  // file is closed first.
  bool open(const std::string& path);
  bool isOpen() const { return handle_ != kClosed; }
  void close();

  // Appends the text with one write. As in a text-mode stream, each '\n'
  // becomes CR LF on Windows; elsewhere the bytes go out as they are.
  // False when the file is closed or the write failed.
  bool appendText(std::string_view text);

 private:
  static constexpr std::intptr_t kClosed = -1;  // INVALID_HANDLE_VALUE, or fd -1
  std::intptr_t handle_ = kClosed;
};

}  // namespace kinevra::platform
