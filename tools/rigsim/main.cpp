// rigsim: stands in for the motion controller on a serial line. Natively it
// makes a pseudo-terminal and links its other end where the library looks
// for a COM port; on either system it can also serve a real port, or be a
// controller on the network (UDP).
//
//   rigsim (--pty LINK | --port N | --udp GROUP:PORT --to HOST:PORT)
//          [--reply A|B|X|none] [--trailer lfcr|crc]
//          [--answers N] [--delay-ms N] [--stale N] [--log FILE]
//          [--commands FILE] [--messages FILE] [--seconds N]
//          [--interface ADDR] [--status-ms N] [--version N]
//
//   --pty       make a pseudo-terminal; its other end is linked at LINK (e.g.
//               a folder named by KINEVRA_COM_DIR, file "com5")
//   --port      serve the real port COMN (250000 baud 8N1)
//   --reply     answer to an identification request: reply A (default), reply
//               B, a wrong id X, or no answer
//   --trailer   LF CR (default) or the CRC after the reply
//   --answers   answer at most N requests (default: every one)
//   --delay-ms  wait this long before answering
//   --stale     send N old bytes (an unfinished frame) just before the reply
//   --log       one line per event: "rx F9 lfcr|crc-ok|crc-bad <hex>",
//               "rx junk <hex>", "tx reply", "tx F8", "tx F8 #N", "ready",
//               "closed"
//   --commands  a file read line by line as it grows: "send F9|F8|FA|FB [N]"
//               sends a frame of that kind (CRC trailer), or N of them, each
//               with a running number in bytes 2..5 (little-endian, counted
//               over rigsim's life); "number K" numbers the next frames from
//               K on; "junk N" sends N random bytes (a controller gone mad);
//               "close" drops the line
//   --messages  one line per frame received, for analysis: "NS KIND STATUS
//               HEX" (NS the steady clock in ns; KIND F9, F8, FA, FB, FC for
//               the rig message, or junk; STATUS lfcr, crc-ok, crc-bad, or -
//               for junk); rig messages also decoded
//
// Besides the controller's own frame kinds it recognises the rig output
// message FC FC (36 bytes, LF CR or CRC trailer) that the host sends.
//   --seconds   how long to run (default 120; SIGTERM or SIGINT, on Windows
//               the starter's stop event, end it sooner)
//
// UDP mode: each datagram is one message; its frames are checked as on the
// line, and bytes left at a datagram's end are junk.
//   --udp       join the multicast group GROUP (dotted IPv4) and receive
//               what the library's multicast sender sends to PORT
//   --interface the local address of the interface that joins, or auto
//               (default): the active wired Ethernet adapter with the lowest
//               metric, the one the library's sender picks
//   --to        where the controller's frames go: the library's UDP listener
//   --status-ms send an F9 status frame (CRC trailer) every N ms, so that the
//               library counts the link as valid (default 100; 0: never)
//   --version   the status frames are version reports of this version (e.g. 328)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "link/crc16.h"
#include "link/serial_frame.h"
#include "platform/adapters.h"
#include "platform/pseudo_terminal.h"
#include "platform/serial_port.h"
#include "platform/sockets.h"
#include "udp/multicast_address.h"
#include "stop_request.h"

