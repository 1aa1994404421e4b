#pragma once
// How the program that started a stand-in (gamesim, rigsim, fsimsim, vrsim)
// asks it to end, so that it leaves its loop and closes what it holds itself.
// POSIX: SIGTERM or SIGINT. Windows has no such signal between programs:
// there the starter sets a named event that carries the stand-in's process
// id. Terminating the program instead is no substitute under Wine: a socket
// whose program was terminated in the middle of a call on it outlives the
// program, so a listener keeps its port (the next game stand-in cannot serve
// it, the library's connects to it time out) and wineserver spins on the
// connections nobody takes.
#include <csignal>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace kinevra_tools {

inline volatile std::sig_atomic_t gStopSignalled = 0;
extern "C" inline void kinevraToolsStopSignalled(int) { gStopSignalled = 1; }

#if defined(_WIN32)
// The event the starter sets to ask the program with this id to end.
inline std::string stopEventName(unsigned long processId) {
  return "Local\\kinevra-stop-" + std::to_string(processId);
}
#endif

class StopRequest {
 public:
  // Watches for the request from here on.
  StopRequest() {
    std::signal(SIGTERM, kinevraToolsStopSignalled);
    std::signal(SIGINT, kinevraToolsStopSignalled);
#if defined(_WIN32)
    // Created, or opened when the starter made it first.
    event_ = CreateEventA(nullptr, TRUE, FALSE, stopEventName(GetCurrentProcessId()).c_str());
#endif
  }
  ~StopRequest() {
#if defined(_WIN32)
    if (event_) CloseHandle(event_);
#endif
  }
  StopRequest(const StopRequest&) = delete;
  StopRequest& operator=(const StopRequest&) = delete;

  bool requested() const {
    if (gStopSignalled) return true;
#if defined(_WIN32)
    return event_ && WaitForSingleObject(event_, 0) == WAIT_OBJECT_0;
#else
    return false;
#endif
  }

 private:
#if defined(_WIN32)
  HANDLE event_ = nullptr;
#endif
};

}  // namespace kinevra_tools
