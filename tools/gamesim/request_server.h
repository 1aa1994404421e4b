#pragma once
// gamesim's side of a telemetry server that answers request frames ("N",
// type, request id, data size, data, "L"; big-endian numbers): a listening
// socket on 127.0.0.1 and its clients, all non-blocking, served from
// gamesim's loop. What a request is answered with is the caller's.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/sockets.h"

namespace gamesim {

class RequestServer {
 public:
  // Answers one whole request on socket.
  using Answer = std::function<void(kinevra::platform::SocketHandle socket, std::uint16_t type, std::uint32_t id)>;

  RequestServer() = default;
  RequestServer(const RequestServer&) = delete;
  RequestServer& operator=(const RequestServer&) = delete;
  ~RequestServer() {
    namespace net = kinevra::platform;
    for (auto& c : clients_) net::closeSocket(c.socket);
    if (listener_ != net::kInvalidSocket) net::closeSocket(listener_);
  }

  bool open(std::uint16_t port) {
    namespace net = kinevra::platform;
    listener_ = net::openStreamSocket();
    return listener_ != net::kInvalidSocket && net::setReuseAddress(listener_) &&
           net::bindSocket(listener_, {net::kLoopbackAddress, port}) && net::listenSocket(listener_, 8) &&
           net::setNonBlocking(listener_);
  }

  // Takes new connections, reads what arrived and answers every whole request.
  void serve(const Answer& answer) {
    namespace net = kinevra::platform;
    if (listener_ == net::kInvalidSocket) return;
    while (net::waitReadable(listener_, 0) == 1) {
      const net::SocketHandle c = net::acceptConnection(listener_);
      if (c == net::kInvalidSocket) break;
      net::setNonBlocking(c);
      clients_.push_back({c, {}});
    }
    for (std::size_t i = 0; i < clients_.size();) {
      Client& c = clients_[i];
      bool gone = false;
      while (net::waitReadable(c.socket, 0) == 1) {
        std::uint8_t buf[2048];
        const std::int64_t n = net::receiveBytes(c.socket, buf, sizeof buf);
        if (n <= 0) {
          gone = true;
          break;
        }
        c.pending.insert(c.pending.end(), buf, buf + n);
      }
      answerWhole(c, answer);
      if (gone) {
        net::closeSocket(c.socket);
        clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        ++i;
      }
    }
  }

 private:
  struct Client {
    kinevra::platform::SocketHandle socket;
    std::vector<std::uint8_t> pending;
  };

  static void answerWhole(Client& c, const Answer& answer) {
    while (c.pending.size() >= 10) {
      if (c.pending[0] != 'N') {
        c.pending.erase(c.pending.begin());
        continue;
      }
      const std::size_t size = std::size_t(c.pending[7]) << 8 | c.pending[8];
      if (c.pending.size() < 10 + size) return;
      const auto type = std::uint16_t(c.pending[1] << 8 | c.pending[2]);
      const std::uint32_t id = std::uint32_t(c.pending[3]) << 24 | std::uint32_t(c.pending[4]) << 16 |
                               std::uint32_t(c.pending[5]) << 8 | c.pending[6];
      c.pending.erase(c.pending.begin(), c.pending.begin() + static_cast<std::ptrdiff_t>(10 + size));
      answer(c.socket, type, id);
    }
  }

  kinevra::platform::SocketHandle listener_ = kinevra::platform::kInvalidSocket;
  std::vector<Client> clients_;
};

}  // namespace gamesim
