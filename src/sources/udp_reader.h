#pragma once
// Reader of a game that sends its telemetry as UDP datagrams to a local port.
// The socket is bound from attach to detach; detection binds the port only
// for one short probe.
#include <array>
#include <cstddef>
#include <cstdint>

#include "sources/game_reader.h"
#include "udp/udp_socket.h"

namespace kinevra {

// How the game is recognised.
enum class UdpProbe {
  DatagramThenProcess,  // a datagram within the probe window, then the process
  ProcessThenDatagram,  // the process, and only then the probe
  DatagramOnly,
};
// How many datagrams one update takes.
enum class UdpReading {
  OneDatagram,  // one datagram per update
  AllQueued,    // everything queued
  UntilShort,   // queued datagrams while they are at least valueLength long
};
// When the update steps its interval meter.
enum class MeterStep {
  AfterAccepted,  // once a datagram has been accepted
  EveryCall,      // on every call, before receiving
};

struct UdpReaderSetup {
  UdpProbe probe;
  UdpReading reading;
  MeterStep meter;
  std::size_t acceptAbove;  // the first datagram must be longer than this
  std::size_t valueLength;  // UntilShort: the length that carries values
  GravityDirection gravity;
  bool negateLongitudinal = false;
};

// How each UDP game is recognised and read (GameIds 0, 1, 5, 6, 7, 11, 12, 13).
UdpReaderSetup udpReaderSetup(int gameId);

class UdpReader : public GameReader {
 public:
  // Datagrams of up to this size are received; longer ones are dropped.
  static constexpr std::size_t kReceiveBufferSize = 8192;
  // The probe keeps at most this much of the datagram it catches.
  static constexpr std::size_t kProbeReceiveSize = 5045;
  // An update stops draining after this many datagrams, so that a sender
  // faster than the cycle cannot hold the game-source thread.
  static constexpr int kMaxDatagramsPerUpdate = 1000;

  UdpReader(int gameId, Clock& clock, const UdpReaderSetup& setup);

  bool probe() override;
  int attach() override;
  int update(double* gameData) override;
  void detach() override;

  std::uint16_t port() const { return info().udpPort; }
  bool isOpen() const { return socket_.getSocket() != platform::kInvalidSocket; }

  // Left by the last probe: 1 when it caught a datagram.
  int datagramSeen = 0;
  // Sender of the last datagram received (probe or update), as text.
  char senderAddress[16] = "";
  // Where datagrams are received (the probe uses it too).
  std::uint8_t* receiveBuffer() { return buffer_.data(); }
  void setSender(const platform::Ipv4Endpoint& from);

 protected:
  // Takes one datagram as the game's telemetry and converts it into gameData;
  // true when it was taken. A reader without the game's datagram format
  // takes nothing, and its updates report no new data.
  virtual bool convert(const std::uint8_t* datagram, std::size_t length, double* gameData);
  // Called once at the start of every update, before receiving.
  virtual void beginRead() {}

 private:
  // One queued datagram into the buffer: its length, or -1 when none (or on
  // a receive error).
  std::int64_t receive();

  UdpReaderSetup setup_;
  UdpSocket socket_;
  std::array<std::uint8_t, kReceiveBufferSize> buffer_{};
};

}  // namespace kinevra
