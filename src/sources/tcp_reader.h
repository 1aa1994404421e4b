#pragma once
// Reader of the game that serves its telemetry over TCP on request (the
// roller-coaster simulator's server on 127.0.0.1:15151). Connected from
// attach to detach; each update sends a request and takes the reply.
#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/sockets.h"
#include "sources/game_reader.h"

namespace kinevra {

class TcpReader : public GameReader {
 public:
  // Request type and id of a telemetry request.
  static constexpr std::uint16_t kTelemetryRequest = 5;
  static constexpr std::uint32_t kTelemetryRequestId = 3243;
  // One receive takes at most this much of the reply.
  static constexpr std::size_t kReplyBufferSize = 1000;

  TcpReader(int gameId, Clock& clock, std::uint16_t port);
  ~TcpReader() override;

  bool probe() override;
  int attach() override;
  int update(double* gameData) override;
  void detach() override;

  bool connected() const { return connected_; }

 protected:
  // Converts one reply into gameData (the game derives its gravity itself);
  // true when it carried new telemetry. A reader without the game's reply
  // format takes nothing, and its updates report no new data.
  virtual bool convert(const std::uint8_t* reply, std::size_t length, double* gameData);

 private:
  void release();

  std::uint16_t port_;
  platform::SocketHandle socket_ = platform::kInvalidSocket;
  bool socketsStarted_ = false;
  bool connected_ = false;
  std::array<std::uint8_t, kReplyBufferSize> reply_{};
};

}  // namespace kinevra
