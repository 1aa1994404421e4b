#include "platform/notification.h"

namespace kinevra::platform {

bool postWindowMessage(std::uintptr_t, std::uint32_t, std::uintptr_t, std::intptr_t) { return false; }
bool signalEvent(std::uintptr_t) { return false; }
bool findHostSimulatorWindow(std::uintptr_t*) { return false; }
std::uintptr_t thisModuleHandle() { return 0; }

}  // namespace kinevra::platform
