// Provisional fan controller: configured, never started.
#include "wind/wind_serial.h"

namespace kinevra {

WindSerial::WindSerial() = default;
WindSerial::~WindSerial() { stop(); }

bool WindSerial::init(const std::string&, std::int32_t, const std::string&, std::uint32_t interval) {
  sendIntervalMs = interval;
  initialized = false;
  return false;
}
void WindSerial::start() {}
void WindSerial::pause() { paused = true; }
void WindSerial::unpause() { paused = false; }
void WindSerial::stop() { running = false; startFailures = 0; }
void WindSerial::updateBuffer(const std::vector<std::uint8_t>& bytes) {
  std::lock_guard<std::mutex> hold(bufferMutex);
  buffer = bytes;
}
bool WindSerial::configurePort(std::int32_t, const std::string&) { return false; }
void WindSerial::sendingThreadFunc() {}

}  // namespace kinevra
