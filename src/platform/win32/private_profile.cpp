#include "platform/private_profile.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

namespace kinevra::platform {

std::string readProfileString(const std::string& path, const char* section, const char* key, std::size_t capacity) {
  if (capacity == 0) return {};
  std::vector<char> buf(capacity, '\0');
  GetPrivateProfileStringA(section, key, "", buf.data(), static_cast<DWORD>(capacity), path.c_str());
  buf.back() = '\0';
  return buf.data();
}

bool profileSectionExists(const std::string& path, const char* section) {
  char buf[2048];
  return GetPrivateProfileSectionA(section, buf, sizeof buf, path.c_str()) > 0;
}

std::string sharedDocumentsFolder() {
  char path[MAX_PATH] = {};
  if (SHGetFolderPathA(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return {};
  path[MAX_PATH - 1] = '\0';
  return path;
}

std::string currentFolder() {
  char path[MAX_PATH] = {};
  const DWORD n = GetCurrentDirectoryA(MAX_PATH, path);
  if (n == 0 || n >= MAX_PATH) return {};
  std::string s(path, n);
  if (s.size() > 3 && (s.back() == '\\' || s.back() == '/')) s.pop_back();
  return s;
}

}  // namespace kinevra::platform
