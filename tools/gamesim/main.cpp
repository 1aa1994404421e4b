// gamesim: stands in for a game. Run it under a game's executable name (copy
// or link the binary) and it publishes what the game would, for as long as it
// runs: named shared memory blocks with given contents, datagrams sent to a
// local UDP port, and a local TCP telemetry server that answers requests.
//
//   gamesim [--game NAME [--at SECONDS] [--steps N] [game options]]
//   gamesim --game NAME --replay FILE.csv [--skip-bad-rows] [--ready PATH]
//   gamesim --game NAME --print-executable
//           [--shm NAME:SIZE]... [--set NAME:OFFSET:TYPE:VALUE]...
//           [--udp PORT] [--payload HEX | --payload-file PATH]
//           [--interval MS] [--count N]
//           [--tcp PORT] [--reply HEX | --reply-file PATH] [--tcp-silent]
//           [--event NAME]... [--seconds N] [--ready PATH]
//
//   --game         play a game, driving the scripted loop of drive.h (the
//                  flight simulators fly the circuit of flight.h): in shared
//                  memory ac (Assetto Corsa: physics and graphics pages),
//                  acevo (the physics page only), r3e, pcars2, iracing, rf2
//                  (the plug-in block), scs; as datagrams to the game's port
//                  xplane, dcs, dirt, condor, f1, wrc, beamng, lfs; as the
//                  telemetry server on 127.0.0.1:15151 nolimits2
//   --print-executable  print the executable name the game runs under (an
//                  empty line when the library looks for none) and exit
//   --replay       play a recording of kinevra-host --record (FILE.csv) as the
//                  game instead of the drive, each row at its recorded time,
//                  then end; a recording with a bad row is refused with its
//                  line and column, unless --skip-bad-rows skips (and counts)
//                  such rows. Not for the flight simulators, which fly a
//                  script of their own.
//   --at           hold the drive at this moment of the loop (the game keeps
//                  updating its counters, ticks and clock)
//   --steps        stop updating after N updates (the blocks stay)
//   --stamps PATH  note every update of the drive as it is published: a line
//                  "NS LATERAL LONGITUDINAL VERTICAL", the steady clock in
//                  nanoseconds and the car's three speeds (m/s, as floats,
//                  without sign), by which the update is known again in the
//                  library's telemetry
//   game options   --graphics-size N (ac), --r3e-version MAJOR.MINOR,
//                  --r3e-in-menus, --pcars2-size N, --rf2-not-ready,
//                  --f1-format 2023|2024
//   --shm          create a block of SIZE bytes (zero-filled)
//   --set          write VALUE at byte OFFSET of block NAME; TYPE is i32, f32
//                  or f64
//   --udp          send datagrams to 127.0.0.1:PORT
//   --payload      the datagram's bytes in hex (default: 64 bytes, "gamesim"
//                  and zeros); --payload-file takes them from a file
//   --interval     milliseconds between datagrams (default 5)
//   --count        stop sending after N datagrams (the process keeps running)
//   --tcp          serve request frames ("N" type id size data "L") on
//                  127.0.0.1:PORT: a telemetry request (type 5) is answered
//                  with the --reply bytes (default: an empty type-6 frame),
//                  any other request with an OK frame (type 1)
//   --tcp-silent   accept connections but never answer
//   --event        create a named event (Windows; nothing on Linux)
//   --seconds      how long to run (default 60; SIGTERM or SIGINT, on Windows
//                  the starter's stop event, end it sooner)
//   --ready        create this file once everything is published
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "games.h"
#include "replay.h"
#include "platform/named_event.h"
#include "platform/shared_memory.h"
#include "platform/sockets.h"
#include "request_server.h"
#include "stop_request.h"

