#include "sources/udp_reader.h"

#include <cstdio>

#include "sources/probes.h"

namespace kinevra {

namespace {
constexpr auto kAdd = GravityDirection::AddToAcceleration;
constexpr auto kRemove = GravityDirection::RemoveFromAcceleration;
}  // namespace

UdpReaderSetup udpReaderSetup(int id) {
  switch (id) {
    case 0:  // X-Plane
      return {UdpProbe::DatagramThenProcess, UdpReading::OneDatagram, MeterStep::AfterAccepted, 41, 0, kRemove};
    case 1:  // DCS
      return {UdpProbe::ProcessThenDatagram, UdpReading::OneDatagram, MeterStep::AfterAccepted, 1, 0, kRemove};
    case 5:  // DiRT Rally 2: its pitch runs the other way
      return {UdpProbe::DatagramOnly, UdpReading::OneDatagram, MeterStep::AfterAccepted, 1, 0, kAdd, true};
    case 6:  // Condor
      return {UdpProbe::DatagramOnly, UdpReading::OneDatagram, MeterStep::AfterAccepted, 41, 0, kAdd};
    case 7:  // F1
      return {UdpProbe::ProcessThenDatagram, UdpReading::AllQueued, MeterStep::EveryCall, 1, 0, kRemove};
    case 11:  // WRC
      return {UdpProbe::DatagramOnly, UdpReading::OneDatagram, MeterStep::AfterAccepted, 1, 0, kAdd};
    case 12:  // BeamNG
      return {UdpProbe::DatagramOnly, UdpReading::AllQueued, MeterStep::EveryCall, 1, 0, kRemove};
    default:  // 13, LFS
      return {UdpProbe::ProcessThenDatagram, UdpReading::UntilShort, MeterStep::EveryCall, 1, 280, kAdd};
  }
}

UdpReader::UdpReader(int gameId, Clock& clock, const UdpReaderSetup& setup)
    : GameReader(gameId, clock, setup.gravity, setup.negateLongitudinal), setup_(setup) {}

void UdpReader::setSender(const platform::Ipv4Endpoint& from) {
  formatIpv4(from.address, senderAddress, sizeof senderAddress);
}

bool UdpReader::probe() {
  switch (setup_.probe) {
    case UdpProbe::DatagramThenProcess:
      return probeUdpPort(*this, port()) == 1 && gameProcessRunning();
    case UdpProbe::ProcessThenDatagram:
      return gameProcessRunning() && probeUdpPort(*this, port()) == 1;
    case UdpProbe::DatagramOnly:
      return probeUdpPort(*this, port()) == 1;
  }
  return false;
}

int UdpReader::attach() { return socket_.openPort(port()) ? 1 : 0; }

void UdpReader::detach() { socket_.closePort(); }

std::int64_t UdpReader::receive() {
  const platform::SocketHandle s = socket_.getSocket();
  if (s == platform::kInvalidSocket) return -1;
  // The socket is non-blocking: with nothing queued this returns at once.
  platform::Ipv4Endpoint from;
  const std::int64_t n = platform::receiveFrom(s, buffer_.data(), buffer_.size(), &from);
  if (n >= 0) setSender(from);
  return n;
}

bool UdpReader::convert(const std::uint8_t*, std::size_t, double*) { return false; }

int UdpReader::update(double* gameData) {
  if (setup_.meter == MeterStep::EveryCall) stepMeter(gameData);
  beginRead();
  std::int64_t n = receive();
  if (n < 0 || static_cast<std::size_t>(n) <= setup_.acceptAbove) return 0;
  if (setup_.meter == MeterStep::AfterAccepted) stepMeter(gameData);

  bool taken = false;
  switch (setup_.reading) {
    case UdpReading::OneDatagram:
      taken = convert(buffer_.data(), static_cast<std::size_t>(n), gameData);
      break;
    case UdpReading::AllQueued:
      for (int i = 1;; ++i) {
        taken = convert(buffer_.data(), static_cast<std::size_t>(n), gameData) || taken;
        if (i >= kMaxDatagramsPerUpdate || (n = receive()) < 0) break;
      }
      break;
    case UdpReading::UntilShort:
      // An accepted datagram too short to carry values ends the read; it is
      // an update all the same (the game is there, its values unchanged).
      if (static_cast<std::size_t>(n) < setup_.valueLength) taken = true;
      for (int i = 1; static_cast<std::size_t>(n) >= setup_.valueLength; ++i) {
        taken = convert(buffer_.data(), setup_.valueLength, gameData) || taken;
        if (i >= kMaxDatagramsPerUpdate || (n = receive()) < 0) break;
      }
      break;
  }
  return taken ? finishUpdate(gameData) : 0;
}

}  // namespace kinevra
