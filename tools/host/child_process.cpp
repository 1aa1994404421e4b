#include "child_process.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <thread>

#include "stop_request.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace kinevra_host {

namespace fs = std::filesystem;

#if defined(_WIN32)

namespace {
// One argument in the quoting CommandLineToArgvW and the C runtime undo.
std::string quoted(const std::string& arg) {
  std::string out = "\"";
  std::size_t slashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    out.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
    slashes = 0;
    out.push_back(c);
  }
  out.append(slashes * 2, '\\');
  return out + "\"";
}
}  // namespace

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& args,
                         const std::string& outputFile) {
  stop();
  std::string cmd = quoted(program);
  for (const auto& a : args) cmd += " " + quoted(a);
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  const HANDLE out = CreateFileA(outputFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = nullptr;
  si.hStdOutput = out;
  si.hStdError = out;
  PROCESS_INFORMATION pi{};
  const BOOL ok = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(out);
  if (!ok) return false;
  CloseHandle(pi.hThread);
  process_ = pi.hProcess;
  stopEvent_ = CreateEventA(nullptr, TRUE, FALSE, kinevra_tools::stopEventName(pi.dwProcessId).c_str());
  return true;
}

void ChildProcess::stop() {
  if (!process_) return;
  // Asked to end first, so that the program closes its sockets itself (see
  // stop_request.h); forced after 10 s.
  if (stopEvent_) SetEvent(static_cast<HANDLE>(stopEvent_));
  if (WaitForSingleObject(static_cast<HANDLE>(process_), 10000) != WAIT_OBJECT_0) kill();
  release();
}

void ChildProcess::kill() {
  if (!process_) return;
  TerminateProcess(static_cast<HANDLE>(process_), 0);
  WaitForSingleObject(static_cast<HANDLE>(process_), 10000);
  release();
}

void ChildProcess::release() {
  if (process_) CloseHandle(static_cast<HANDLE>(process_));
  process_ = nullptr;
  if (stopEvent_) CloseHandle(static_cast<HANDLE>(stopEvent_));
  stopEvent_ = nullptr;
}

bool ChildProcess::running() {
  return process_ && WaitForSingleObject(static_cast<HANDLE>(process_), 0) == WAIT_TIMEOUT;
}

bool ChildProcess::suspend(bool) { return false; }

std::string programFolder() {
  wchar_t buf[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
  return fs::path(std::wstring(buf, n)).parent_path().string() + "\\";
}

void setEnvironment(const std::string& name, const std::string& value) {
  _putenv_s(name.c_str(), value.c_str());
}

std::string toolProgram(const std::string& name) { return programFolder() + name + ".exe"; }

#else

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& args,
                         const std::string& outputFile) {
  stop();
  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  pid_ = pid;
  return true;
}

void ChildProcess::stop() {
  if (pid_ <= 0) return;
  // Asked first, so that the program releases what it published (Linux keeps
  // named blocks whose creator was killed); forced after 10 s.
  ::kill(pid_, SIGTERM);
  ::kill(pid_, SIGCONT);  // a stopped program must run to end
  int status = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      ::kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = -1;
}

bool ChildProcess::running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == 0) return true;
  pid_ = -1;
  return false;
}

void ChildProcess::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

bool ChildProcess::suspend(bool on) { return pid_ > 0 && ::kill(pid_, on ? SIGSTOP : SIGCONT) == 0; }

std::string programFolder() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("./") : exe.parent_path().string() + "/";
}

void setEnvironment(const std::string& name, const std::string& value) {
  ::setenv(name.c_str(), value.c_str(), 1);
}

std::string toolProgram(const std::string& name) { return programFolder() + name; }

#endif

std::string makeScratchFolder(const std::string& tag) {
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  if (ec) return {};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const fs::path dir = base / ("kinevra-" + tag + "-" + std::to_string(stamp % 1000000000) + "-" +
                                 std::to_string(attempt));
    if (fs::create_directory(dir, ec) && !ec) return dir.string();
  }
  return {};
}

}  // namespace kinevra_host
