#pragma once
// The current user's Documents folder, where the library keeps its log.
#include <string>

namespace kinevra::platform {

// The folder's path without a trailing separator, or empty when the system
// cannot say. Windows: the shell's CSIDL_PERSONAL folder. Elsewhere: an
// absolute $XDG_DOCUMENTS_DIR, else the home folder's "Documents".
std::string documentsFolder();

// The separator of path components: '\\' on Windows, '/' elsewhere.
char pathSeparator();

}  // namespace kinevra::platform
