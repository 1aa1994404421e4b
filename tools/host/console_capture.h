#pragma once
// Takes over the process's standard output and error while kinevra-host
// shows its view: whatever else in the process prints (the library's
// diagnostics, a probe's error text) arrives here as whole lines instead of
// landing in the middle of the screen. The view itself writes to the
// terminal that standard output was before.
#include <atomic>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kinevra_host {

class ConsoleCapture {
 public:
  ConsoleCapture() = default;
  ~ConsoleCapture() { stop(); }
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  // Redirects standard output and error into a pipe read by a thread of its
  // own. False (nothing changed) when the system refuses.
  bool start();
  // Puts standard output and error back and collects the last lines.
  void stop();

  // Writes to the original standard output (the terminal), whole.
  void write(std::string_view text) const;
  // Whether the original standard output is a terminal that takes cursor
  // movement (ANSI/VT sequences).
  bool terminal() const { return terminal_; }

  // The last n captured lines, oldest first.
  std::vector<std::string> recent(std::size_t n) const;
  // Lines captured since the previous call.
  std::vector<std::string> takeNew();

 private:
  void readLoop();
  void addText(const char* data, std::size_t size);
  void addLine(const std::string& text);  // under lock_

  int outFd_ = -1;       // the original standard output
  int savedErrFd_ = -1;  // the original standard error
  int readFd_ = -1;
  int writeFd_ = -1;
  bool terminal_ = false;
  bool started_ = false;
  std::atomic<bool> stopping_{false};
  std::thread reader_;

  mutable std::mutex lock_;
  std::string partial_;
  std::string lastLine_;       // to fold a line printed again and again
  std::size_t repeats_ = 0;    // times lastLine_ came again
  std::deque<std::string> recent_;
  std::vector<std::string> fresh_;
};

// Whether standard output, before any capture, is a terminal for the view.
bool standardOutputIsTerminal();

}  // namespace kinevra_host
