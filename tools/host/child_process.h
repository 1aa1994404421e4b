#pragma once
// Programs kinevra-host starts for its demo (the game and controller
// stand-ins), with their output in a file, and the folders it works in.
#include <string>
#include <vector>

namespace kinevra_host {

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess() { stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts program with args; its standard output and error are appended to
  // outputFile. False when the system cannot start it.
  bool start(const std::string& program, const std::vector<std::string>& args, const std::string& outputFile);
  // Asks the program to end (SIGTERM; on Windows the stop event of
  // stop_request.h), waits up to 10 s, then forces it.
  void stop();
  // Whether it is still running.
  bool running();
  // Ends it at once, as a crash or a pulled cable would: nothing it holds is
  // released by the program itself.
  void kill();
  // Stops (true) or continues (false) the program where it stands, as a
  // frozen game would; false where the system cannot.
  bool suspend(bool on);

 private:
#if defined(_WIN32)
  // Closes the handles of a program that has ended.
  void release();

  void* process_ = nullptr;
  void* stopEvent_ = nullptr;
#else
  int pid_ = -1;
#endif
};

// The folder of the running program, with a trailing separator.
std::string programFolder();
// A new empty folder under the system's temporary folder; "" on failure.
std::string makeScratchFolder(const std::string& tag);
// Sets a variable of this process's environment.
void setEnvironment(const std::string& name, const std::string& value);
// Executable file name of a tool built beside kinevra-host ("gamesim" ->
// "gamesim.exe" on Windows).
std::string toolProgram(const std::string& name);

}  // namespace kinevra_host
