#include "platform/documents_folder.h"

#include <windows.h>
#include <shlobj.h>

namespace kinevra::platform {

std::string documentsFolder() {
  char path[MAX_PATH] = {};
  if (SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return {};
  path[MAX_PATH - 1] = '\0';
  return path;
}

char pathSeparator() { return '\\'; }

}  // namespace kinevra::platform
