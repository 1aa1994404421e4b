#pragma once
// Real-time scheduling requests of the 2 ms loops. Every call may fail; the
// loops ignore failures. Setting the environment variable KINEVRA_REALTIME=0
// turns all of them into no-ops (tests, CI, shared machines).

namespace kinevra::platform {

// True unless KINEVRA_REALTIME=0 is set in the environment.
bool realtimeAllowed();

// Asks for a 1 ms system timer resolution.
void requestTimerResolution();
// Puts the process into the real-time priority class.
void raiseProcessPriority();
// Raises the calling thread to time-critical priority.
void raiseThreadPriority();

}  // namespace kinevra::platform
