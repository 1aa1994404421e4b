// Latency of the whole output path: from a telemetry update written into the
// game's shared memory ("Local\acpmf_physics", as Assetto Corsa writes it) to
// the rig message carrying it arriving at the controller's end of a
// pseudo-terminal. The benchmark plays the game (writes the page) and the
// controller (answers the identification, reads and times the messages); the
// engine's game-source thread and the serial bridge run as in the library.
//
// Uses the game's real block names: run it alone (no other engine test or
// game double at the same time).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "cueing/output_data.h"
#include "engine/gamesource.h"
#include "link/host_bridge.h"
#include "link/serial_discovery.h"
#include "platform/pseudo_terminal.h"
#include "platform/realtime.h"
#include "platform/shared_memory.h"
#include "rig_double.h"
#include "sources/block_formats.h"
#include "sources/game_values.h"
#include "sources/shared_memory_readers.h"

namespace {

using namespace kinevra;
using SteadyClock = std::chrono::steady_clock;

// The controller: answers the identification request and notes the newest
// lateral channel with the moment its message was complete.
class Controller {
 public:
  bool open(const std::filesystem::path& link) {
    if (!pty_.open()) return false;
    std::error_code ec;
    std::filesystem::create_symlink(pty_.peerPath(), link, ec);
    if (ec) return false;
    thread_ = std::thread([this] { run(); });
    return true;
  }
  ~Controller() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  // The newest channel 0 and when it arrived.
  std::pair<float, SteadyClock::time_point> latest() {
    std::lock_guard<std::mutex> hold(lock_);
    return {channel_, arrived_};
  }
  long messages() const { return messages_; }

