#include "soak_system.h"

#if defined(_WIN32)
#include <windows.h>
#include <psapi.h>
#else
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#endif

namespace kinevra_soak {

std::uint64_t residentBytes() {
#if defined(_WIN32)
  PROCESS_MEMORY_COUNTERS c{};
  c.cb = sizeof c;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c)) return 0;
  return c.WorkingSetSize;
#else
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return 0;
  unsigned long long size = 0, resident = 0;
  const int n = std::fscanf(f, "%llu %llu", &size, &resident);
  std::fclose(f);
  if (n != 2) return 0;
  return resident * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
#endif
}

void removeSharedMemory(const std::string& name) {
#if !defined(_WIN32)
  shm_unlink(("/" + name).c_str());  // the name as the platform layer opens it
#else
  (void)name;
#endif
}

}  // namespace kinevra_soak
