#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <string>

namespace kinevra::platform {

namespace {

std::string_view baseName(std::string_view path) {
  const auto cut = path.find_last_of("/\\");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

bool exeMatches(const std::string& dir, std::string_view exeName) {
  char target[PATH_MAX];
  const ssize_t n = readlink((dir + "/exe").c_str(), target, sizeof target - 1);
  if (n > 0 && baseName(std::string_view(target, static_cast<std::size_t>(n))) == exeName) return true;

  // argv[0], as the process set it (Wine shows the Windows path there).
  const int fd = open((dir + "/cmdline").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buf[4096];
  const ssize_t got = read(fd, buf, sizeof buf - 1);
  close(fd);
  if (got <= 0) return false;
  buf[got] = '\0';
  const std::string_view argv0(buf);  // up to the first NUL
  return baseName(argv0) == exeName;
}

}  // namespace

bool isProcessRunning(std::string_view exeName) {
  if (exeName.empty()) return false;
  DIR* proc = opendir("/proc");
  if (!proc) return false;
  bool found = false;
  while (dirent* e = readdir(proc)) {
    if (!std::isdigit(static_cast<unsigned char>(e->d_name[0]))) continue;
    if (exeMatches(std::string("/proc/") + e->d_name, exeName)) {
      found = true;
      break;
    }
  }
  closedir(proc);
  return found;
}

}  // namespace kinevra::platform
