// fsimsim: stands in for the flight simulator's client interface. Run it
// under the simulator's executable name ("FlightSimulator.exe",
// "FlightSimulator2024.exe") and it serves clients over the named pipe
// (Linux: its abstract Unix-domain socket) and over TCP on the loopback
// addresses, speaking the simulator's wire protocol: it answers the open,
// records data definitions, streams the scripted flight of flight.h for a
// requested definition every simulation frame, and on command sends events,
// quits, exceptions, or misbehaves.
//
//   fsimsim [--pipe NAME | --no-pipe] [--tcp4 PORT] [--tcp6 PORT]
//           [--frame-ms N] [--at SECONDS] [--rate X] [--commands PATH]
//           [--log PATH] [--ready PATH] [--seconds N]
//
//   --pipe      serve "\\.\pipe\NAME" (default "Microsoft Flight
//               Simulator\SimConnect", the simulator's own)
//   --no-pipe   no pipe
//   --tcp4/6    listen on 127.0.0.1 / ::1 at PORT (0: a free port)
//   --frame-ms  milliseconds per simulation frame (default 10)
//   --at        hold the flight at this moment of its loop
//   --rate      the flight's clock runs X times as fast as the real one
//               (default 1): a whole circuit in a short demo
//   --commands  watch for this file: when it appears its lines are carried
//               out on every connection and the file is removed (write it
//               elsewhere and rename it into place). Commands:
//                 event NAME [DATA]  the subscribed event (id 4)
//                 quit               the quit message (id 3)
//                 exception CODE     an exception (id 1) for the last request
//                 split              the next data message in three writes
//                 merge              the next two data messages in one write
//                 prefix N           16 bytes whose length prefix is N
//                 big N              a well-formed message of N bytes (id 99)
//                 cut                half a data message, then close
//                 reset              reset the TCP connection (pipe: close)
//                 close              close the connection
//                 pause / resume     stop / restart the data stream
//                 at SECONDS         hold the flight at this moment (-1: fly on)
//                 fly SECONDS        fly on from this moment of the loop, now
//                                    (for every connection, later ones too)
//   --log       append a line for everything clients did ("connect tcp4",
//               "open NAME", "define 0 NAME UNITS TYPE", "request 0 0 0 3",
//               "subscribe 7 Quit", "closed")
//   --ready     written once serving: "pipe NAME", "tcp4 PORT", "tcp6 PORT"
//   --seconds   how long to run (default 300; SIGTERM or SIGINT, on Windows
//               the starter's stop event, end it sooner)
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "flight.h"
#include "platform/sockets.h"
#include "platform/stream_server.h"
#include "stop_request.h"