 private:
  void run() {
    // Stands in for hardware that reads the wire as bytes come: with
    // real-time scheduling allowed (KINEVRA_REALTIME) it runs at the loops'
    // priority, so that the figures are the library's, not this thread's
    // wait for a core.
    platform::raiseThreadPriority();
    std::vector<std::uint8_t> in;
    std::uint8_t buf[4096];
    while (!stop_) {
      const std::int64_t n = pty_.read(buf, sizeof buf, 20);
      const auto now = SteadyClock::now();
      if (n <= 0) continue;
      in.insert(in.end(), buf, buf + n);
      std::size_t i = 0;
      while (in.size() - i >= 8) {
        if (in[i] == 0xF9 && in[i + 1] == 0xF9) {
          if (in[i + 2] == 0x01 && in[i + 4] == 0x00) {
            const std::uint8_t reply[8] = {0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00, 0x0A, 0x0D};
            pty_.write(reply, sizeof reply);
          }
          i += 8;
        } else if (in[i] == 0xFC && in[i + 1] == 0xFC) {
          if (in.size() - i < kOutputDataBytes) break;
          const float v = output::floatLittleEndian(&in[i + kRigChannelOffset]);
          {
            std::lock_guard<std::mutex> hold(lock_);
            channel_ = v;
            arrived_ = now;
          }
          ++messages_;
          i += kOutputDataBytes;
        } else {
          ++i;
        }
      }
      in.erase(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }

  platform::PseudoTerminal pty_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  float channel_ = 0.0f;
  SteadyClock::time_point arrived_{};
  std::atomic<long> messages_{0};
};

// The game's physics page (and the graphics page saying a session is live).
class AcPages {
 public:
  bool open() {
    if (!graphics_.createOrOpen(blocks::kAcpmfGraphics, blocks::kAcpmfGraphicsSize)) return false;
    auto* g = static_cast<std::uint8_t*>(graphics_.mapWrite(blocks::kAcpmfGraphicsSize));
    if (!g) return false;
    const std::int32_t live = blocks::kAcpmfLive;
    std::memcpy(g + blocks::kAcpmfStatusOffset, &live, 4);
    if (!physics_.createOrOpen(blocks::kAcpmfPhysics, blocks::kAcpmfPhysicsSize)) return false;
    page_ = static_cast<std::uint8_t*>(physics_.mapWrite(blocks::kAcpmfPhysicsSize));
    return page_ != nullptr;
  }
  // A new update: the lateral acceleration in g, then the packet counter.
  void publish(float lateralG) {
    std::memcpy(page_ + acpmf::kAccG, &lateralG, 4);
    ++packet_;
    std::atomic_ref<std::int32_t>(*reinterpret_cast<std::int32_t*>(page_ + acpmf::kPacketId))
        .store(packet_, std::memory_order_release);
  }

 private:
  platform::SharedMemory physics_, graphics_;
  std::uint8_t* page_ = nullptr;
  std::int32_t packet_ = 0;
};

void BM_TelemetryToController(benchmark::State& state) {
  platform::PseudoTerminal probe;
  if (!probe.open()) {
    state.SkipWithError("no pseudo-terminals");
    return;
  }
  const int samples = static_cast<int>(state.range(0));
  test::ComFolder folder;
  Controller controller;
  AcPages game;
  if (!controller.open(folder.path() / "com5") || !game.open()) {
    state.SkipWithError("cannot set up the controller or the game's pages");
    return;
  }
  game.publish(0.0f);

  auto link = std::make_unique<LinkState>();
  CSerialPort port;
  test::FakeCatalog catalog;
  catalog.addPort(5);
  SerialDiscovery discovery(*link, port, catalog, systemClock());
  discovery.setStandartPort("COM5");
  HostBridge bridge(*link, port, discovery, systemClock());
  auto engine = std::make_unique<Gamesource>(systemClock(), nullptr, link.get());
  engine->poseMappingName = "Local\\motionRigPose-bench";
  engine->setInputDofLimit(0, -1000.0, 1000.0);
  engine->setRigDofLimit(0, -1000.0, 1000.0);

  std::thread bridgeThread([&] { bridge.startMMFtoSerial_Thread(); });
  auto cleanUp = [&] {
    engine->stopGameSource();
    bridge.stopMMFtoSerial_Thread();
    bridgeThread.join();
  };
  while (!link->bridgeRunning) std::this_thread::yield();
  if (bridge.resumeInterface() != 1) {
    cleanUp();
    state.SkipWithError("the controller was not identified");
    return;
  }
  engine->startThread();
  const auto deadline = SteadyClock::now() + std::chrono::seconds(60);
  while (!engine->attached && SteadyClock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  engine->setMotionSystemReady(1);
  // The fade-in (4 s) ends before anything is timed.
  while (engine->transitionStatus() < 100.0 && SteadyClock::now() < deadline + std::chrono::seconds(30)) {
    game.publish(0.001f * static_cast<float>(controller.messages() % 2));  // moving: never stale
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (engine->transitionStatus() < 100.0) {
    cleanUp();
    state.SkipWithError("the engine did not attach and fade in");
    return;
  }

  // The game's writes, like the controller's reads, must not wait for a
  // core behind the machine's other work: otherwise they happen whenever a
  // loop of the library lets a core go, in step with its cycle.
  platform::raiseThreadPriority();
  std::vector<double> latencies;
  latencies.reserve(static_cast<std::size_t>(samples));
  std::mt19937 random(12);
  std::uniform_int_distribution<int> pauseUs(0, 2000);  // updates at any phase of the cycles
  long lost = 0;
  for (auto _ : state) {
    latencies.clear();
    for (int k = 0; k < samples; ++k) {
      // Values 0.01 g apart, so each message says which update it carries.
      const float g = 0.01f * static_cast<float>(k % 200 + 1);
      const float expected = static_cast<float>(static_cast<double>(g) * kAcpmfGravity);
      const auto t0 = SteadyClock::now();
      game.publish(g);
      bool arrived = false;
      while (SteadyClock::now() - t0 < std::chrono::seconds(1)) {
        const auto [v, at] = controller.latest();
        if (v == expected && at >= t0) {
          latencies.push_back(std::chrono::duration<double, std::micro>(at - t0).count());
          arrived = true;
          break;
        }
        // The controller notes the arrival time itself; this only looks.
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      }
      if (!arrived) ++lost;
      std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(random)));
    }
  }
  cleanUp();

  if (latencies.empty()) {
    state.SkipWithError("no update reached the controller");
    return;
  }
  std::vector<double> s = latencies;
  std::sort(s.begin(), s.end());
  auto at = [&](double q) { return s[static_cast<std::size_t>(q * static_cast<double>(s.size() - 1))]; };
  double sum = 0;
  for (double v : s) sum += v;
  state.counters["samples"] = static_cast<double>(s.size());
  state.counters["lost"] = static_cast<double>(lost);
  state.counters["mean_us"] = sum / static_cast<double>(s.size());
  state.counters["min_us"] = s.front();
  state.counters["p50_us"] = at(0.5);
  state.counters["p90_us"] = at(0.9);
  state.counters["p99_us"] = at(0.99);
  state.counters["max_us"] = s.back();
  state.counters["over_3ms"] =
      static_cast<double>(std::count_if(s.begin(), s.end(), [](double v) { return v > 3000.0; }));
}
BENCHMARK(BM_TelemetryToController)->Arg(3000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
