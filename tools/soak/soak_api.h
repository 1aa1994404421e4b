#pragma once
// The exports the soak uses beyond those of kinevra-host, looked up by name
// in the same loaded library.
#include <string>
#include <vector>

#include "kinevra.h"
#include "library_loader.h"

namespace kinevra_soak {

struct ExtraApi {
#define KINEVRA_SOAK_EXPORTS(X)                                                                                \
  X(getGameDataCount) X(GetAccelerationSnapshots) X(FreeAccelerationSnapshots) X(GetPositionSnapshot)          \
      X(sendMessagemmf) X(autoMessagemmf) X(pauseInterface)

#define KINEVRA_SOAK_MEMBER(name) decltype(&::name) name = nullptr;
  KINEVRA_SOAK_EXPORTS(KINEVRA_SOAK_MEMBER)
#undef KINEVRA_SOAK_MEMBER

  void load(const kinevra_host::LibraryLoader& lib) {
    missing.clear();
#define KINEVRA_SOAK_LOOKUP(name)              \
  name = lib.get<decltype(&::name)>(#name);    \
  if (!name) missing.push_back(#name);
    KINEVRA_SOAK_EXPORTS(KINEVRA_SOAK_LOOKUP)
#undef KINEVRA_SOAK_LOOKUP
  }

  std::vector<std::string> missing;
};

}  // namespace kinevra_soak
