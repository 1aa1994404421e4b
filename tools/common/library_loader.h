#pragma once
// Loads the Kinevra library by name and looks up its exports, as a host does:
// LoadLibraryA/GetProcAddress on Windows, dlopen/dlsym elsewhere.
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#endif

namespace kinevra_host {

#if defined(_WIN32)
inline constexpr const char* kLibraryName = "kinevra.dll";
#else
inline constexpr const char* kLibraryName = "libkinevra.so";
#endif

class LibraryLoader {
 public:
  LibraryLoader() = default;
  ~LibraryLoader() {
    if (!keep_) close();
  }
  LibraryLoader(const LibraryLoader&) = delete;
  LibraryLoader& operator=(const LibraryLoader&) = delete;

  // Loads the library by name; null path means kLibraryName.
  bool open(const char* path = nullptr) {
    close();
    const char* name = path ? path : kLibraryName;
#if defined(_WIN32)
    handle_ = reinterpret_cast<void*>(LoadLibraryA(name));
    if (!handle_) error_ = "LoadLibrary failed, error " + std::to_string(GetLastError());
#else
    handle_ = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (!handle_ && !path) {
      // Then beside the program, where Windows would look first.
      char exe[PATH_MAX];
      const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
      if (n > 0) {
        std::string dir(exe, static_cast<std::size_t>(n));
        dir.erase(dir.find_last_of('/') + 1);
        handle_ = dlopen((dir + name).c_str(), RTLD_NOW | RTLD_LOCAL);
      }
    }
    if (!handle_) {
      const char* e = dlerror();
      error_ = e ? e : "dlopen failed";
    }
#endif
    return handle_ != nullptr;
  }

  void close() {
    if (!handle_) return;
#if defined(_WIN32)
    FreeLibrary(reinterpret_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
    handle_ = nullptr;
  }

  // The address of an export, null when the library has none of that name.
  void* symbol(const char* name) const {
    if (!handle_) return nullptr;
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name));
#else
    return dlsym(handle_, name);
#endif
  }

  template <class Fn>
  Fn get(const char* name) const {
    return reinterpret_cast<Fn>(symbol(name));
  }

  // Leaves the library loaded when this object goes, as a host that uses it
  // until it exits does: whatever the library keeps for the life of the
  // process stays in place.
  void keepForProcessLife() { keep_ = true; }

  bool isOpen() const { return handle_ != nullptr; }
  const std::string& error() const { return error_; }

 private:
  void* handle_ = nullptr;
  bool keep_ = false;
  std::string error_;
};

}  // namespace kinevra_host
