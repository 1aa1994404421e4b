// gamesim's network games: WRC, BeamNG and LFS send the drive as datagrams to
// their local ports, NoLimits 2 serves it from its telemetry server.
#include "network_games.h"

#include <vector>

#include "games.h"
#include "platform/sockets.h"

namespace gamesim {

namespace {

namespace net = kinevra::platform;

// Sends each update as one datagram to 127.0.0.1:port.
class DatagramGame : public Game {
 public:
  DatagramGame(std::uint16_t port, double rate) : port_(port), rate_(rate) {}
  ~DatagramGame() override {
    if (socket_ != net::kInvalidSocket) net::closeSocket(socket_);
  }

  bool open(std::string* error) override {
    socket_ = net::openDatagramSocket();
    if (socket_ == net::kInvalidSocket) *error = "cannot open a UDP socket";
    return socket_ != net::kInvalidSocket;
  }
  double rate() const override { return rate_; }

 protected:
  void send(const std::uint8_t* data, std::size_t size) {
    // Nobody may be listening yet; a refused datagram is simply lost.
    net::sendTo(socket_, data, size, {net::kLoopbackAddress, port_});
  }

 private:
  std::uint16_t port_;
  double rate_;
  net::SocketHandle socket_ = net::kInvalidSocket;
};

class Wrc final : public DatagramGame {
 public:
  Wrc() : DatagramGame(20788, 100.0) {}
  void publish(const Motion& m, double) override {
    const auto b = wrcDatagram(m);
    send(b.data(), b.size());
  }
};

class BeamNg final : public DatagramGame {
 public:
  BeamNg() : DatagramGame(4444, 100.0) {}
  void publish(const Motion& m, double) override {
    const auto b = beamngDatagram(m);
    send(b.data(), b.size());
  }
};

class Lfs final : public DatagramGame {
 public:
  Lfs() : DatagramGame(4123, 100.0) {}
  // The library looks for the game's process before it listens.
  std::string executable() const override { return "LFS.exe"; }
  void publish(const Motion& m, double time) override {
    const auto b = lfsPacket(m, time);
    send(b.data(), b.size());
  }
};

// The telemetry server: request frames ("N" type id size data "L") are
// answered in order, a telemetry request (type 5) with the newest frame, any
// other request with an OK frame (type 1).
class NoLimits2 final : public Game {
 public:
  ~NoLimits2() override {
    for (auto& c : clients_) net::closeSocket(c.socket);
    if (listener_ != net::kInvalidSocket) net::closeSocket(listener_);
  }

  bool open(std::string* error) override {
    listener_ = net::openStreamSocket();
    const bool ok = listener_ != net::kInvalidSocket && net::setReuseAddress(listener_) &&
                    net::bindSocket(listener_, {net::kLoopbackAddress, 15151}) && net::listenSocket(listener_, 8) &&
                    net::setNonBlocking(listener_);
    if (!ok) *error = "cannot serve TCP port 15151";
    return ok;
  }

  void publish(const Motion& m, double) override {
    motion_ = m;
    ++frame_;  // one frame of the coaster per update
  }

  void serve() override {
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
      answer(c);
      if (gone) {
        net::closeSocket(c.socket);
        clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        ++i;
      }
    }
  }

  double rate() const override { return 100.0; }

 private:
  struct Client {
    net::SocketHandle socket;
    std::vector<std::uint8_t> pending;
  };

  void answer(Client& c) {
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
      if (type == 5) {
        const auto reply = noLimits2Reply(motion_, frame_, id);
        net::sendBytes(c.socket, reply.data(), reply.size());
      } else {
        const std::uint8_t ok[10] = {'N', 0, 1, std::uint8_t(id >> 24), std::uint8_t(id >> 16),
                                     std::uint8_t(id >> 8), std::uint8_t(id), 0, 0, 'L'};
        net::sendBytes(c.socket, ok, sizeof ok);
      }
    }
  }

  net::SocketHandle listener_ = net::kInvalidSocket;
  std::vector<Client> clients_;
  Motion motion_{};
  std::int32_t frame_ = 0;
};

}  // namespace

std::unique_ptr<Game> makeNetworkGame(const GameOptions& o) {
  if (o.name == "wrc") return std::make_unique<Wrc>();
  if (o.name == "beamng") return std::make_unique<BeamNg>();
  if (o.name == "lfs") return std::make_unique<Lfs>();
  if (o.name == "nolimits2") return std::make_unique<NoLimits2>();
  return nullptr;
}

}  // namespace gamesim
