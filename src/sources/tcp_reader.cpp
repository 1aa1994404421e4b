#include "sources/tcp_reader.h"

#include "sources/probes.h"

namespace kinevra {

TcpReader::TcpReader(int gameId, Clock& clock, std::uint16_t port)
    : GameReader(gameId, clock, GravityDirection::RemoveFromAcceleration), port_(port) {}

TcpReader::~TcpReader() { release(); }

bool TcpReader::probe() { return probeTcpServer(port_); }

int TcpReader::attach() {
  release();
  const int started = platform::startSockets();
  if (started != 0) {
    printSocketError("Error initializing Winsock", started);
    return 0;
  }
  socketsStarted_ = true;
  socket_ = platform::openStreamSocket();
  if (socket_ == platform::kInvalidSocket) {
    printSocketError("Error creating socket", platform::lastSocketError());
  } else if (!platform::connectSocket(socket_, {platform::kLoopbackAddress, port_})) {
    printSocketError("Error connecting to server", platform::lastSocketError());
  } else if (!platform::setNonBlocking(socket_)) {
    printSocketError("Error setting socket as non-blocking", platform::lastSocketError());
  } else {
    connected_ = true;
    return 1;
  }
  release();
  return 0;
}

void TcpReader::detach() { release(); }

void TcpReader::release() {
  connected_ = false;
  if (socket_ != platform::kInvalidSocket) {
    platform::closeSocket(socket_);
    socket_ = platform::kInvalidSocket;
  }
  if (socketsStarted_) {
    platform::stopSockets();
    socketsStarted_ = false;
  }
}

bool TcpReader::convert(const std::uint8_t*, std::size_t, double*) { return false; }

int TcpReader::update(double* gameData) {
  if (!connected_) return 0;
  const auto request = requestFrame(kTelemetryRequest, kTelemetryRequestId);
  if (platform::sendBytes(socket_, request.data(), request.size()) != static_cast<std::int64_t>(request.size()))
    printSocketError("Error sending data", platform::lastSocketError());
  if (platform::waitReadable(socket_, 0) != 1) return 0;
  const std::int64_t n = platform::receiveBytes(socket_, reply_.data(), reply_.size());
  if (n < 2) return 0;
  stepMeter(gameData);
  return convert(reply_.data(), static_cast<std::size_t>(n), gameData) ? 1 : 0;
}

}  // namespace kinevra
