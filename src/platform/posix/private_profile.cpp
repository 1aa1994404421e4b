#include "platform/private_profile.h"

#include <strings.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

namespace kinevra::platform {

namespace {

// Larger files are not configuration files; they are not read.
constexpr std::size_t kMaxFileBytes = 1 << 20;

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool sameName(std::string_view a, const char* b) {
  const std::string_view bv(b);
  return a.size() == bv.size() && strncasecmp(a.data(), bv.data(), a.size()) == 0;
}

bool readFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (text->size() > kMaxFileBytes) text->resize(kMaxFileBytes);
  return true;
}

// Calls line(content) for each line of the first section named section;
// stops when it answers false.
template <class Fn>
void forSectionLines(const std::string& text, const char* section, Fn line) {
  bool inside = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string_view l = trim(std::string_view(text).substr(pos, end - pos));
    pos = end + 1;
    if (!l.empty() && l.front() == '[') {
      if (inside) return;  // the first matching section only
      const std::size_t close = l.find(']');
      if (close != std::string_view::npos) inside = sameName(trim(l.substr(1, close - 1)), section);
      continue;
    }
    if (inside && !l.empty() && l.front() != ';' && !line(l)) return;
  }
}

}  // namespace

std::string readProfileString(const std::string& path, const char* section, const char* key, std::size_t capacity) {
  std::string text, value;
  if (capacity == 0 || !readFile(path, &text)) return {};
  forSectionLines(text, section, [&](std::string_view l) {
    const std::size_t eq = l.find('=');
    if (eq == std::string_view::npos || !sameName(trim(l.substr(0, eq)), key)) return true;
    std::string_view v = trim(l.substr(eq + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
      v = v.substr(1, v.size() - 2);
    }
    value.assign(v.substr(0, capacity - 1));
    return false;
  });
  return value;
}

bool profileSectionExists(const std::string& path, const char* section) {
  std::string text;
  if (!readFile(path, &text)) return false;
  bool any = false;
  forSectionLines(text, section, [&](std::string_view) {
    any = true;
    return false;
  });
  return any;
}

std::string sharedDocumentsFolder() {
  std::string dir;
  if (const char* xdg = std::getenv("XDG_PUBLICSHARE_DIR"); xdg && xdg[0] == '/') {
    dir = xdg;
  } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
    dir = std::string(home) + "/Public";
  }
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

std::string currentFolder() {
  std::vector<char> buf(4096);
  if (!::getcwd(buf.data(), buf.size())) return {};
  std::string s(buf.data());
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

}  // namespace kinevra::platform
