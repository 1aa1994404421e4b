#pragma once
// The controller's end of a pseudo-terminal: test doubles (rigsim) act as a
// controller on it while the library opens the other end as a COM port.
// Linux only; on Windows open() fails with ERROR_NOT_SUPPORTED.
#include <cstddef>
#include <cstdint>
#include <string>

namespace kinevra::platform {

class PseudoTerminal {
 public:
  PseudoTerminal() = default;
  ~PseudoTerminal() { close(); }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // Creates the pair, raw (no echo, no translation); false on failure.
  bool open();
  // The path of the other end (e.g. /dev/pts/7).
  const std::string& peerPath() const { return peerPath_; }
  // Reads what has arrived, waiting at most timeoutMs for the first byte:
  // the byte count, 0 when nothing came, -1 on failure. While nobody has the
  // other end open there is nothing to read (never a failure).
  std::int64_t read(void* buffer, std::size_t size, int timeoutMs);
  // Writes all bytes; false on failure.
  bool write(const void* data, std::size_t size);
  void close();
  bool isOpen() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  std::string peerPath_;
};

}  // namespace kinevra::platform
