#include "platform/documents_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace kinevra::platform {

namespace {

std::string withoutTrailingSlashes(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

std::string homeFolder() {
  if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
  // No usable $HOME (a service account, a stripped environment): the password
  // database still knows the home folder.
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  if (size <= 0) size = 16384;
  std::vector<char> buf(static_cast<std::size_t>(size));
  passwd pw{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir &&
      found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return {};
}

}  // namespace

std::string documentsFolder() {
  // XDG wants absolute paths; a relative value is to be ignored.
  if (const char* xdg = std::getenv("XDG_DOCUMENTS_DIR"); xdg && xdg[0] == '/') {
    return withoutTrailingSlashes(xdg);
  }
  const std::string home = homeFolder();
  if (home.empty()) return {};
  return withoutTrailingSlashes(home) + (home == "/" ? "Documents" : "/Documents");
}

char pathSeparator() { return '/'; }

}  // namespace kinevra::platform
