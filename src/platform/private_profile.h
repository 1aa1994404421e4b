#pragma once
// Configuration files in the system's INI format ("private profile" files:
// [section] lines and key=value lines), and the folders they are looked for in.
// Windows: GetPrivateProfileStringA and GetPrivateProfileSectionA. Elsewhere
// a small parser of the same format: section and key names without case,
// blanks around names and values dropped, a value in matching quotes taken
// without them, lines starting with ';' ignored, the first matching section
// and key win.
#include <cstddef>
#include <string>

namespace kinevra::platform {

// The value of key in section of the file at path, at most capacity - 1
// characters (as a buffer of capacity bytes holds them); empty when the file,
// the section or the key is missing.
std::string readProfileString(const std::string& path, const char* section, const char* key, std::size_t capacity);

// True when the file holds the section with at least one line in it.
bool profileSectionExists(const std::string& path, const char* section);

// The documents folder shared by all users, without a trailing separator;
// empty when the system cannot say. Windows: CSIDL_COMMON_DOCUMENTS.
// Elsewhere: an absolute $XDG_PUBLICSHARE_DIR, else the home folder's "Public".
std::string sharedDocumentsFolder();

// The process's current folder, without a trailing separator; empty on failure.
std::string currentFolder();

}  // namespace kinevra::platform