namespace {

using namespace kinevra;

struct Options {
  std::string ptyLink;
  int port = 0;
  char reply = 'A';
  bool crcTrailer = false;
  long answers = -1;
  int delayMs = 0;
  int stale = 0;
  std::string log;
  std::string commands;
  std::string messages;
  int seconds = 120;
  // UDP mode
  std::string udpGroup;  // GROUP:PORT
  std::string udpTo;     // HOST:PORT
  std::string udpInterface;
  int statusMs = 100;
  int version = -1;
};

// The first IPv4 address of the active Ethernet adapter with the lowest
// metric (the first of equals), as the library's multicast sender chooses.
bool preferredAdapter(std::uint32_t& address) {
  std::uint32_t best = 2147483647u;
  bool found = false;
  for (const platform::Adapter& a : platform::listAdapters().adapters) {
    if (a.operStatus != platform::kOperStatusUp || a.ifType != platform::kIfTypeEthernet || a.ipv4Metric >= best) continue;
    best = a.ipv4Metric;
    found = false;
    for (const auto& u : a.unicast)
      if (u.ipv4) {
        address = u.address;
        found = true;
        break;
      }
  }
  return found;
}

// "a.b.c.d:port"
bool parseEndpoint(const std::string& text, platform::Ipv4Endpoint& out) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  const auto address = parseDottedIpv4(std::string_view(text).substr(0, colon));
  const long port = std::strtol(text.c_str() + colon + 1, nullptr, 10);
  if (!address || port <= 0 || port > 65535) return false;
  out = {*address, static_cast<std::uint16_t>(port)};
  return true;
}

std::string packedHex(const std::uint8_t* p, std::size_t n) {
  std::string s;
  char b[3];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, "%02X", p[i]);
    s += b;
  }
  return s;
}

// The rig message's values: little-endian floats, big-endian belt and wind.
std::string decodedRigMessage(const std::uint8_t* p) {
  static const char* const axes[] = {"sway", "surge", "heave", "yaw", "roll", "pitch"};
  std::string s;
  char b[48];
  for (int i = 0; i < 6; ++i) {
    const std::uint8_t* f = p + 2 + 4 * i;
    const std::uint32_t bits = std::uint32_t(f[0]) | std::uint32_t(f[1]) << 8 | std::uint32_t(f[2]) << 16 |
                               std::uint32_t(f[3]) << 24;
    float v;
    std::memcpy(&v, &bits, 4);
    std::snprintf(b, sizeof b, " %s=%.9g", axes[i], static_cast<double>(v));
    s += b;
  }
  auto be = [](const std::uint8_t* q) {
    return std::uint32_t(q[0]) << 24 | std::uint32_t(q[1]) << 16 | std::uint32_t(q[2]) << 8 | std::uint32_t(q[3]);
  };
  std::snprintf(b, sizeof b, " belt=%lu wind=%lu", static_cast<unsigned long>(be(p + 26)),
                static_cast<unsigned long>(be(p + 30)));
  return s + b;
}

long long steadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// One side of the line: the pseudo-terminal or a real port.
class Line {
 public:
  bool open(const Options& o) {
    if (!o.udpGroup.empty()) return openUdp(o);
    if (!o.ptyLink.empty()) {
      if (!pty_.open()) return false;
      std::error_code ec;
      std::filesystem::remove(o.ptyLink, ec);
      std::filesystem::create_symlink(pty_.peerPath(), o.ptyLink, ec);
      return !ec;
    }
    if (!port_.open(o.port) || !port_.setLine({}) || !port_.setTotalTimeouts(50, 1000)) return false;
    usePort_ = true;
    return true;
  }
  std::int64_t read(std::uint8_t* buf, std::size_t size) {
    if (udp_ != platform::kInvalidSocket) {
      // One datagram, or nothing after 5 ms.
      if (platform::waitReadable(udp_, 5000) != 1) return 0;
      const std::int64_t n = platform::receiveFrom(udp_, buf, size, nullptr);
      return n < 0 ? 0 : n;  // a datagram too long for us is dropped
    }
    if (!usePort_) return pty_.read(buf, size, 50);
    std::size_t got = 0;
    // A port's read waits for all bytes: take what waits, or one byte.
    std::uint32_t waiting = 0;
    if (!port_.bytesWaiting(&waiting)) return -1;
    const std::size_t want = waiting ? (waiting < size ? waiting : size) : 1;
    return port_.read(buf, want, &got) ? static_cast<std::int64_t>(got) : -1;
  }
  bool write(const std::uint8_t* data, std::size_t size) {
    if (udp_ != platform::kInvalidSocket)
      return platform::sendTo(udp_, data, size, to_) == static_cast<std::int64_t>(size);
    if (!usePort_) return pty_.write(data, size);
    std::size_t n = 0;
    return port_.write(data, size, &n) && n == size;
  }
  void close() {
    pty_.close();
    port_.close();
    if (udp_ != platform::kInvalidSocket) {
      platform::closeSocket(udp_);
      udp_ = platform::kInvalidSocket;
      platform::stopSockets();
    }
  }
  bool datagrams() const { return udp_ != platform::kInvalidSocket; }