namespace {

namespace pf = kinevra::platform;
using Clock = std::chrono::steady_clock;

struct Options {
  std::string pipe = "Microsoft Flight Simulator\\SimConnect";
  bool noPipe = false;
  int tcp4 = -1, tcp6 = -1;
  int frameMs = 10;
  double at = -1;
  double rate = 1;
  std::string commands, log, ready;
  int seconds = 300;
};

Options gOptions;
const Clock::time_point gStart = Clock::now();

// The flight's clock: the moment of the loop at a real moment, then on at
// the --rate.
struct FlightClock {
  double from = 0;
  Clock::time_point since = gStart;
  bool restarted = false;
};
std::mutex gFlightLock;
FlightClock gFlight;

// True once a "fly" command has set the clock going: a connection made
// later flies too rather than holding at --at.
bool flownOn() {
  std::lock_guard<std::mutex> hold(gFlightLock);
  return gFlight.restarted;
}

double flightTime() {
  std::lock_guard<std::mutex> hold(gFlightLock);
  return gFlight.from + gOptions.rate * std::chrono::duration<double>(Clock::now() - gFlight.since).count();
}
std::mutex gLogLock;

void logLine(const std::string& line) {
  if (gOptions.log.empty()) return;
  std::lock_guard<std::mutex> g(gLogLock);
  // A reader of the file may hold it for a moment (Windows): try again.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::ofstream out(gOptions.log, std::ios::app | std::ios::binary);  // "\n" on both systems
    if (out && (out << line << "\n") && out.flush()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void put32(std::vector<unsigned char>& m, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) m[at + i] = static_cast<unsigned char>(v >> (8 * i));
}
std::uint32_t get32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::string text(const unsigned char* field) {
  return std::string(reinterpret_cast<const char*>(field), ::strnlen(reinterpret_cast<const char*>(field), 256));
}

// A message as the simulator lays it out: size, version, id, then the body.
std::vector<unsigned char> message(std::uint32_t id, std::size_t size) {
  std::vector<unsigned char> m(size, 0);
  put32(m, 0, static_cast<std::uint32_t>(size));
  put32(m, 4, 5);
  put32(m, 8, id);
  return m;
}

// Commands for every connection, in order.
std::mutex gCommandLock;
std::vector<std::string> gCommands;  // all commands so far; each connection keeps its place

struct Datum {
  std::string name, units;
  std::uint32_t type = 4;
};

class Connection {
 public:
  Connection(pf::StreamHandle h, pf::StreamKind kind) : h_(h), kind_(kind) { takeCommandsFromNow(); }

  void run() {
    std::vector<unsigned char> in;
    unsigned char buf[65536];
    auto nextFrame = Clock::now();
    while (open_) {
      const int wait = static_cast<int>(
          std::max<long long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(nextFrame - Clock::now()).count()));
      const int r = pf::serverWaitReadable(h_, kind_, wait);
      if (r < 0) break;
      if (r > 0) {
        const std::int64_t n = pf::serverReceive(h_, kind_, buf, sizeof buf);
        if (n <= 0) break;
        in.insert(in.end(), buf, buf + n);
        if (!parse(in)) break;
      }
      if (Clock::now() >= nextFrame) {
        nextFrame += std::chrono::milliseconds(gOptions.frameMs);
        if (Clock::now() > nextFrame) nextFrame = Clock::now();
        applyCommands();
        if (open_) frame();
      }
    }
    if (open_) pf::serverClose(h_, kind_);
    logLine("closed");
  }

 private:
  bool send(const std::vector<unsigned char>& m) {
    if (!pf::serverSend(h_, kind_, m.data(), m.size())) {
      open_ = false;
      pf::serverClose(h_, kind_);
      return false;
    }
    return true;
  }

  void closeNow(bool abort) {
    pf::serverClose(h_, kind_, abort);
    open_ = false;
  }

  void exception(std::uint32_t code, std::uint32_t sendId, std::uint32_t index) {
    auto m = message(1, 24);
    put32(m, 12, code);
    put32(m, 16, sendId);
    put32(m, 20, index);
    send(m);
  }

  // Takes every whole message the client sent; false closes (a broken stream).
  bool parse(std::vector<unsigned char>& in) {
    std::size_t pos = 0;
    while (in.size() - pos >= 4) {
      const std::uint32_t size = get32(&in[pos]);
      if (size < 16 || size > 65536) {
        logLine("bad message size " + std::to_string(size));
        return false;
      }
      if (in.size() - pos < size) break;
      handle(&in[pos], size);
      pos += size;
    }
    in.erase(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(pos));
    return open_;
  }

  void handle(const unsigned char* m, std::uint32_t size) {
    const std::uint32_t version = get32(m + 4), type = get32(m + 8), sendId = get32(m + 12);
    lastSendId_ = sendId;
    const auto need = [&](std::uint32_t n) {
      if (size >= n) return true;
      exception(2, sendId, 0);  // size mismatch
      return false;
    };
    switch (type) {
      case 0xF0000001: {  // open
        if (!need(296)) return;
        logLine("open " + text(m + 16) + " version " + std::to_string(version) + " send " + std::to_string(sendId));
        // Commands given from here on are for this client: one that has its
        // open reply is sure to get them.
        takeCommandsFromNow();
        logLine("commands seen " + std::to_string(commandsSeen_));
        auto r = message(2, 308);
        const char name[] = "KittyHawk";
        std::memcpy(&r[12], name, sizeof name);
        const std::uint32_t v[] = {11, 0, 62651, 3, 11, 0, 62651, 3, 0, 0};
        for (int i = 0; i < 10; ++i) put32(r, 268 + 4 * i, v[i]);
        send(r);
        break;
      }
      case 0xF000000C: {  // add to data definition
        if (!need(544)) return;
        const std::uint32_t def = get32(m + 16);
        Datum d{text(m + 20), text(m + 276), get32(m + 532)};
        logLine("define " + std::to_string(def) + " " + d.name + " | " + d.units + " | " + std::to_string(d.type) +
                " send " + std::to_string(sendId));
        definitions_[def].push_back(d);
        break;
      }
      case 0xF000000E: {  // request data on a simulation object
        if (!need(48)) return;
        Request q{get32(m + 16), get32(m + 20), get32(m + 24), get32(m + 28)};
        logLine("request " + std::to_string(q.request) + " " + std::to_string(q.define) + " " +
                std::to_string(q.object) + " " + std::to_string(q.period) + " send " + std::to_string(sendId));
        if (!definitions_.count(q.define)) {
          exception(3, sendId, 2);  // unrecognised id
          return;
        }
        requests_[q.request] = q;
        break;
      }
      case 0xF0000017: {  // subscribe to a system event
        if (!need(276)) return;
        const std::uint32_t id = get32(m + 16);
        const std::string name = text(m + 20);
        logLine("subscribe " + std::to_string(id) + " " + name + " send " + std::to_string(sendId));
        events_[name] = id;
        break;
      }
      default:
        logLine("unknown type " + std::to_string(type));
        exception(3, sendId, 0);
    }
  }

  struct Request {
    std::uint32_t request, define, object, period;
    bool sentOnce = false;
  };

  std::vector<unsigned char> data(const Request& q) {
    const auto& defs = definitions_[q.define];
    const double t = at_ >= 0 ? at_ : flightTime();
    const fsimsim::FlightState s = fsimsim::flightAt(t);
    std::size_t size = 40;
    for (const Datum& d : defs) size += d.type == 1 || d.type == 3 ? 4 : 8;
    auto m = message(8, size);
    put32(m, 12, q.request);
    put32(m, 16, 1);  // the user's aircraft
    put32(m, 20, q.define);
    put32(m, 24, 0);  // flags
    put32(m, 28, 1);  // entry 1
    put32(m, 32, 1);  // out of 1
    put32(m, 36, static_cast<std::uint32_t>(defs.size()));
    std::size_t at = 40;
    for (const Datum& d : defs) {
      double v = 0;
      fsimsim::flightValue(s, d.name, &v);
      if (d.type == 1) {  // 32-bit integer
        put32(m, at, static_cast<std::uint32_t>(static_cast<std::int32_t>(v)));
        at += 4;
      } else if (d.type == 3) {  // 32-bit float
        float f = static_cast<float>(v);
        std::memcpy(&m[at], &f, 4);
        at += 4;
      } else if (d.type == 2) {  // 64-bit integer
        const auto i = static_cast<std::int64_t>(v);
        std::memcpy(&m[at], &i, 8);
        at += 8;
      } else {  // 64-bit float (and anything else)
        std::memcpy(&m[at], &v, 8);
        at += 8;
      }
    }
    return m;
  }

  // One simulation frame: data for every request due.
  void frame() {
    if (++frames_ % 100 == 0) logLine("frame " + std::to_string(frames_));
    if (paused_) return;
    for (auto& [id, q] : requests_) {
      if (q.period == 0 || (q.period == 1 && q.sentOnce)) continue;
      if (q.period == 4 && ++secondTicks_ * gOptions.frameMs < 1000) continue;
      if (q.period == 4) secondTicks_ = 0;
      q.sentOnce = true;
      std::vector<unsigned char> m = data(q);
      if (split_) {
        split_ = false;
        // The length prefix torn, then the rest in two pieces.
        const std::size_t cuts[] = {2, 30, m.size()};
        std::size_t from = 0;
        for (std::size_t to : cuts) {
          if (!pf::serverSend(h_, kind_, m.data() + from, to - from)) return closeNow(false);
          from = to;
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        logLine("sent split");
      } else if (merge_ > 0) {
        merged_.insert(merged_.end(), m.begin(), m.end());
        if (--merge_ == 0) {
          send(merged_);
          merged_.clear();
          logLine("sent merged");
        }
      } else if (cut_) {
        pf::serverSend(h_, kind_, m.data(), m.size() / 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        logLine("sent cut");
        return closeNow(false);
      } else {
        send(m);
      }
      if (!open_) return;
    }
  }

  void takeCommandsFromNow() {
    std::lock_guard<std::mutex> g(gCommandLock);
    commandsSeen_ = gCommands.size();
  }

  void applyCommands() {
    std::vector<std::string> fresh;
    {
      std::lock_guard<std::mutex> g(gCommandLock);
      fresh.assign(gCommands.begin() + static_cast<std::ptrdiff_t>(commandsSeen_), gCommands.end());
      commandsSeen_ = gCommands.size();
    }
    for (const std::string& line : fresh) {
      if (!open_) return;
      logLine("command " + line);
      std::istringstream in(line);
      std::string cmd;
      in >> cmd;
      if (cmd == "event") {
        std::string name;
        std::uint32_t value = 0;
        in >> name >> value;
        auto it = events_.find(name);
        if (it == events_.end()) continue;
        auto m = message(4, 24);
        put32(m, 12, 0xFFFFFFFF);  // no group: a system event
        put32(m, 16, it->second);
        put32(m, 20, value);
        send(m);
      } else if (cmd == "quit") {
        send(message(3, 12));
      } else if (cmd == "exception") {
        std::uint32_t code = 1;
        in >> code;
        exception(code, lastSendId_, 0);
      } else if (cmd == "split") {
        split_ = true;
      } else if (cmd == "merge") {
        merge_ = 2;
      } else if (cmd == "prefix") {
        long long n = 0;
        in >> n;
        auto m = message(99, 16);
        put32(m, 0, static_cast<std::uint32_t>(n));
        send(m);
      } else if (cmd == "big") {
        std::size_t n = 16;
        in >> n;
        send(message(99, n < 12 ? 12 : n));
      } else if (cmd == "cut") {
        cut_ = true;
      } else if (cmd == "reset") {
        closeNow(true);
      } else if (cmd == "close") {
        closeNow(false);
      } else if (cmd == "pause") {
        paused_ = true;
      } else if (cmd == "resume") {
        paused_ = false;
      } else if (cmd == "at") {
        in >> at_;
      } else if (cmd == "fly") {
        double from = 0;
        in >> from;
        at_ = -1;
        std::lock_guard<std::mutex> hold(gFlightLock);
        gFlight = {from, Clock::now(), true};
      }
    }
  }

  pf::StreamHandle h_;
  pf::StreamKind kind_;
  bool open_ = true;
  std::size_t commandsSeen_ = 0;
  std::map<std::uint32_t, std::vector<Datum>> definitions_;
  std::map<std::uint32_t, Request> requests_;
  std::map<std::string, std::uint32_t> events_;
  std::uint32_t lastSendId_ = 0;
  double at_ = flownOn() ? -1 : gOptions.at;
  int secondTicks_ = 0;
  long long frames_ = 0;
  bool paused_ = false, split_ = false, cut_ = false;
  int merge_ = 0;
  std::vector<unsigned char> merged_;
};

void serve(pf::StreamListener* listener, const std::string& label) {
  for (;;) {
    const pf::StreamHandle c = listener->accept();
    if (c == pf::kInvalidStream) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    logLine("connect " + label);
    std::thread([c, kind = listener->kind()] { Connection(c, kind).run(); }).detach();
  }
}

int fail(const std::string& what) {
  std::fprintf(stderr, "fsimsim: %s\n", what.c_str());
  return 2;
}

void writeReady(const std::string& path, const std::string& content) {
  const std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::trunc);
    out << content;
  }
  std::error_code ec;
  std::filesystem::rename(tmp, path, ec);
}

}  // namespace

