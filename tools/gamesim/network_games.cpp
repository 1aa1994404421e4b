// gamesim's network games: WRC, BeamNG and LFS send the drive as datagrams to
// their local ports, NoLimits 2 serves it from its telemetry server.
#include "network_games.h"

#include <vector>

#include "games.h"
#include "platform/sockets.h"
#include "request_server.h"

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
  bool publishesTheDrive() const override { return false; }
  bool open(std::string* error) override {
    const bool ok = server_.open(15151);
    if (!ok) *error = "cannot serve TCP port 15151";
    return ok;
  }

  void publish(const Motion& m, double) override {
    motion_ = m;
    ++frame_;  // one frame of the coaster per update
  }

  void serve() override {
    server_.serve([this](net::SocketHandle socket, std::uint16_t type, std::uint32_t id) {
      if (type == 5) {
        const auto reply = noLimits2Reply(motion_, frame_, id);
        net::sendBytes(socket, reply.data(), reply.size());
      } else {
        const std::uint8_t ok[10] = {'N', 0, 1, std::uint8_t(id >> 24), std::uint8_t(id >> 16),
                                     std::uint8_t(id >> 8), std::uint8_t(id), 0, 0, 'L'};
        net::sendBytes(socket, ok, sizeof ok);
      }
    });
  }

  double rate() const override { return 100.0; }

 private:
  RequestServer server_;
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
