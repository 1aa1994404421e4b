#pragma once
// Telling a waiting program that something arrived: a message posted to a
// window, an event signalled (Windows). Linux has neither; there both do
// nothing. Also the check whether the module runs inside the flight simulator
// itself.
#include <cstdint>

namespace kinevra::platform {

// PostMessageA(window, message, wParam, lParam); false on failure.
bool postWindowMessage(std::uintptr_t window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
// SetEvent(event); false on failure.
bool signalEvent(std::uintptr_t event);

// True when the process's main module exports FlightSimGetMainHwnd and
// FlightSimGetProcessId, both answer, and the process id is this process's:
// the simulator's main window then goes to *window. Always false on Linux.
bool findHostSimulatorWindow(std::uintptr_t* window);

// The handle of the module this code is linked into (the DLL, or the
// program); 0 on Linux.
std::uintptr_t thisModuleHandle();

}  // namespace kinevra::platform
