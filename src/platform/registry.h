#pragma once
// Reading values of the current user's registry (Windows). Linux has no
// registry: every read there finds nothing.
#include <cstddef>
#include <string>

namespace kinevra::platform {

// Reads the string value valueName under HKEY_CURRENT_USER\keyPath
// (RegOpenKeyExA, RegQueryValueExA) into a buffer of capacity bytes; the text
// is cut at the first NUL and never runs past the buffer. False when the key
// or the value is missing, is not a string or does not fit.
bool readUserRegistryString(const char* keyPath, const char* valueName, std::size_t capacity, std::string* value);

}  // namespace kinevra::platform
