#include "udp/udp_socket.h"

#include <string>

namespace kinevra {

namespace {

std::string withCode(const char* text, int code) { return text + std::to_string(code); }

}  // namespace

UdpSocket::UdpSocket() { logger_.logInfo("Udp class init"); }

UdpSocket::~UdpSocket() { release(); }

void UdpSocket::release() {
  if (socket_ != platform::kInvalidSocket) {
    platform::closeSocket(socket_);
    socket_ = platform::kInvalidSocket;
  }
  // One release per start: an extra WSACleanup would take away a start that
  // another user of the library in this process still counts on.
  if (libraryStarted_) {
    platform::stopSockets();
    libraryStarted_ = false;
  }
}

bool UdpSocket::openPort(int port) {
  // A second open must not leak the first socket and its library start.
  release();
  logger_.logInfo("Opening port: " + std::to_string(port));

  startupResult_ = platform::startSockets();
  if (startupResult_ != 0) {
    logger_.logError(withCode("WSAStartup failed with error: ", startupResult_));
    return false;
  }
  libraryStarted_ = true;

  socket_ = platform::openDatagramSocket();
  if (socket_ == platform::kInvalidSocket) {
    const int code = platform::lastSocketError();
    logger_.logError(withCode("Socket creation failed with error: ", code));
    release();
    return false;
  }

  if (!platform::setNonBlocking(socket_)) {
    const int code = platform::lastSocketError();
    logger_.logError(withCode("Setting non-blocking mode failed with error: ", code));
    release();
    return false;
  }

  address_ = platform::Ipv4Endpoint{platform::kAnyAddress, static_cast<std::uint16_t>(port & 0xFFFF)};
  if (!platform::bindSocket(socket_, address_)) {
    const int code = platform::lastSocketError();
    logger_.logError(withCode("Binding socket failed with error: ", code));
    release();
    return false;
  }

  logger_.logInfo("Port " + std::to_string(port) + " opened successfully.");
  return true;
}

int UdpSocket::closePort() {
  release();
  logger_.logInfo("Port closed.");
  return 0;
}

std::vector<std::uint8_t> UdpSocket::receiveDatagram() {
  const std::span<const std::uint8_t> d = receiveView();
  return std::vector<std::uint8_t>(d.begin(), d.end());
}

std::span<const std::uint8_t> UdpSocket::receiveView() {
  if (socket_ == platform::kInvalidSocket) return {};
  if (platform::waitReadable(socket_, 1) != 1) return {};
  const std::int64_t n = platform::receiveFrom(socket_, buffer_.data(), buffer_.size(), &address_);
  if (n <= 0) return {};
  return {buffer_.data(), static_cast<std::size_t>(n)};
}

}  // namespace kinevra
