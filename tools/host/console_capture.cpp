#include "console_capture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

#include "thread_cpu.h"

namespace kinevra_host {

namespace {
constexpr std::size_t kKeptLines = 200;
constexpr std::size_t kLongestLine = 4096;  // a line without end is cut here

#if defined(_WIN32)
HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }
#endif
}  // namespace

bool standardOutputIsTerminal() {
#if defined(_WIN32)
  const HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (h == INVALID_HANDLE_VALUE || !GetConsoleMode(h, &mode)) return false;
  // The view moves the cursor with VT sequences; older consoles lack them.
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) ||
         SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING | ENABLE_PROCESSED_OUTPUT);
#else
  const char* term = std::getenv("TERM");
  return isatty(1) && !(term && std::strcmp(term, "dumb") == 0);
#endif
}

bool ConsoleCapture::start() {
  if (started_) return true;
  std::fflush(stdout);
  std::fflush(stderr);
  terminal_ = standardOutputIsTerminal();
  int fds[2];
#if defined(_WIN32)
  // Text mode on the writing end: the library's wide output is converted to
  // narrow text on the way in, as it would be on a console.
  if (_pipe(fds, 65536, _O_TEXT | _O_NOINHERIT) != 0) return false;
  _setmode(fds[0], _O_BINARY);
  outFd_ = _dup(1);
  savedErrFd_ = _dup(2);
  if (outFd_ < 0 || savedErrFd_ < 0 || _dup2(fds[1], 1) != 0 || _dup2(fds[1], 2) != 0) {
    if (outFd_ >= 0) _dup2(outFd_, 1), _close(outFd_);
    if (savedErrFd_ >= 0) _dup2(savedErrFd_, 2), _close(savedErrFd_);
    _close(fds[0]);
    _close(fds[1]);
    outFd_ = savedErrFd_ = -1;
    return false;
  }
  SetStdHandle(STD_OUTPUT_HANDLE, handleOf(1));
  SetStdHandle(STD_ERROR_HANDLE, handleOf(2));
#else
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  outFd_ = fcntl(1, F_DUPFD_CLOEXEC, 3);
  savedErrFd_ = fcntl(2, F_DUPFD_CLOEXEC, 3);
  if (outFd_ < 0 || savedErrFd_ < 0 || dup2(fds[1], 1) < 0 || dup2(fds[1], 2) < 0) {
    if (outFd_ >= 0) dup2(outFd_, 1), close(outFd_);
    if (savedErrFd_ >= 0) dup2(savedErrFd_, 2), close(savedErrFd_);
    close(fds[0]);
    close(fds[1]);
    outFd_ = savedErrFd_ = -1;
    return false;
  }
#endif
  readFd_ = fds[0];
  writeFd_ = fds[1];
  stopping_ = false;
  started_ = true;
  reader_ = std::thread([this] {
    nameThisThread("kv-console");
    readLoop();
  });
  return true;
}

void ConsoleCapture::stop() {
  if (!started_) return;
  std::fflush(stdout);
  std::fflush(stderr);
#if defined(_WIN32)
  _dup2(outFd_, 1);
  _dup2(savedErrFd_, 2);
  SetStdHandle(STD_OUTPUT_HANDLE, handleOf(1));
  SetStdHandle(STD_ERROR_HANDLE, handleOf(2));
  _close(writeFd_);
#else
  dup2(outFd_, 1);
  dup2(savedErrFd_, 2);
  close(writeFd_);
#endif
  stopping_ = true;
  reader_.join();
#if defined(_WIN32)
  _close(readFd_);
  _close(outFd_);
  _close(savedErrFd_);
#else
  close(readFd_);
  close(outFd_);
  close(savedErrFd_);
#endif
  readFd_ = writeFd_ = outFd_ = savedErrFd_ = -1;
  started_ = false;
  std::lock_guard<std::mutex> hold(lock_);
  if (partial_.find_first_not_of(" \t") != std::string::npos) addLine(partial_);
  partial_.clear();
  if (repeats_ > 0) fresh_.push_back("(the line above came " + std::to_string(repeats_) + " more times)");
  repeats_ = 0;
}

void ConsoleCapture::readLoop() {
  char buf[4096];
  for (;;) {
#if defined(_WIN32)
    DWORD avail = 0;
    if (!PeekNamedPipe(handleOf(readFd_), nullptr, 0, nullptr, &avail, nullptr)) return;  // every writer gone
    if (avail == 0) {
      if (stopping_) return;
      Sleep(20);
      continue;
    }
    const int n = _read(readFd_, buf, avail < sizeof buf ? avail : static_cast<unsigned>(sizeof buf));
#else
    pollfd p{readFd_, POLLIN, 0};
    const int ready = poll(&p, 1, 50);
    if (ready == 0) {
      if (stopping_) return;
      continue;
    }
    if (ready < 0) continue;  // interrupted
    const ssize_t n = read(readFd_, buf, sizeof buf);
#endif
    if (n <= 0) return;
    addText(buf, static_cast<std::size_t>(n));
  }
}

void ConsoleCapture::addText(const char* data, std::size_t size) {
  std::lock_guard<std::mutex> hold(lock_);
  for (std::size_t i = 0; i < size; ++i) {
    const char c = data[i];
    if (c == '\n' || partial_.size() >= kLongestLine) {
      // Whitespace-only fragments (a bare CR LF) carry nothing worth a line.
      if (partial_.find_first_not_of(" \t\r") != std::string::npos) addLine(partial_);
      partial_.clear();
      if (c == '\n') continue;
    }
    if (c == '\r' || c == '\0') continue;
    // Control characters would move the view's cursor.
    partial_.push_back(static_cast<unsigned char>(c) < 0x20 && c != '\t' ? '?' : c);
  }
}

// A line that comes again right away (a probe failing every pass) is
// counted on the line before instead of filling the view.
void ConsoleCapture::addLine(const std::string& text) {
  if (!recent_.empty() && text == lastLine_) {
    ++repeats_;
    recent_.back() = text + "  (" + std::to_string(repeats_ + 1) + " times)";
    return;
  }
  if (repeats_ > 0) fresh_.push_back("(the line above came " + std::to_string(repeats_) + " more times)");
  lastLine_ = text;
  repeats_ = 0;
  recent_.push_back(text);
  fresh_.push_back(text);
  if (recent_.size() > kKeptLines) recent_.pop_front();
  if (fresh_.size() > kKeptLines) fresh_.erase(fresh_.begin());
}

void ConsoleCapture::write(std::string_view text) const {
  const int fd = started_ ? outFd_ : 1;
  while (!text.empty()) {
#if defined(_WIN32)
    const int n = _write(fd, text.data(), static_cast<unsigned>(text.size()));
#else
    const ssize_t n = ::write(fd, text.data(), text.size());
#endif
    if (n <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

std::vector<std::string> ConsoleCapture::recent(std::size_t n) const {
  std::lock_guard<std::mutex> hold(lock_);
  const std::size_t from = recent_.size() > n ? recent_.size() - n : 0;
  return {recent_.begin() + static_cast<std::ptrdiff_t>(from), recent_.end()};
}

std::vector<std::string> ConsoleCapture::takeNew() {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<std::string> out;
  out.swap(fresh_);
  return out;
}

}  // namespace kinevra_host
