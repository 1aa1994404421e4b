#include "thread_cpu.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <iterator>
#include <sstream>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dirent.h>
#include <pthread.h>
#include <unistd.h>
#endif

namespace kinevra_host {

std::vector<ThreadCpu> threadCpuTimes() {
  std::vector<ThreadCpu> out;
#if !defined(_WIN32)
  DIR* dir = opendir("/proc/self/task");
  if (!dir) return out;
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  while (const dirent* e = readdir(dir)) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    const std::string base = std::string("/proc/self/task/") + e->d_name;
    ThreadCpu t;
    t.id = std::strtol(e->d_name, nullptr, 10);
    std::ifstream comm(base + "/comm");
    std::getline(comm, t.name);
    std::ifstream statFile(base + "/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    // The name in parentheses may hold spaces; the fields after it are plain.
    const auto close = stat.rfind(')');
    if (close == std::string::npos || tick <= 0) continue;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
      if (i == 14) utime = std::strtoull(field.c_str(), nullptr, 10);
      if (i == 15) stime = std::strtoull(field.c_str(), nullptr, 10);
    }
    t.seconds = static_cast<double>(utime + stime) / tick;
    out.push_back(t);
  }
  closedir(dir);
#endif
  return out;
}

std::vector<ThreadShare> threadShares(const std::vector<ThreadCpu>& before, const std::vector<ThreadCpu>& after,
                                      double wallSeconds) {
  std::map<std::string, double> used;
  for (const ThreadCpu& a : after) {
    double start = 0;  // a thread begun since the first reading used all of its time since
    for (const ThreadCpu& b : before)
      if (b.id == a.id) start = b.seconds;
    used[a.name] += std::max(0.0, a.seconds - start);
  }
  std::vector<ThreadShare> out;
  if (wallSeconds <= 0) return out;
  for (const auto& [name, seconds] : used) out.push_back({name, 100.0 * seconds / wallSeconds});
  std::sort(out.begin(), out.end(), [](const ThreadShare& x, const ThreadShare& y) { return x.percent > y.percent; });
  return out;
}

void nameThisThread(const char* name) {
  if (!name) return;
#if defined(_WIN32)
  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto set = kernel ? reinterpret_cast<SetDescription>(
                                reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadDescription")))
                          : nullptr;
  if (!set) return;
  const std::wstring wide(name, name + std::strlen(name));
  set(GetCurrentThread(), wide.c_str());
#else
  char shortName[16] = {};
  std::strncpy(shortName, name, sizeof shortName - 1);
  pthread_setname_np(pthread_self(), shortName);
#endif
}

}  // namespace kinevra_host
