#pragma once
// Names the calling thread for the system's tools (top, a debugger, a
// profiler), so that a rig owner can tell the library's loops apart.

namespace kinevra::platform {

// Linux keeps at most 15 characters; Windows 10 and later show the name
// where the system offers thread descriptions. Failures are ignored.
void nameThisThread(const char* name);

}  // namespace kinevra::platform