 private:
  bool openUdp(const Options& o) {
    platform::Ipv4Endpoint group;
    if (!parseEndpoint(o.udpGroup, group) || !parseEndpoint(o.udpTo, to_)) return false;
    std::uint32_t local = platform::kAnyAddress;
    if (o.udpInterface.empty() || o.udpInterface == "auto") {
      if (!preferredAdapter(local)) {
        std::fprintf(stderr, "rigsim: no active wired Ethernet adapter to join the group on\n");
        return false;
      }
    } else {
      const auto a = parseDottedIpv4(o.udpInterface);
      if (!a) return false;
      local = *a;
    }
    if (platform::startSockets() != 0) return false;
    udp_ = platform::openDatagramSocket();
    // The group's port on every address (a sender on this machine may be
    // another test's), joined on the given interface; frames to the
    // listener leave from it too.
    if (udp_ == platform::kInvalidSocket || !platform::setReuseAddress(udp_) ||
        !platform::bindSocket(udp_, {platform::kAnyAddress, group.port}) ||
        !platform::joinMulticastGroup(udp_, group.address, local)) {
      std::fprintf(stderr, "rigsim: cannot join %s: error %d\n", o.udpGroup.c_str(), platform::lastSocketError());
      close();
      return false;
    }
    return true;
  }

  platform::SocketHandle udp_ = platform::kInvalidSocket;
  platform::Ipv4Endpoint to_;
  platform::PseudoTerminal pty_;
  platform::SerialDevice port_;
  bool usePort_ = false;
};

class Log {
 public:
  explicit Log(const std::string& path) {
    if (!path.empty()) f_ = std::fopen(path.c_str(), "a");
  }
  ~Log() {
    if (f_) std::fclose(f_);
  }
  void line(const std::string& text) {
    if (!f_) return;
    std::fprintf(f_, "%s\n", text.c_str());
    std::fflush(f_);
  }

 private:
  std::FILE* f_ = nullptr;
};

std::string hex(const std::uint8_t* p, std::size_t n) {
  std::string s;
  char b[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, i ? " %02X" : "%02X", p[i]);
    s += b;
  }
  return s;
}

// The rig output message of the host (not a controller frame).
constexpr SerialFrame kRigOutput{0xFC, 36, true};

// A kind of frame the line carries in either direction, or null.
const SerialFrame* kindOf(std::uint8_t marker) {
  return marker == kRigOutput.kind ? &kRigOutput : SerialFrame::byKind(marker);
}

