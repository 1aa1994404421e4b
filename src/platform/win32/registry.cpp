#include "platform/registry.h"

#include <windows.h>

#include <vector>

namespace kinevra::platform {

bool readUserRegistryString(const char* keyPath, const char* valueName, std::size_t capacity, std::string* value) {
  if (!value || capacity == 0) return false;
  value->clear();
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  // One byte more than asked for, always zero: a value stored without its
  // terminating NUL still ends inside the buffer.
  std::vector<char> buf(capacity + 1, '\0');
  DWORD type = 0;
  DWORD size = static_cast<DWORD>(capacity);
  const LONG rc = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  *value = buf.data();
  return true;
}

}  // namespace kinevra::platform
