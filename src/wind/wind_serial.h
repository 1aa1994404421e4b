#pragma once
// The fan controller on a serial port of its own: a sending thread writes one
// byte (0 off .. 255 full power) per send interval from a small buffer that
// the engine refreshes every output cycle.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kinevra {

class WindSerial {
 public:
  WindSerial();
  ~WindSerial();
  WindSerial(const WindSerial&) = delete;
  WindSerial& operator=(const WindSerial&) = delete;

  bool init(const std::string& portName, std::int32_t baudRate, const std::string& frameFormat,
            std::uint32_t sendIntervalMs);
  void start();
  void pause();
  void unpause();
  void stop();
  bool isRunning() const { return running; }
  bool isInit() const { return initialized; }
  void updateBuffer(const std::vector<std::uint8_t>& bytes);

  // Fields, in declaration order. The engine's output stage reads the flags
  // and refills buffer under bufferMutex.
  std::intptr_t port = -1;
  std::atomic<bool> running{false};
  std::atomic<bool> paused{false};
  std::atomic<bool> initialized{false};
  std::thread sendingThread;
  std::mutex bufferMutex;
  std::vector<std::uint8_t> buffer;
  std::uint32_t sendIntervalMs = 15;
  std::string portName;
  std::int32_t baudRate = 0;
  std::string frameFormat;
  std::int32_t startFailures = 0;

 private:
  bool configurePort(std::int32_t baudRate, const std::string& frameFormat);
  void sendingThreadFunc();
};

}  // namespace kinevra