// A frame of the kind; with a number, that number in bytes 2..5.
std::vector<std::uint8_t> frameOf(std::uint8_t kind, const std::uint32_t* number = nullptr) {
  const SerialFrame* f = SerialFrame::byKind(kind);
  std::vector<std::uint8_t> m(f ? f->length : 8, 0);
  m[0] = m[1] = kind;
  for (std::size_t i = 2; i + 2 < m.size(); ++i) m[i] = static_cast<std::uint8_t>(i);
  if (number)
    for (int b = 0; b < 4; ++b) m[2 + b] = static_cast<std::uint8_t>(*number >> (8 * b));
  applyFrameCrc(m.data(), m.size());
  return m;
}

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return false;
    const std::string v = argv[++i];
    if (a == "--pty") o.ptyLink = v;
    else if (a == "--port") o.port = std::atoi(v.c_str());
    else if (a == "--reply") o.reply = v == "none" ? 'N' : v.empty() ? 'A' : v[0];
    else if (a == "--trailer") o.crcTrailer = v == "crc";
    else if (a == "--answers") o.answers = std::atol(v.c_str());
    else if (a == "--delay-ms") o.delayMs = std::atoi(v.c_str());
    else if (a == "--stale") o.stale = std::atoi(v.c_str());
    else if (a == "--log") o.log = v;
    else if (a == "--commands") o.commands = v;
    else if (a == "--messages") o.messages = v;
    else if (a == "--seconds") o.seconds = std::atoi(v.c_str());
    else if (a == "--udp") o.udpGroup = v;
    else if (a == "--to") o.udpTo = v;
    else if (a == "--interface") o.udpInterface = v;
    else if (a == "--status-ms") o.statusMs = std::atoi(v.c_str());
    else if (a == "--version") o.version = std::atoi(v.c_str());
    else return false;
  }
  if (!o.udpGroup.empty()) return !o.udpTo.empty();
  return !o.ptyLink.empty() || o.port > 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: rigsim (--pty LINK | --port N | --udp GROUP:PORT --to HOST:PORT) [options]; see the "
                 "source's head\n");
    return 2;
  }
  Log log(o.log);
  Log messages(o.messages);
  const kinevra_tools::StopRequest stop;
  Line line;
  if (!line.open(o)) {
    std::fprintf(stderr, "rigsim: cannot open the line\n");
    return 1;
  }
  log.line("ready");
  auto nextStatus = std::chrono::steady_clock::now();
  std::uint32_t statusNumber = 0;

  std::vector<std::uint8_t> in;
  static std::uint8_t buf[65536];  // a whole datagram
  std::streamoff commandsRead = 0;
  long answered = 0;
  std::uint32_t sentNumber = 0;
  std::mt19937 junkBytes(12345);
  bool open = true;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(o.seconds);
  while (std::chrono::steady_clock::now() < end && !stop.requested()) {
    if (!o.commands.empty()) {
      std::ifstream c(o.commands);
      c.seekg(commandsRead);
      std::string cmd;
      while (c && std::getline(c, cmd)) {
        if (c.eof()) break;  // a line still being written
        commandsRead = c.tellg();
        if (cmd == "close" && open) {
          line.close();
          open = false;
          log.line("closed");
        } else if (cmd.rfind("number ", 0) == 0) {
          sentNumber = static_cast<std::uint32_t>(std::strtoul(cmd.c_str() + 7, nullptr, 10));
        } else if (cmd.rfind("junk ", 0) == 0 && open) {
          const long count = std::strtol(cmd.c_str() + 5, nullptr, 10);
          std::vector<std::uint8_t> junk(count > 0 ? static_cast<std::size_t>(count) : 0);
          for (auto& b : junk) b = static_cast<std::uint8_t>(junkBytes());
          line.write(junk.data(), junk.size());
          log.line("tx junk " + std::to_string(junk.size()));
        } else if (cmd.rfind("send ", 0) == 0 && open) {
          char* rest = nullptr;
          const auto kind = static_cast<std::uint8_t>(std::strtoul(cmd.c_str() + 5, &rest, 16));
          const long count = std::strtol(rest, nullptr, 10);
          if (count <= 0) {
            const auto m = frameOf(kind);
            line.write(m.data(), m.size());
            log.line("tx " + cmd.substr(5));
          }
          for (long k = 0; k < count; ++k) {
            const auto m = frameOf(kind, &sentNumber);
            line.write(m.data(), m.size());
            log.line("tx " + cmd.substr(5, 2) + " #" + std::to_string(sentNumber++));
          }
        }
      }
    }
    if (!open) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    if (line.datagrams() && o.statusMs > 0 && std::chrono::steady_clock::now() >= nextStatus) {
      nextStatus += std::chrono::milliseconds(o.statusMs);
      std::uint8_t status[8] = {0xF9, 0xF9, 0x03, 0x00, 0, 0, kLf, kCr};
      for (int b = 0; b < 2; ++b) status[4 + b] = static_cast<std::uint8_t>(statusNumber >> (8 * b));
      if (o.version >= 0) {
        // The version report: byte 5 x 100 + byte 4.
        status[2] = 0x02;
        status[4] = static_cast<std::uint8_t>(o.version % 100);
        status[5] = static_cast<std::uint8_t>(o.version / 100);
      }
      ++statusNumber;
      applyFrameCrc(status, sizeof status);
      line.write(status, sizeof status);
    }
    const std::int64_t n = line.read(buf, sizeof buf);
    const std::string readAt = std::to_string(steadyNs());  // when these bytes arrived
    if (n < 0) {
      log.line("line failed");
      break;
    }
    in.insert(in.end(), buf, buf + n);
    // Frames: two equal marker bytes of a known kind, then the trailer.
    std::size_t i = 0;
    while (i < in.size()) {
      const SerialFrame* f = in.size() - i >= 2 && in[i] == in[i + 1] ? kindOf(in[i]) : nullptr;
      if (!f) {
        std::size_t j = i + 1;
        while (j < in.size() && !(kindOf(in[j]))) ++j;
        if (j == in.size() && in.size() - i < 2 && kindOf(in[i])) break;  // a marker may follow
        log.line("rx junk " + hex(&in[i], j - i));
        messages.line(readAt + " junk - " + packedHex(&in[i], j - i));
        i = j;
        continue;
      }
      if (in.size() - i < f->length) break;  // wait for the rest
      const std::uint8_t* p = &in[i];
      const std::size_t t = f->trailerAt();
      const std::uint16_t crc = crc16(p, t);
      // A CRC that happens to be 0x0D0A reads as the LF CR trailer too: the
      // CRC decides (one frame in 65536 would otherwise look wrong).
      const char* how = (p[t] == (crc & 0xFF) && p[t + 1] == (crc >> 8)) ? "crc-ok"
                        : p[t] == kLf && p[t + 1] == kCr                  ? "lfcr"
                                                                          : "crc-bad";
      char kind[8];
      std::snprintf(kind, sizeof kind, "%02X", f->kind);
      log.line(std::string("rx ") + kind + " " + how + " " + hex(p, f->length));
      messages.line(readAt + " " + kind + " " + how + " " + packedHex(p, f->length) +
                    (f->kind == kRigOutput.kind ? decodedRigMessage(p) : std::string()));
      const bool request = f->kind == 0xF9 && p[2] == 1 && p[3] == 0 && p[4] == 0 && p[5] == 0;
      i += f->length;
      if (request && o.reply != 'N' && (o.answers < 0 || answered < o.answers)) {
        ++answered;
        if (o.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(o.delayMs));
        std::vector<std::uint8_t> out;
        for (int s = 0; s < o.stale; ++s) out.push_back(static_cast<std::uint8_t>(0xF8 - (s % 2)));  // never a frame
        std::uint8_t reply[8] = {0xF9, 0xF9, 0x01, 0x00,
                                 static_cast<std::uint8_t>(o.reply == 'B' ? 2 : o.reply == 'A' ? 1 : 7), 0x00, kLf, kCr};
        if (o.crcTrailer) applyFrameCrc(reply, sizeof reply);
        out.insert(out.end(), reply, reply + 8);
        line.write(out.data(), out.size());
        log.line("tx reply " + hex(reply, 8));
      }
    }
    in.erase(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(i));
    if (line.datagrams() && !in.empty()) {
      // A datagram's unfinished frame gets no second half.
      log.line("rx junk " + hex(in.data(), in.size()));
      messages.line(readAt + " junk - " + packedHex(in.data(), in.size()));
      in.clear();
    }
  }
  line.close();
  if (!o.ptyLink.empty()) {
    std::error_code ec;
    std::filesystem::remove(o.ptyLink, ec);
  }
  return 0;
}
