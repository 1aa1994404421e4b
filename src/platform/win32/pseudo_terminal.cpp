#include "platform/pseudo_terminal.h"

#include <windows.h>

namespace kinevra::platform {

// Windows has no pseudo-terminal a COM port could be opened on.
bool PseudoTerminal::open() {
  SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}
std::int64_t PseudoTerminal::read(void*, std::size_t, int) { return -1; }
bool PseudoTerminal::write(const void*, std::size_t) { return false; }
void PseudoTerminal::close() {}

}  // namespace kinevra::platform