namespace {

using kinevra::platform::SharedMemory;

struct Block {
  SharedMemory memory;
  void* view = nullptr;
  std::size_t size = 0;
};

namespace net = kinevra::platform;

int fail(const std::string& what) {
  std::fprintf(stderr, "gamesim: %s\n", what.c_str());
  return 2;
}

bool parseHex(const std::string& hex, std::vector<std::uint8_t>* out) {
  if (hex.size() % 2 != 0) return false;
  out->clear();
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const auto digit = [](char c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    const int hi = digit(hex[i]), lo = digit(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out->push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  return true;
}

bool readFile(const std::string& path, std::vector<std::uint8_t>* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

std::array<std::uint8_t, 10> frame(std::uint16_t type, std::uint32_t id) {
  return {'N', std::uint8_t(type >> 8), std::uint8_t(type), std::uint8_t(id >> 24), std::uint8_t(id >> 16),
          std::uint8_t(id >> 8), std::uint8_t(id), 0, 0, 'L'};
}

// The TCP telemetry server of --tcp: a telemetry request (type 5) is answered
// with the --reply bytes (or an OK frame of type 6), any other with type 1;
// --tcp-silent answers nothing.
struct TcpServer {
  gamesim::RequestServer requests;
  std::vector<std::uint8_t> reply;
  bool silent = false;

  bool open(std::uint16_t port) { return requests.open(port); }
  void serve() {
    requests.serve([this](net::SocketHandle socket, std::uint16_t type, std::uint32_t id) {
      if (silent) return;
      if (type == 5 && !reply.empty()) {
        net::sendBytes(socket, reply.data(), reply.size());
      } else {
        const auto f = frame(type == 5 ? 6 : 1, id);
        net::sendBytes(socket, f.data(), f.size());
      }
    });
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::unique_ptr<Block>> blocks;
  double seconds = 60;
  std::string ready;
  int udpPort = -1, tcpPort = -1;
  std::vector<std::uint8_t> payload;
  bool payloadGiven = false;
  double intervalMs = 5;
  long long count = -1;
  TcpServer server;
  std::vector<std::unique_ptr<kinevra::platform::NamedEvent>> events;
  gamesim::GameOptions gameOptions;
  double holdAt = -1;
  long long steps = -1;
  bool printExecutable = false;
  std::string stampsPath;
  std::string replayFile;
  bool skipBadRows = false;
  bool secondsGiven = false;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--game" && hasValue) {
      gameOptions.name = argv[++i];
    } else if (arg == "--at" && hasValue) {
      holdAt = std::strtod(argv[++i], nullptr);
    } else if (arg == "--stamps" && hasValue) {
      stampsPath = argv[++i];
    } else if (arg == "--steps" && hasValue) {
      steps = std::atoll(argv[++i]);
    } else if (arg == "--graphics-size" && hasValue) {
      gameOptions.graphicsSize = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--r3e-version" && hasValue) {
      if (std::sscanf(argv[++i], "%d.%d", &gameOptions.r3eMajor, &gameOptions.r3eMinor) != 2)
        return fail("--r3e-version wants MAJOR.MINOR");
    } else if (arg == "--r3e-in-menus") {
      gameOptions.r3eInMenus = true;
    } else if (arg == "--pcars2-size" && hasValue) {
      gameOptions.pcars2Size = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--rf2-not-ready") {
      gameOptions.rf2NotReady = true;
    } else if (arg == "--f1-format" && hasValue) {
      gameOptions.f1Format = std::atoi(argv[++i]);
      if (gameOptions.f1Format != 2023 && gameOptions.f1Format != 2024) return fail("--f1-format wants 2023 or 2024");
    } else if (arg == "--replay" && hasValue) {
      replayFile = argv[++i];
    } else if (arg == "--skip-bad-rows") {
      skipBadRows = true;
    } else if (arg == "--print-executable") {
      printExecutable = true;
    } else if (arg == "--shm" && hasValue) {
      // Block names never contain ':'; the size follows the last one.
      const std::string option = argv[++i];
      const auto cut = option.rfind(':');
      if (cut == std::string::npos) return fail("--shm wants NAME:SIZE");
      const std::string name = option.substr(0, cut);
      const std::size_t size = std::strtoull(option.c_str() + cut + 1, nullptr, 10);
      auto b = std::make_unique<Block>();
      if (!b->memory.createOrOpen(name, size)) return fail("cannot create " + name);
      b->view = b->memory.mapWrite(size);
      if (!b->view) return fail("cannot map " + name);
      b->size = b->memory.viewSize();
      blocks[name] = std::move(b);
    } else if (arg == "--set" && hasValue) {
      const std::string option = argv[++i];
      // NAME:OFFSET:TYPE:VALUE, NAME taken up to the third ':' from the end.
      const auto v = option.rfind(':');
      const auto t = v == std::string::npos ? v : option.rfind(':', v - 1);
      const auto o = t == std::string::npos || t == 0 ? std::string::npos : option.rfind(':', t - 1);
      if (o == std::string::npos) return fail("--set wants NAME:OFFSET:TYPE:VALUE");
      const std::string name = option.substr(0, o);
      const std::size_t offset = std::strtoull(option.substr(o + 1, t - o - 1).c_str(), nullptr, 10);
      const std::string type = option.substr(t + 1, v - t - 1);
      const std::string value = option.substr(v + 1);
      auto it = blocks.find(name);
      if (it == blocks.end()) return fail("no block " + name);
      Block& b = *it->second;
      auto* base = static_cast<unsigned char*>(b.view);
      if (type == "i32" && offset + 4 <= b.size) {
        const auto x = static_cast<std::int32_t>(std::strtol(value.c_str(), nullptr, 10));
        std::memcpy(base + offset, &x, 4);
      } else if (type == "f32" && offset + 4 <= b.size) {
        const float x = std::strtof(value.c_str(), nullptr);
        std::memcpy(base + offset, &x, 4);
      } else if (type == "f64" && offset + 8 <= b.size) {
        const double x = std::strtod(value.c_str(), nullptr);
        std::memcpy(base + offset, &x, 8);
      } else {
        return fail("bad --set " + option);
      }
    } else if (arg == "--udp" && hasValue) {
      udpPort = std::atoi(argv[++i]);
    } else if (arg == "--payload" && hasValue) {
      if (!parseHex(argv[++i], &payload)) return fail("--payload wants hex bytes");
      payloadGiven = true;
    } else if (arg == "--payload-file" && hasValue) {
      if (!readFile(argv[++i], &payload)) return fail("cannot read the payload file");
      payloadGiven = true;
    } else if (arg == "--interval" && hasValue) {
      intervalMs = std::strtod(argv[++i], nullptr);
    } else if (arg == "--count" && hasValue) {
      count = std::atoll(argv[++i]);
    } else if (arg == "--tcp" && hasValue) {
      tcpPort = std::atoi(argv[++i]);
    } else if (arg == "--reply" && hasValue) {
      if (!parseHex(argv[++i], &server.reply)) return fail("--reply wants hex bytes");
    } else if (arg == "--reply-file" && hasValue) {
      if (!readFile(argv[++i], &server.reply)) return fail("cannot read the reply file");
    } else if (arg == "--event" && hasValue) {
      auto e = std::make_unique<kinevra::platform::NamedEvent>();
      if (!e->create(argv[++i])) return fail("cannot create the event");
      events.push_back(std::move(e));
    } else if (arg == "--tcp-silent") {
      server.silent = true;
    } else if (arg == "--seconds" && hasValue) {
      seconds = std::strtod(argv[++i], nullptr);
      secondsGiven = true;
    } else if (arg == "--ready" && hasValue) {
      ready = argv[++i];
    } else {
      return fail("unknown argument " + arg);
    }
  }

  if (printExecutable) {
    const auto named = gamesim::makeGame(gameOptions);
    if (!named) return fail("unknown game " + gameOptions.name);
    std::printf("%s\n", named->executable().c_str());
    return 0;
  }

  std::vector<gamesim::ReplayRow> replay;
  if (!replayFile.empty()) {
    if (gameOptions.name.empty()) return fail("--replay needs --game NAME");
    const auto named = gamesim::makeGame(gameOptions);
    if (!named) return fail("unknown game " + gameOptions.name);
    if (!named->playsMotion()) return fail(gameOptions.name + " flies a script of its own and cannot replay a drive");
    std::string error, note;
    try {
      if (!gamesim::loadReplay(replayFile, skipBadRows, replay, error, note)) return fail(error);
    } catch (const std::bad_alloc&) {
      return fail(replayFile + ": too large to replay");
    }
    if (!note.empty()) std::fprintf(stderr, "gamesim: %s\n", note.c_str());
    // To the recording's end, unless told otherwise.
    if (!secondsGiven) seconds = replay.back().time - replay.front().time + 0.5;
  }

  if (net::startSockets() != 0) return fail("cannot start the socket library");
  net::SocketHandle sender = net::kInvalidSocket;
  if (udpPort >= 0) {
    sender = net::openDatagramSocket();
    if (sender == net::kInvalidSocket) return fail("cannot open a UDP socket");
    if (!payloadGiven) {
      payload.assign(64, 0);
      const char tag[] = "gamesim";
      std::memcpy(payload.data(), tag, sizeof tag - 1);
    }
  }
  if (tcpPort >= 0 && !server.open(static_cast<std::uint16_t>(tcpPort)))
    return fail("cannot serve TCP port " + std::to_string(tcpPort));

  using Clock = std::chrono::steady_clock;
  std::unique_ptr<gamesim::Game> game;
  if (!gameOptions.name.empty()) {
    game = gamesim::makeGame(gameOptions);
    if (!game) return fail("unknown game " + gameOptions.name);
    std::string error;
    if (!game->open(&error)) return fail(error);
  }
  const auto started = Clock::now();
  const auto driveTime = [&] {
    return holdAt >= 0 ? holdAt : std::chrono::duration<double>(Clock::now() - started).count();
  };
  const auto simulationTime = [&] { return std::chrono::duration<double>(Clock::now() - started).count(); };
  std::FILE* stamps = nullptr;
  if (!stampsPath.empty() && game && game->publishesTheDrive()) {
    stamps = std::fopen(stampsPath.c_str(), "w");
    if (!stamps) return fail("cannot write " + stampsPath);
  }
  const auto publish = [&] {
    const double t = driveTime();
    game->publishAt(t, simulationTime());
    if (!stamps) return;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
    const gamesim::Motion m = gamesim::driveAt(t);
    const auto key = [](double v) { return static_cast<double>(std::fabs(static_cast<float>(v))); };
    std::fprintf(stamps, "%lld %.9g %.9g %.9g\n", static_cast<long long>(ns), key(m.lateralSpeed),
                 key(m.longitudinalSpeed), key(m.verticalSpeed));
  };
  // The replay: the row last published.
  std::size_t replayed = 0;
  if (game && !replay.empty()) {
    game->publish(replay.front().motion, simulationTime());
  } else if (game && steps != 0) {
    // The first update is there before anyone is told the game runs.
    publish();
    if (steps > 0) --steps;
  }

  if (!ready.empty()) std::ofstream(ready) << "ready\n";

  const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  const auto interval = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(intervalMs));
  auto nextSend = Clock::now();
  const auto gamePeriod = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(game ? 1.0 / game->rate() : 1.0));
  auto nextUpdate = Clock::now() + gamePeriod;
  // Asked to end, the loop ends and everything is released in order: on
  // Linux that removes the blocks this process created, everywhere it closes
  // the sockets.
  const kinevra_tools::StopRequest stop;
  while (Clock::now() < end && !stop.requested()) {
    if (sender != net::kInvalidSocket && count != 0 && Clock::now() >= nextSend) {
      // Nobody may be listening yet; a refused datagram is simply lost.
      net::sendTo(sender, payload.data(), payload.size(), {net::kLoopbackAddress, static_cast<std::uint16_t>(udpPort)});
      if (count > 0) --count;
      nextSend += interval;
      if (nextSend < Clock::now()) nextSend = Clock::now();
    }
    if (!replay.empty()) {
      // Every row at its recorded time; rows that fell due together leave
      // only the last (a game's block holds one state at a time).
      const double due = replay.front().time + simulationTime();
      std::size_t next = replayed;
      while (next + 1 < replay.size() && replay[next + 1].time <= due) ++next;
      if (next != replayed) {
        replayed = next;
        game->publish(replay[replayed].motion, simulationTime());
      }
      if (replayed + 1 == replay.size() && simulationTime() >= replay.back().time - replay.front().time + 0.5) break;
    } else if (game && steps != 0 && Clock::now() >= nextUpdate) {
      publish();
      if (steps > 0) --steps;
      nextUpdate += gamePeriod;
      if (nextUpdate < Clock::now()) nextUpdate = Clock::now();
    }
    server.serve();
    if (game) game->serve();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (game) game->close();
  if (stamps) std::fclose(stamps);
  if (!replay.empty())
    std::printf("gamesim: replayed %zu of %zu rows of %s\n", replayed + 1, replay.size(), replayFile.c_str());
  if (sender != net::kInvalidSocket) net::closeSocket(sender);
  return 0;
}