int main(int argc, char** argv) {
  Options& o = gOptions;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--pipe") o.pipe = value();
    else if (a == "--no-pipe") o.noPipe = true;
    else if (a == "--tcp4") o.tcp4 = std::atoi(value().c_str());
    else if (a == "--tcp6") o.tcp6 = std::atoi(value().c_str());
    else if (a == "--frame-ms") o.frameMs = std::max(1, std::atoi(value().c_str()));
    else if (a == "--at") o.at = std::atof(value().c_str());
    else if (a == "--rate") o.rate = std::atof(value().c_str());
    else if (a == "--commands") o.commands = value();
    else if (a == "--log") o.log = value();
    else if (a == "--ready") o.ready = value();
    else if (a == "--seconds") o.seconds = std::atoi(value().c_str());
    else return fail("unknown option " + a);
  }
  if (!(o.rate > 0 && o.rate <= 1000)) return fail("--rate wants a number above 0, at most 1000");
  if (pf::startSockets() != 0) return fail("the socket library did not start");

  std::string ready;
  pf::StreamListener pipe, tcp4, tcp6;
  if (!o.noPipe) {
    if (!pipe.listenPipe("\\\\.\\pipe\\" + o.pipe)) return fail("cannot serve the pipe " + o.pipe);
    ready += "pipe " + o.pipe + "\n";
    std::thread(serve, &pipe, "pipe").detach();
  }
  if (o.tcp4 >= 0) {
    if (!tcp4.listenTcp(false, static_cast<std::uint16_t>(o.tcp4))) return fail("cannot listen on 127.0.0.1");
    ready += "tcp4 " + std::to_string(tcp4.port()) + "\n";
    std::thread(serve, &tcp4, "tcp4").detach();
  }
  if (o.tcp6 >= 0) {
    if (!tcp6.listenTcp(true, static_cast<std::uint16_t>(o.tcp6))) return fail("cannot listen on ::1");
    ready += "tcp6 " + std::to_string(tcp6.port()) + "\n";
    std::thread(serve, &tcp6, "tcp6").detach();
  }
  if (!o.ready.empty()) writeReady(o.ready, ready);

  const auto end = Clock::now() + std::chrono::seconds(o.seconds);
  const kinevra_tools::StopRequest stop;
  while (Clock::now() < end && !stop.requested()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (o.commands.empty() || !std::filesystem::exists(o.commands)) continue;
    std::vector<std::string> lines;
    {
      std::ifstream in(o.commands);
      for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
      }
    }
    // A file that cannot be read yet (under Windows a rename into place can
    // hold it for a moment) is read again on the next turn; every command
    // file has a line.
    if (lines.empty()) continue;
    std::error_code ec;
    if (!std::filesystem::remove(o.commands, ec)) continue;  // taken once it is gone
    std::lock_guard<std::mutex> g(gCommandLock);
    gCommands.insert(gCommands.end(), lines.begin(), lines.end());
    logLine("commands taken: " + std::to_string(gCommands.size()));
  }
  // Connections and listeners end with the process.
  std::_Exit(0);
}
