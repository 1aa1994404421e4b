#pragma once
// Is a program running? Game detection looks for games by executable name.
#include <string_view>

namespace kinevra::platform {

// True when a process whose executable file name is exactly exeName (case-
// sensitive, whole name, no path) exists. On Linux both the executable's base
// name and the base name of argv[0] (split on '/' and '\\') count, so Windows
// programs running under Wine are seen by their Windows names. A failed
// process listing answers false.
bool isProcessRunning(std::string_view exeName);

}  // namespace kinevra::platform
