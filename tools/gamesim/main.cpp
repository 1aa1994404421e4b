// gamesim: stands in for a game. Run it under a game's executable name (copy
// or link the binary) and it publishes what the game would: named shared
// memory blocks with given contents, for as long as it runs.
//
//   gamesim [--shm NAME:SIZE]... [--set NAME:OFFSET:TYPE:VALUE]...
//           [--seconds N] [--ready PATH]
//
//   --shm     create a block of SIZE bytes (zero-filled)
//   --set     write VALUE at byte OFFSET of block NAME; TYPE is i32, f32 or f64
//   --seconds how long to run (default 60)
//   --ready   create this file once everything is published
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/shared_memory.h"

namespace {

using kinevra::platform::SharedMemory;

struct Block {
  SharedMemory memory;
  void* view = nullptr;
  std::size_t size = 0;
};

int fail(const std::string& what) {
  std::fprintf(stderr, "gamesim: %s\n", what.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::unique_ptr<Block>> blocks;
  double seconds = 60;
  std::string ready;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--shm" && hasValue) {
      // Block names never contain ':'; the size follows the last one.
      const std::string spec = argv[++i];
      const auto cut = spec.rfind(':');
      if (cut == std::string::npos) return fail("--shm wants NAME:SIZE");
      const std::string name = spec.substr(0, cut);
      const std::size_t size = std::strtoull(spec.c_str() + cut + 1, nullptr, 10);
      auto b = std::make_unique<Block>();
      if (!b->memory.createOrOpen(name, size)) return fail("cannot create " + name);
      b->view = b->memory.mapWrite(size);
      if (!b->view) return fail("cannot map " + name);
      b->size = b->memory.viewSize();
      blocks[name] = std::move(b);
    } else if (arg == "--set" && hasValue) {
      const std::string spec = argv[++i];
      // NAME:OFFSET:TYPE:VALUE, NAME taken up to the third ':' from the end.
      const auto v = spec.rfind(':');
      const auto t = v == std::string::npos ? v : spec.rfind(':', v - 1);
      const auto o = t == std::string::npos || t == 0 ? std::string::npos : spec.rfind(':', t - 1);
      if (o == std::string::npos) return fail("--set wants NAME:OFFSET:TYPE:VALUE");
      const std::string name = spec.substr(0, o);
      const std::size_t offset = std::strtoull(spec.substr(o + 1, t - o - 1).c_str(), nullptr, 10);
      const std::string type = spec.substr(t + 1, v - t - 1);
      const std::string value = spec.substr(v + 1);
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
        return fail("bad --set " + spec);
      }
    } else if (arg == "--seconds" && hasValue) {
      seconds = std::strtod(argv[++i], nullptr);
    } else if (arg == "--ready" && hasValue) {
      ready = argv[++i];
    } else {
      return fail("unknown argument " + arg);
    }
  }

  if (!ready.empty()) std::ofstream(ready) << "ready\n";
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  return 0;
}
