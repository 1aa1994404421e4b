#pragma once
// Starts a real program for a test (a game double under a game's executable
// name, say) and ends it again.
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "stop_request.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace kinevra::test {

// The folder of the running test program (tools are built beside it).
inline std::filesystem::path programDir() {
#if defined(_WIN32)
  wchar_t buf[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
  return std::filesystem::path(std::wstring(buf, n)).parent_path();
#else
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
#endif
}

// A fresh empty folder for one test.
inline std::filesystem::path scratchDir(const std::string& tag) {
  auto dir = std::filesystem::temp_directory_path() /
             ("kinevra-" + tag + "-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::filesystem::create_directories(dir);
  return dir;
}

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() { stop(); }

  bool start(const std::filesystem::path& program, const std::vector<std::string>& args) {
#if defined(_WIN32)
    std::string cmd = "\"" + program.string() + "\"";
    for (const auto& a : args) cmd += " \"" + a + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
      return false;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    stopEvent_ = CreateEventA(nullptr, TRUE, FALSE, kinevra_tools::stopEventName(pi.dwProcessId).c_str());
    return true;
#else
    std::vector<std::string> all{program.string()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    return posix_spawn(&pid_, all[0].c_str(), nullptr, nullptr, argv.data(), environ) == 0;
#endif
  }

  // Asks the program to end, so that it releases what it holds itself: on
  // Linux the named blocks (Linux keeps those whose creator was killed), under
  // Wine the sockets (see stop_request.h). Forced after 10 s. False when it
  // had to be forced.
  bool stop() {
    bool ended = true;
#if defined(_WIN32)
    if (!process_) return true;
    if (stopEvent_) SetEvent(stopEvent_);
    if (WaitForSingleObject(process_, 10000) != WAIT_OBJECT_0) {
      ended = false;
      TerminateProcess(process_, 0);
      WaitForSingleObject(process_, 10000);
    }
    CloseHandle(process_);
    process_ = nullptr;
    if (stopEvent_) CloseHandle(stopEvent_);
    stopEvent_ = nullptr;
#else
    if (pid_ <= 0) return true;
    kill(pid_, SIGTERM);
    int status = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) {
        ended = false;
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    pid_ = -1;
#endif
    return ended;
  }

 private:
#if defined(_WIN32)
  HANDLE process_ = nullptr;
  HANDLE stopEvent_ = nullptr;
#else
  pid_t pid_ = -1;
#endif
};

// Waits until pred() holds, polling; false if it never did within the limit.
// The limit only bounds a failing test; passing tests never wait for it.
template <class Pred>
bool eventually(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace kinevra::test
