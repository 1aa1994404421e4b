// kinevra-soak: the whole chain for a long time, with faults injected.
//
// gamesim plays a game, the library (loaded by name, as a host loads it)
// detects it and runs the motion cycle, the serial bridge writes the rig
// messages to rigsim, a motion controller on a pseudo-terminal found as COM5.
// Meanwhile host threads poll every getter, fetch and free both snapshot
// blocks, replace filter chains with valid and invalid texts, toggle motion
// cancel and its settings, send numbered messages to the controller and read
// the controller's numbered frames. The faults come one after the other, each
// once the rig has fresh poses again after the one before:
//
//   controller unplugged   rigsim killed (its pseudo-terminal vanishes), a
//                          new one on a new pseudo-terminal a second later
//   controller garbage     rigsim sends random bytes between its frames
//   shared-memory garbage  the game frozen, its pages overwritten with
//                          random bytes, the game let go on
//   game killed            gamesim killed, restarted half a second later
//   game switched          Assetto Corsa (shared memory) <-> X-Plane (UDP)
//   UDP game silent        X-Plane frozen for 3 s, longer than the engine's
//                          loss detection, then let go on
//   datagram garbage       random datagrams to X-Plane's port beside the game's
//
// After each fault it measures the time until the controller receives a
// valid rig message that the engine built after the fault ended (matched with
// the messages the host saw appear in getOutputData), and holds it against
// a bound. Throughout it checks every frame rigsim received (CRC, kind,
// finite values within the rig limits, no stray bytes), every numbered
// message in both directions, and this process's resident memory.
//
//   kinevra-soak [--seconds N] [--min-rounds N] [--max-seconds N]
//                [--library PATH] [--keep DIR] [--controller none]
//
// Exit code 0 when every check held, 1 when one failed, 2 for bad options.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "host_session.h"
#include "library_api.h"
#include "library_loader.h"
#include "link/crc16.h"
#include "platform/shared_memory.h"
#include "platform/sockets.h"
#include "soak_system.h"
#include "rig_message.h"
#include "rig_profile.h"
#include "rig_setup.h"
#include "soak_api.h"

namespace kinevra_soak {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using kinevra_host::ChildProcess;
using kinevra_host::kRigMessageBytes;
using kinevra_host::RigMessageBytes;

std::int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}
double seconds(std::int64_t ns) { return static_cast<double>(ns) / 1e9; }
void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::atomic<bool> interrupted{false};
extern "C" void onSignal(int) { interrupted = true; }

struct Options {
  double seconds = 1800;
  int minRounds = 0;         // run on until this many rounds of faults are done
  double maxSeconds = 0;     // and never longer than this (0: seconds + 300)
  std::string library;
  std::string keep;          // keep the logs in this folder
  bool controller = true;    // false: no controller (Windows has no pseudo-terminal)
};

// ---------------------------------------------------------------------------
// What the host saw appear in getOutputData: a ring of the newest messages.

class OutputRing {
 public:
  OutputRing() : entries_(kSize) {}
  void push(std::int64_t ns, const RigMessageBytes& m) {
    std::lock_guard<std::mutex> hold(lock_);
    entries_[next_ % kSize] = {ns, m};
    ++next_;
  }
  // Did the engine publish a message with these bytes 2..33 at or after since?
  bool publishedSince(const std::uint8_t* message, std::int64_t since) {
    std::lock_guard<std::mutex> hold(lock_);
    for (std::size_t k = 0; k < std::min(next_, kSize); ++k) {
      const Entry& e = entries_[(next_ - 1 - k) % kSize];
      if (e.ns < since) return false;
      if (std::memcmp(e.bytes.data() + 2, message + 2, 32) == 0) return true;
    }
    return false;
  }
  // The time of the first message published at or after since, or 0.
  std::int64_t firstSince(std::int64_t since) {
    std::lock_guard<std::mutex> hold(lock_);
    std::int64_t found = 0;
    for (std::size_t k = 0; k < std::min(next_, kSize); ++k) {
      const Entry& e = entries_[(next_ - 1 - k) % kSize];
      if (e.ns < since) break;
      found = e.ns;
    }
    return found;
  }
  // The telemetry in getGameData changed (the game's reader wrote new data).
  void telemetryChanged(std::int64_t ns) {
    std::lock_guard<std::mutex> hold(lock_);
    changes_[changeNext_ % kSize] = ns;
    ++changeNext_;
  }
  // The first change of the telemetry at or after since, or 0.
  std::int64_t firstTelemetrySince(std::int64_t since) {
    std::lock_guard<std::mutex> hold(lock_);
    std::int64_t found = 0;
    for (std::size_t k = 0; k < std::min(changeNext_, kSize); ++k) {
      const std::int64_t ns = changes_[(changeNext_ - 1 - k) % kSize];
      if (ns < since) break;
      found = ns;
    }
    return found;
  }

 private:
  static constexpr std::size_t kSize = 32768;  // over a minute of messages
  struct Entry {
    std::int64_t ns = 0;
    RigMessageBytes bytes{};
  };
  std::mutex lock_;
  std::vector<Entry> entries_;
  std::size_t next_ = 0;
  std::vector<std::int64_t> changes_ = std::vector<std::int64_t>(kSize);
  std::size_t changeNext_ = 0;
};

std::string hexOf(const RigMessageBytes& m) {
  std::string s;
  char b[4];
  for (std::uint8_t x : m) {
    std::snprintf(b, sizeof b, "%02X", x);
    s += b;
  }
  return s;
}

// A rig message's six axes are finite and within the rig's limits.
struct RigLimits {
  std::array<double, 6> low{}, high{};
};
bool validRigMessage(const std::uint8_t* p, std::size_t n, const RigLimits& limits) {
  kinevra_host::RigMessage m;
  if (n != kRigMessageBytes || !kinevra_host::decodeRigMessage(p, n, m)) return false;
  for (std::size_t a = 0; a < 6; ++a) {
    const double v = m.axes[a];
    if (!std::isfinite(v) || v < limits.low[a] || v > limits.high[a]) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Numbered messages. Host to controller: F8 messages with a running number
// in bytes 2..5, queued with sendMessagemmf. Controller to host: rigsim's
// numbered F8 frames, counted from a base of its own per rigsim instance.

constexpr std::size_t kF8Length = 38;
constexpr std::uint32_t kInstanceBase = 1000000;

// A number whose bytes would hold the LF CR that ends a host message.
bool endsEarly(std::uint32_t n) {
  std::uint8_t b[4];
  for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(n >> (8 * i));
  for (int i = 0; i < 3; ++i)
    if (b[i] == 0x0A && b[i + 1] == 0x0D) return true;
  return false;
}

std::uint32_t numberOf(const std::uint8_t* p) {
  return std::uint32_t(p[2]) | std::uint32_t(p[3]) << 8 | std::uint32_t(p[4]) << 16 | std::uint32_t(p[5]) << 24;
}

// Host messages accepted by sendMessagemmf and not yet seen at the controller.
class HostMessages {
 public:
  void accepted(std::uint32_t n, std::int64_t ns) {
    std::lock_guard<std::mutex> hold(lock_);
    pending_.push_back({n, ns});
    ++accepted_;
  }
  // One arrived at the controller: those accepted before it and still
  // missing are lost (a message never overtakes another).
  void arrived(std::uint32_t n) {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = std::find_if(pending_.begin(), pending_.end(), [n](const Pending& p) { return p.number == n; });
    if (it == pending_.end()) {
      ++outOfOrder_;  // twice, or after a later one
      return;
    }
    for (auto l = pending_.begin(); l != it; ++l) lost_.push_back(l->ns);
    ++delivered_;
    pending_.erase(pending_.begin(), it + 1);
  }
  // When the oldest message still on its way was accepted (0: none is).
  std::int64_t oldestPending() {
    std::lock_guard<std::mutex> hold(lock_);
    return pending_.empty() ? 0 : pending_.front().ns;
  }
  struct Figures {
    std::uint64_t accepted, delivered, outOfOrder, lostNearUnplug, lostElsewhere, neverArrived;
  };
  // Lost messages are excused only when they were accepted within the
  // second before an unplug began (or just after, before the bridge saw it):
  // they were on their way into the line that went.
  Figures figures(const std::vector<std::int64_t>& unplugs) {
    std::lock_guard<std::mutex> hold(lock_);
    Figures f{accepted_, delivered_, outOfOrder_, 0, 0, pending_.size()};
    for (std::int64_t ns : lost_) {
      const bool excused = std::any_of(unplugs.begin(), unplugs.end(), [ns](std::int64_t u) {
        return ns >= u - 1'000'000'000 && ns <= u + 200'000'000;
      });
      ++(excused ? f.lostNearUnplug : f.lostElsewhere);
    }
    return f;
  }

 private:
  struct Pending {
    std::uint32_t number;
    std::int64_t ns;
  };
  std::mutex lock_;
  std::deque<Pending> pending_;
  std::vector<std::int64_t> lost_;
  std::uint64_t accepted_ = 0, delivered_ = 0, outOfOrder_ = 0;
};

// The controller's numbered frames as the host read them, per rigsim instance.
class ControllerFrames {
 public:
  ControllerFrames() : instances_(4096) {}
  // What a rigsim instance sent, counted when it has gone.
  void commanded(std::size_t instance, std::uint32_t count) {
    std::lock_guard<std::mutex> hold(lock_);
    if (instance < instances_.size()) instances_[instance].commanded += count;
  }
  void read(std::uint32_t number) {
    std::lock_guard<std::mutex> hold(lock_);
    const std::size_t instance = number / kInstanceBase;
    if (instance >= instances_.size()) {
      ++strangers_;
      return;
    }
    Instance& i = instances_[instance];
    if (number % kInstanceBase != i.next) ++i.outOfOrder;
    i.next = number % kInstanceBase + 1;
    ++i.read;
  }
  void other() { ++others_; }
  struct Figures {
    std::uint64_t commanded = 0, read = 0, missing = 0, outOfOrder = 0, strangers = 0, others = 0;
  };
  Figures figures() {
    std::lock_guard<std::mutex> hold(lock_);
    Figures f;
    for (const Instance& i : instances_) {
      f.commanded += i.commanded;
      f.read += i.read;
      f.outOfOrder += i.outOfOrder;
      if (i.read < i.commanded) f.missing += i.commanded - i.read;
    }
    f.strangers = strangers_;
    f.others = others_;
    return f;
  }

 private:
  struct Instance {
    std::uint64_t commanded = 0, read = 0, outOfOrder = 0;
    std::uint32_t next = 0;
  };
  std::mutex lock_;
  std::vector<Instance> instances_;
  std::uint64_t strangers_ = 0;
  std::atomic<std::uint64_t> others_{0};
};

// ---------------------------------------------------------------------------
// The host: the library and its threads.

class Host {
 public:
  Host(const Options& o, const kinevra_host::RigProfile& profile, OutputRing& ring, HostMessages& sent,
       ControllerFrames& frames)
      : options_(o), profile_(profile), ring_(ring), sent_(sent), frames_(frames) {}

  bool load() {
    if (!lib_.open(options_.library.empty() ? nullptr : options_.library.c_str())) {
      std::fprintf(stderr, "kinevra-soak: cannot load the library: %s\n", lib_.error().c_str());
      return false;
    }
    lib_.keepForProcessLife();
    api_.load(lib_);
    extra_.load(lib_);
    if (!api_.missing.empty() || !extra_.missing.empty()) {
      std::fprintf(stderr, "kinevra-soak: the library lacks %s\n",
                   (api_.missing.empty() ? extra_.missing : api_.missing).front().c_str());
      return false;
    }
    std::vector<kinevra_host::ProfileMessage> errors, warnings;
    if (!kinevra_host::configureEngine(api_, profile_, errors, warnings)) {
      for (const auto& e : errors) std::fprintf(stderr, "kinevra-soak: %s\n", e.format().c_str());
      return false;
    }
    return true;
  }

  void start() {
    api_.startGamesource_Thread();
    kinevra_host::configureAfterStart(api_, profile_);
    if (options_.controller) {
      api_.disableAutoconnect();
      api_.setStandartPort("COM5");
      threads_.emplace_back([this] { api_.startMMFtoSerial_Thread(); });
    }
    threads_.emplace_back([this] { connector(); });
    threads_.emplace_back([this] { sampler(); });
    threads_.emplace_back([this] { poller(); });
    threads_.emplace_back([this] { snapshots(); });
    threads_.emplace_back([this] { settings(); });
    threads_.emplace_back([this] { messenger(); });
  }

  // Stops sending numbered messages (before the end, so that all can arrive).
  void quiet() { quiet_ = true; }

  void stop() {
    stop_ = true;
    api_.setMotionsystemready(0);
    api_.stopGamesource_Thread();
    if (options_.controller) api_.stopMMFtoSerial_Thread();
    for (auto& t : threads_) t.join();
    threads_.clear();
    // The last records, made before the engine stopped.
    takeSnapshots();
  }

  bool connected() const { return connected_; }
  // What the host threads found wrong, the first few of each kind with the
  // run time of their first sighting.
  std::vector<std::string> findings() {
    std::lock_guard<std::mutex> hold(findingsLock_);
    return findings_;
  }
  std::uint64_t motionCycles() const { return motionCycles_; }
  // Failures seen by the host threads.
  std::uint64_t badOutput() const { return badOutput_; }
  std::uint64_t badGameData() const { return badGameData_; }
  std::uint64_t badAnswers() const { return badAnswers_; }
  std::uint64_t calls() const { return calls_; }
  std::uint64_t filterTexts() const { return filterTexts_; }
  std::uint64_t refusedTexts() const { return refusedTexts_; }
  std::uint64_t snapshotBlocks() const { return snapshotBlocks_; }

 private:
  // Keeps a controller connected (the fixed port, tried again while it is
  // not) and declares the rig ready while it is, as a host does: a
  // controller that comes back is eased in by the engine's fade-in.
  void connector() {
    bool ready = false;
    while (!stop_) {
      const bool on = !options_.controller || api_.isConnected() == 1;
      if (on != ready) {
        api_.setMotionsystemready(on ? 1 : 0);
        ready = on;
      }
      connected_ = on;
      if (!on) api_.resumeInterface();  // three tries, 0.5 s apart
      sleepMs(5);
    }
  }

  // Every new rig message, as a host that graphs it would see it, and every
  // change of the game's telemetry.
  void sampler() {
    RigMessageBytes last{};
    const double* data = nullptr;
    int count = 0;
    api_.getGameData(&data, &count);
    std::array<double, 43> previous{};
    while (!stop_) {
      bool changed = false;
      for (int i = 0; data && i < count && i < 42; ++i) {  // 42: the belt mix, the engine's own
        const double v = kinevra_host::readShared(data + i);
        if (std::memcmp(&v, &previous[static_cast<std::size_t>(i)], sizeof v) != 0) changed = true;
        previous[static_cast<std::size_t>(i)] = v;
      }
      if (changed) ring_.telemetryChanged(nowNs());
      RigMessageBytes m{};
      api_.getOutputData(m.data());
      if (m != last) {
        ring_.push(nowNs(), m);
        last = m;
        // The engine's own copy: whole, finite, within the limits (or the
        // zeros before the first message).
        if (m[0] != 0 && !validRigMessage(m.data(), m.size(), limits())) note(badOutput_, "getOutputData: " + hexOf(m));
      }
      std::this_thread::sleep_for(std::chrono::microseconds(250));
    }
  }

  // Every getter, a thousand times a second.
  void poller() {
    const double* data = nullptr;
    int count = 0;
    api_.getGameData(&data, &count);
    const char* names = nullptr;
    int nameCount = 0;
    api_.getGameDataNames(&names, &nameCount);
    if (!data || count != 43 || !names || nameCount != 43 || extra_.getGameDataCount() != 44)
      note(badAnswers_, "getGameData/getGameDataNames/getGameDataCount");
    char name[64];
    while (!stop_) {
      const int id = api_.getGameID();
      std::memset(name, 0x55, sizeof name);
      api_.getGameName(name);
      if (id < -1 || id > 17 || std::memchr(name, 0, 21) == nullptr || name[21] != 0x55) note(badAnswers_, "getGameID " + std::to_string(id) + " or getGameName");
      const double frames[] = {api_.getGameTimeFrame(), api_.getMotionDataTimeFrame(), api_.getOutputTimeFrame(),
                               api_.getTransitionStatus(), api_.getProfilAirTransitionStatus(),
                               api_.getProfilGrdTransitionStatus()};
      for (double f : frames)
        if (!std::isfinite(f)) note(badAnswers_, "a time frame or transition status not finite");
      const int profile = api_.getactiveProfil();
      if (profile < -1 || profile > 1) note(badAnswers_, "getactiveProfil " + std::to_string(profile));
      for (int which = -1; which <= 4; ++which) {
        const double* cues = nullptr;
        int n = -1;
        api_.getMotionCueData(which, &cues, &n);
        if (which >= 0 && which <= 3 && (!cues || n != 23)) note(badAnswers_, "getMotionCueData(" + std::to_string(which) + ") count " + std::to_string(n));
      }
      // The readers write GameData only with finite numbers (item 42 is the
      // engine's belt sum, which carries an infinite component on).
      if (data && api_.getGameID() >= 0)
        for (int i = 0; i < count && i < 42; ++i)
          if (!std::isfinite(kinevra_host::readShared(data + i))) {
            note(badGameData_, "getGameData value " + std::to_string(i) + " = " + std::to_string(kinevra_host::readShared(data + i)) + " (game " + std::to_string(api_.getGameID()) + ")");
            break;
          }
      const double* pose = extra_.GetPositionSnapshot();
      if (!pose) note(badAnswers_, "GetPositionSnapshot null");
      if (api_.isConnected() < 0 || api_.isInterfaceRunning() < 0 || api_.newMessagemmf() < 0) note(badAnswers_, "isConnected/isInterfaceRunning/newMessagemmf");
      calls_ += 24;
      sleepMs(1);
    }
  }

  void takeSnapshots() {
    int n = -1;
    const double* calc = api_.GetCalculationSnapshots(&n);
    if ((calc == nullptr) != (n == 0) || n < 0 || n > 150) note(badAnswers_, "GetCalculationSnapshots count " + std::to_string(n));
    if (calc) motionCycles_ += static_cast<std::uint64_t>(n);
    api_.FreeCalculationSnapshots(calc);
    int m = -1;
    const double* accel = extra_.GetAccelerationSnapshots(&m);
    if ((accel == nullptr) != (m == 0) || m < 0 || m > 150) note(badAnswers_, "GetAccelerationSnapshots count " + std::to_string(m));
    extra_.FreeAccelerationSnapshots(accel);
    ++snapshotBlocks_;
  }

  // Both snapshot blocks, fetched and given back every 50 ms (within the
  // 0.3 s they hold, so the calculation records count every motion cycle).
  void snapshots() {
    while (!stop_) {
      takeSnapshots();
      sleepMs(50);
    }
  }

  // What a host's settings page does: new filter texts (and texts that do
  // not compile, each put right at once), motion cancel on and off with its
  // filter and gain, axes, limits, pacing, the fan and the link settings.
  void settings() {
    static const char* const kInvalid[] = {"GAIN(VALUE;", "NOPE(VALUE)", "EMALP(VALUE;8", "GAIN(VALUE;x)",
                                           "GAIN(VALUE;1;2;3;4;5)"};
    std::mt19937 random(7);
    const auto& filters = profile_.filters;
    std::string junk;
    for (std::uint64_t step = 1; !stop_; ++step) {
      if (step % 20 == 0 && !filters.empty()) {
        // Every 2 s: a text that does not compile, then the profile's own.
        const auto& f = filters[random() % filters.size()];
        const int motion = static_cast<int>(f.motion);
        if (step % 100 == 0) {
          junk.assign(1 + random() % 300, ' ');
          for (char& c : junk) c = static_cast<char>(1 + random() % 255);
          if (!api_.setcheckFilterstring(motion, f.channel, junk.c_str())) ++refusedTexts_;
        } else if (!api_.setcheckFilterstring(motion, f.channel, kInvalid[random() % std::size(kInvalid)])) {
          ++refusedTexts_;
        }
        if (!api_.setcheckFilterstring(motion, f.channel, f.text.c_str())) note(badAnswers_, "setcheckFilterstring refused " + f.text);
        filterTexts_ += 2;
      }
      if (step % 10 == 0) {
        // Every second: motion cancel on or off; its setters answer only
        // while it is on, and refuse values that would break the pose.
        const bool on = (step / 10) % 2 == 1;
        api_.activateMotionCancel(on);
        const bool filterTaken = api_.setFilterMotionCancel(on ? 30.0 : 60.0);
        const bool gainTaken = api_.setGainMotionCancel(1.0);
        if (filterTaken != on || gainTaken != on) note(badAnswers_, std::string("motion cancel setters with motion cancel ") + (on ? "on" : "off"));
        if (api_.setFilterMotionCancel(0.5) || api_.setFilterMotionCancel(std::nan("")) ||
            api_.setGainMotionCancel(std::nan("")))
          note(badAnswers_, "motion cancel setters took a value that breaks the pose");
      }
      if (step % 50 == 0) {
        // Every 5 s: the spare channel switched, limits set again as they are.
        api_.setActiveAxis(0, 22, (step / 50) % 2 == 1);
        api_.setActiveAxis(7, 0, true);  // no such profile: ignored
        for (const auto& l : profile_.inputLimits) api_.SetInputDofLimitValue(static_cast<unsigned>(l.channel), l.low, l.high);
        for (const auto& l : profile_.rigLimits) api_.SetRigDofLimitValue(l.channel, l.low, l.high);
        api_.SetRigDofLimitValue(0, std::nan(""), 1.0);  // ignored
        for (const auto& b : profile_.beltMix) api_.setBelt_Mix(static_cast<int>(b.motion), b.index, b.weight);
      }
      if (step % 100 == 0) {
        // Every 10 s: the fan on a port the system lacks, the link settings.
        const kinevra_char16 port[] = {'C', 'O', 'M', '2', '5', '0', 0};
        const kinevra_char16 format[] = {'8', 'N', '1', 0};
        if (api_.initWindSerial(port, 115200, format, 15) != 0) note(badAnswers_, "initWindSerial took a port the system lacks");
        if (options_.controller && api_.setStandartPort("COM5") != 1) note(badAnswers_, "setStandartPort(COM5)");
        if (api_.setStandartPort("nonsense") != 0) note(badAnswers_, "setStandartPort(nonsense)");
        api_.setUDPport(53241);
        api_.setMulticastAddr("232.11.12.14", 51324);
        api_.setMulticastAddr("999.1.2.3.4.5.6.7.8.9", 1);  // refused, the current one kept
      }
      if (step % 150 == 0) {
        // Every 15 s: the pacing switched, and back 5 s later.
        api_.setTimerPrecision(0);
      } else if (step % 150 == 50) {
        api_.setTimerPrecision(profile_.busyWaitPacing.value_or(true) ? 1 : 0);
      }
      sleepMs(100);
    }
  }

  // Numbered messages to the controller (a hundred a second, while it is
  // connected), a state message now and then, and every frame the
  // controller sends read back.
  void messenger() {
    std::array<std::uint8_t, 512> buf{};
    std::uint32_t number = 1;
    std::vector<std::uint8_t> in(512);
    for (std::uint64_t step = 0; !stop_; ++step) {
      if (options_.controller && connected_ && !quiet_) {
        while (endsEarly(number)) ++number;
        buf.fill(0);
        buf[0] = buf[1] = 0xF8;
        for (int i = 0; i < 4; ++i) buf[2 + i] = static_cast<std::uint8_t>(number >> (8 * i));
        for (std::size_t i = 6; i < kF8Length - 2; ++i) buf[i] = static_cast<std::uint8_t>(0x20 + i);
        buf[kF8Length - 2] = 0x0A;
        buf[kF8Length - 1] = 0x0D;
        const std::int64_t at = nowNs();
        const int rc = extra_.sendMessagemmf(buf.data());
        if (rc == 1) {
          sent_.accepted(number, at);
          ++number;
        } else if (rc != -1) {
          note(badAnswers_, "sendMessagemmf answered " + std::to_string(rc));
        }
        if (step % 10 == 0) {
          // A state message (not an identification request), repeated by the bridge.
          const std::uint8_t state[8] = {0xF9, 0xF9, 0x07, 0x00, static_cast<std::uint8_t>(step / 10), 0x00, 0x0A, 0x0D};
          std::array<std::uint8_t, 512> s{};
          std::memcpy(s.data(), state, sizeof state);
          const int a = extra_.autoMessagemmf(s.data());
          if (a != 0 && a != 1) note(badAnswers_, "autoMessagemmf answered " + std::to_string(a));
        }
      }
      while (api_.newMessagemmf() == 1) {
        std::fill(in.begin(), in.end(), 0);
        const int n = api_.readMessagemmf(in.data());
        if (n == 0) break;
        if (n == static_cast<int>(kF8Length) && in[0] == 0xF8 && in[1] == 0xF8) {
          frames_.read(numberOf(in.data()));
        } else {
          if (n != 8 && n != 38 && n != 78 && n != 465) note(badAnswers_, "readMessagemmf length " + std::to_string(n));
          frames_.other();
        }
      }
      sleepMs(10);
    }
  }

  void note(std::atomic<std::uint64_t>& counter, const std::string& what) {
    ++counter;
    std::lock_guard<std::mutex> hold(findingsLock_);
    if (findings_.size() >= 20) return;
    for (const auto& f : findings_)
      if (f.find(what) != std::string::npos) return;
    char at[32];
    std::snprintf(at, sizeof at, "%.2f s: ", seconds(nowNs() - begin_));
    findings_.push_back(at + what);
  }

  RigLimits limits() const {
    RigLimits l;
    for (const auto& r : profile_.rigLimits) {
      l.low[static_cast<std::size_t>(r.channel)] = r.low;
      l.high[static_cast<std::size_t>(r.channel)] = r.high;
    }
    return l;
  }

  const Options& options_;
  const kinevra_host::RigProfile& profile_;
  OutputRing& ring_;
  HostMessages& sent_;
  ControllerFrames& frames_;
  kinevra_host::LibraryLoader lib_;
  kinevra_host::LibraryApi api_;
  ExtraApi extra_;
  std::vector<std::thread> threads_;
  std::int64_t begin_ = nowNs();
  std::mutex findingsLock_;
  std::vector<std::string> findings_;
  std::atomic<bool> stop_{false}, quiet_{false}, connected_{false};
  std::atomic<std::uint64_t> motionCycles_{0}, badOutput_{0}, badGameData_{0}, badAnswers_{0}, calls_{0},
      filterTexts_{0}, refusedTexts_{0}, snapshotBlocks_{0};
};

// ---------------------------------------------------------------------------
// The controller's side: rigsim instances and what each received.

struct ControllerFigures {
  std::uint64_t rigMessages = 0, hostMessages = 0, otherFrames = 0, malformed = 0, strayBytes = 0,
                outOfLimits = 0, instances = 0;
};

class Controller {
 public:
  Controller(fs::path dir, const RigLimits& limits, HostMessages& sent, ControllerFrames& frames)
      : dir_(std::move(dir)), limits_(limits), sent_(sent), frames_(frames) {}
  ~Controller() { unplug(); }

  fs::path link() const { return dir_ / "com" / "com5"; }

  // A new rigsim on a new pseudo-terminal, linked as COM5.
  bool plugIn() {
    ++instance_;
    const std::string tag = std::to_string(instance_);
    messages_ = dir_ / ("rig-" + tag + ".messages");
    commands_ = dir_ / ("rig-" + tag + ".commands");
    events_ = dir_ / ("rig-" + tag + ".events");
    std::ofstream(commands_) << "number " << instance_ * kInstanceBase << "\n";
    offset_ = 0;
    partial_.clear();
    finished_ = false;
    if (!rig_.start(kinevra_host::toolProgram("rigsim"),
                    {"--pty", link().string(), "--messages", messages_.string(), "--commands", commands_.string(),
                     "--log", events_.string(), "--seconds", "100000"},
                    (dir_ / ("rig-" + tag + ".txt")).string()))
      return false;
    for (int i = 0; i < 3000 && !fs::exists(link()); ++i) sleepMs(10);
    ++figures_.instances;
    return fs::exists(link());
  }

  // The controller's cable pulled: rigsim killed; what it received counted.
  void unplug() {
    if (finished_) return;
    finished_ = true;
    rig_.kill();
    std::error_code ec;
    fs::remove(link(), ec);
    poll();
    finishFile();
  }

  // Asks rigsim for numbered frames, or for random bytes.
  void command(const std::string& line) { std::ofstream(commands_, std::ios::app) << line << "\n"; }

  // Reads what rigsim logged since the last call; calls seen(ns) for each
  // valid rig message.
  void poll(const std::function<void(std::int64_t, const std::uint8_t*)>& seen = {}) {
    std::ifstream in(messages_, std::ios::binary);
    if (!in) return;
    in.seekg(offset_);
    char buf[65536];
    while (in) {
      in.read(buf, sizeof buf);
      const std::streamsize n = in.gcount();
      if (n <= 0) break;
      offset_ += n;
      partial_.append(buf, static_cast<std::size_t>(n));
      std::size_t start = 0;
      for (std::size_t end; (end = partial_.find('\n', start)) != std::string::npos; start = end + 1)
        line(std::string_view(partial_).substr(start, end - start), seen);
      partial_.erase(0, start);
    }
  }

  const ControllerFigures& figures() const { return figures_; }
  bool running() { return rig_.running(); }
  std::size_t instance() const { return instance_; }

 private:
  void finishFile() {
    if (!partial_.empty()) ++figures_.malformed;  // a line cut off: rigsim died writing it
    partial_.clear();
    // The numbered frames this rigsim really sent, by its own log.
    std::ifstream events(events_);
    std::uint32_t sentFrames = 0;
    for (std::string l; std::getline(events, l);)
      if (l.rfind("tx F8 #", 0) == 0) ++sentFrames;
    frames_.commanded(instance_, sentFrames);
    // The figures are counted; the files are not needed any more.
    std::error_code ec;
    if (keepFiles) return;
    fs::remove(messages_, ec);
    fs::remove(events_, ec);
  }

  // The frame ends in its CRC (rigsim lets a matching CRC decide, also when
  // it happens to be 0A 0D; a log line of "lfcr" with a matching CRC counts).
  bool crcTrailer() const {
    if (frame_.status == "crc-ok") return true;
    const std::size_t n = frame_.bytes.size();
    if (frame_.status != "lfcr" || n < 3) return false;
    const std::uint16_t crc = kinevra::crc16(frame_.bytes.data(), n - 2);
    return frame_.bytes[n - 2] == (crc & 0xFF) && frame_.bytes[n - 1] == (crc >> 8);
  }

  void line(std::string_view text, const std::function<void(std::int64_t, const std::uint8_t*)>& seen) {
    if (!kinevra_host::parseReceivedLine(text, frame_)) {
      ++figures_.malformed;
      return;
    }
    if (frame_.kind == "junk") {
      ++figures_.malformed;
      figures_.strayBytes += frame_.bytes.size();
      return;
    }
    if (frame_.status == "crc-bad") {
      ++figures_.malformed;
      return;
    }
    if (frame_.kind == "FC") {
      ++figures_.rigMessages;
      // The bridge writes its CRC in place of the message's LF CR.
      if (!crcTrailer()) {
        ++figures_.malformed;
      } else if (!validRigMessage(frame_.bytes.data(), frame_.bytes.size(), limits_)) {
        ++figures_.outOfLimits;
      } else if (seen) {
        seen(frame_.ns, frame_.bytes.data());
      }
    } else if (frame_.kind == "F8" && frame_.bytes.size() == kF8Length) {
      ++figures_.hostMessages;
      if (!crcTrailer()) ++figures_.malformed;
      sent_.arrived(numberOf(frame_.bytes.data()));
    } else {
      ++figures_.otherFrames;  // identification requests, after-connect and state messages
    }
  }

 public:
  bool keepFiles = false;

 private:
  fs::path dir_;
  RigLimits limits_;
  HostMessages& sent_;
  ControllerFrames& frames_;
  ChildProcess rig_;
  std::size_t instance_ = 0;
  bool finished_ = true;
  fs::path messages_, commands_, events_;
  std::streamoff offset_ = 0;
  std::string partial_;
  kinevra_host::ReceivedFrame frame_;
  ControllerFigures figures_;
};

// ---------------------------------------------------------------------------
// The game: gamesim under the game's executable name.

class Game {
 public:
  explicit Game(fs::path dir) : dir_(std::move(dir)) {}

  bool start(const std::string& name) {
    name_ = name;
    std::string program = kinevra_host::toolProgram("gamesim");
    const std::string exe = executableOf(name);
    if (!exe.empty()) {
      const fs::path named = dir_ / exe;
      std::error_code ec;
      if (!fs::exists(named)) fs::copy_file(program, named, ec);
      if (ec) return false;
      program = named.string();
    }
    const fs::path ready = dir_ / ("game-ready-" + std::to_string(++starts_));
    if (!game_.start(program, {"--game", name, "--seconds", "100000", "--ready", ready.string()},
                     (dir_ / "gamesim.txt").string()))
      return false;
    for (int i = 0; i < 3000 && !fs::exists(ready); ++i) {
      if (!game_.running()) return false;
      sleepMs(10);
    }
    return fs::exists(ready);
  }
  void stop() { game_.stop(); }
  void kill() { game_.kill(); }
  bool suspend(bool on) { return game_.suspend(on); }
  const std::string& name() const { return name_; }

 private:
  std::string executableOf(const std::string& name) {
    const fs::path out = dir_ / ("executable-" + name + ".txt");
    ChildProcess ask;
    if (!ask.start(kinevra_host::toolProgram("gamesim"), {"--game", name, "--print-executable"}, out.string()))
      return {};
    for (int i = 0; i < 6000 && ask.running(); ++i) sleepMs(10);
    std::ifstream in(out);
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }

  fs::path dir_;
  std::string name_;
  ChildProcess game_;
  int starts_ = 0;
};

// Random bytes over a game's shared-memory pages, as long as it runs.
void scribble(const char* name, std::mt19937& random) {
  kinevra::platform::SharedMemory block;
  if (!block.openExisting(name, true)) return;
  auto* view = static_cast<std::uint8_t*>(block.mapWrite(SIZE_MAX));
  if (!view) return;
  for (std::size_t i = 0; i < block.viewSize(); ++i) view[i] = static_cast<std::uint8_t>(random());
}

// Random datagrams to a game's port on this machine: pure noise, and
// X-Plane's header followed by noise.
void noiseDatagrams(std::uint16_t port, std::mt19937& random, int count) {
  namespace net = kinevra::platform;
  if (net::startSockets() != 0) return;
  const net::SocketHandle s = net::openDatagramSocket();
  if (s != net::kInvalidSocket) {
    std::vector<std::uint8_t> d;
    for (int k = 0; k < count; ++k) {
      d.resize(1 + random() % 1400);
      for (auto& b : d) b = static_cast<std::uint8_t>(random());
      if (k % 2 == 0 && d.size() > 5) std::memcpy(d.data(), "DATA*", 5);
      net::sendTo(s, d.data(), d.size(), {net::kLoopbackAddress, port});
    }
    net::closeSocket(s);
  }
  net::stopSockets();
}

// ---------------------------------------------------------------------------
// The faults, and the run.

struct FaultRecord {
  std::string name;
  int count = 0;
  double worstMs = 0, sumMs = 0, bestMs = 1e18;
  double boundMs = 0;
  int overBound = 0;
};

struct RssSample {
  double t;
  double mib;
};

int run(const Options& o) {
  const std::string scratch = o.keep.empty() ? kinevra_host::makeScratchFolder("soak") : o.keep;
  if (scratch.empty()) {
    std::fprintf(stderr, "kinevra-soak: cannot make a folder\n");
    return 1;
  }
  const fs::path dir = scratch;
  fs::create_directories(dir / "com");
  std::ofstream(dir / "com" / "com5.hwid") << "USB\\VID_1A86&PID_7523&REV_0264\n";
  kinevra_host::setEnvironment("KINEVRA_COM_DIR", (dir / "com").string());

  const auto parsed = kinevra_host::loadRigProfile(kinevra_host::programFolder() + "profiles/sample-rig.profile");
  if (!parsed.ok()) {
    for (const auto& e : parsed.errors) std::fprintf(stderr, "kinevra-soak: %s\n", e.format().c_str());
    return 1;
  }
  const kinevra_host::RigProfile& profile = parsed.profile;
  RigLimits limits;
  for (const auto& r : profile.rigLimits) {
    limits.low[static_cast<std::size_t>(r.channel)] = r.low;
    limits.high[static_cast<std::size_t>(r.channel)] = r.high;
  }

  OutputRing ring;
  HostMessages sent;
  ControllerFrames frames;
  Controller controller(dir, limits, sent, frames);
  controller.keepFiles = !o.keep.empty();
  Game game(dir);
  Host host(o, profile, ring, sent, frames);

  if (o.controller && !controller.plugIn()) {
    std::fprintf(stderr, "kinevra-soak: rigsim did not make its pseudo-terminal\n");
    return 1;
  }
  if (!game.start("ac")) {
    std::fprintf(stderr, "kinevra-soak: gamesim did not start\n");
    return 1;
  }
  if (!host.load()) return 1;
  const std::int64_t begin = nowNs();
  std::vector<RssSample> rss;
  rss.reserve(200000);
  rss.push_back({0, static_cast<double>(residentBytes()) / 1048576.0});
  host.start();

  // Each fault: what it does, how long it lasts, and the bound on the time
  // until fresh valid poses reach the controller after it ended.
  std::mt19937 random(2024);
  struct Fault {
    const char* name;
    double boundMs;
    std::function<bool()> applies;
    std::function<void()> begin;  // the fault starts
    double holdSeconds;
    std::function<void()> during;  // called every few milliseconds while it lasts
    std::function<bool()> end;     // the fault ends; false when that failed
  };
  std::vector<std::int64_t> unplugs;
  const auto isAc = [&] { return game.name() == "ac"; };
  const auto isXplane = [&] { return game.name() == "xplane"; };
  const std::vector<Fault> faults = {
      {"controller unplugged and replugged", 20000, [&] { return o.controller; },
       [&] {
         // The cable is pulled once the controller has read what reached it
         // more than 50 ms ago (at most 3 s): on a loaded machine rigsim can
         // lag far behind, and what its line still buffers would be lost with
         // it, hiding whether the library lost anything itself.
         const std::int64_t waitUntil = nowNs() + 3'000'000'000LL;
         while (nowNs() < waitUntil) {
           controller.poll();
           const std::int64_t oldest = sent.oldestPending();
           if (oldest == 0 || nowNs() - oldest < 50'000'000) break;
           sleepMs(2);
         }
         unplugs.push_back(nowNs());
         controller.unplug();
       },
       1.0, {}, [&] { return controller.plugIn(); }},
      {"garbage from the controller", 15000, [&] { return o.controller; }, {}, 0.5,
       // 64 bytes every 5 ms: 12.8 kB/s, half of what 250000 baud carries.
       [&] { controller.command("junk 64"); }, [] { return true; }},
      {"shared-memory pages overwritten with random bytes", 15000, isAc, [&] { game.suspend(true); }, 0.5,
       [&] {
         scribble("Local\\acpmf_physics", random);
         scribble("Local\\acpmf_graphics", random);
       },
       [&] {
         game.suspend(false);
         return true;
       }},
      {"game killed and restarted", 20000, isAc, [&] { game.kill(); }, 0.5, {}, [&] { return game.start("ac"); }},
      {"game switched to X-Plane (UDP)", 20000, isAc, [&] { game.stop(); }, 0.0, {},
       [&] { return game.start("xplane"); }},
      {"UDP game silent for 3 s", 20000, isXplane,
       [&] {
         if (!game.suspend(true)) game.kill();  // no freezing on this system: gone instead
       },
       3.0, {},
       [&] { return game.suspend(false) || game.start("xplane"); }},
      {"random datagrams to the game's port", 15000, isXplane, {}, 0.5,
       [&] { noiseDatagrams(4321, random, 20); }, [] { return true; }},
      {"game switched to Assetto Corsa (shared memory)", 20000, isXplane, [&] { game.stop(); }, 0.0, {},
       [&] { return game.start("ac"); }},
  };
  std::vector<FaultRecord> records(faults.size());
  for (std::size_t i = 0; i < faults.size(); ++i) {
    records[i].name = faults[i].name;
    records[i].boundMs = faults[i].boundMs;
  }

  // Waits until the controller (or, without one, getOutputData) shows a
  // fresh valid rig message: one the engine built from telemetry that the
  // game's reader took in at or after since (the first change of getGameData
  // from then on; the engine builds a message in the cycle that reads it).
  // The arrival time, or 0 after three times the bound.
  const auto awaitFresh = [&](std::int64_t since, double boundMs) -> std::int64_t {
    const std::int64_t giveUp = since + static_cast<std::int64_t>(boundMs * 1e6) * 3;  // to report how late
    std::int64_t fresh = 0;
    while (!fresh && nowNs() < giveUp && !interrupted) {
      const std::int64_t telemetry = ring.firstTelemetrySince(since);
      if (o.controller) {
        controller.poll([&](std::int64_t ns, const std::uint8_t* m) {
          if (!fresh && telemetry && ns >= telemetry && ring.publishedSince(m, telemetry)) fresh = ns;
        });
      } else if (telemetry) {
        fresh = ring.firstSince(telemetry);
      }
      if (!fresh) sleepMs(2);
    }
    return fresh;
  };

  bool ok = true;
  std::vector<std::string> problems;
  const auto fail = [&](const std::string& what) {
    ok = false;
    if (problems.size() < 50) problems.push_back(what);
    std::printf("  FAILED: %s\n", what.c_str());
    std::fflush(stdout);
  };

  // The start: the game found, the controller connected, the first poses.
  const std::int64_t firstPose = awaitFresh(begin, 60000);
  if (!firstPose) fail("the rig never got a pose after the start");
  std::printf("kinevra-soak: first pose at the %s %.2f s after the start\n", o.controller ? "controller" : "host",
              seconds(firstPose - begin));
  std::fflush(stdout);

  const double endSeconds = o.seconds;
  const double limitSeconds = o.maxSeconds > 0 ? o.maxSeconds : o.seconds + 300;
  std::size_t next = 0;
  int rounds = 0;
  std::int64_t lastRss = nowNs(), lastReport = nowNs(), lastFrames = nowNs();
  const auto elapsed = [&] { return seconds(nowNs() - begin); };
  const auto sampleRss = [&] {
    if (nowNs() - lastRss >= 1'000'000'000) {
      lastRss = nowNs();
      rss.push_back({elapsed(), static_cast<double>(residentBytes()) / 1048576.0});
    }
  };
  // The steady part between faults: numbered frames asked from the
  // controller, the log read, memory sampled.
  const auto steady = [&](double secondsLong) {
    const std::int64_t until = nowNs() + static_cast<std::int64_t>(secondsLong * 1e9);
    while (nowNs() < until && !interrupted) {
      if (o.controller) {
        controller.poll();
        if (!controller.running()) {
          fail("rigsim ended by itself");
          controller.unplug();
          controller.plugIn();
        }
        if (host.connected() && nowNs() - lastFrames > 100'000'000) {
          controller.command("send F8 5");
          lastFrames = nowNs();
        }
      }
      sampleRss();
      if (nowNs() - lastReport > 60'000'000'000LL) {
        lastReport = nowNs();
        std::printf("  %6.0f s: %llu motion cycles, RSS %.1f MiB, %d rounds of faults\n", elapsed(),
                    static_cast<unsigned long long>(host.motionCycles()), rss.back().mib, rounds);
        std::fflush(stdout);
      }
      sleepMs(5);
    }
  };

  std::int64_t lastFreshMs = 0;
  while (!interrupted && (elapsed() < endSeconds || rounds < o.minRounds) && elapsed() < limitSeconds) {
    steady(1.0);
    const Fault& f = faults[next];
    FaultRecord& r = records[next];
    next = (next + 1) % faults.size();
    if (next == 0) ++rounds;
    if (!f.applies()) continue;
    // Numbered frames the controller was asked for arrive before it goes.
    steady(0.3);
    if (f.begin) f.begin();
    const std::int64_t holdUntil = nowNs() + static_cast<std::int64_t>(f.holdSeconds * 1e9);
    while (nowNs() < holdUntil) {
      if (f.during) f.during();
      if (o.controller) controller.poll();
      sampleRss();
      sleepMs(5);
    }
    const bool ended = f.end();
    const std::int64_t faultEnd = nowNs();
    if (!ended) {
      fail(std::string(f.name) + ": the stand-in could not be started again");
      break;
    }
    const std::int64_t fresh = awaitFresh(faultEnd, f.boundMs);
    if (interrupted) break;  // stopped by hand: no figure for this one
    const double ms = fresh ? static_cast<double>(fresh - faultEnd) / 1e6 : 3 * f.boundMs;
    lastFreshMs = static_cast<std::int64_t>(ms);
    ++r.count;
    r.sumMs += ms;
    r.worstMs = std::max(r.worstMs, ms);
    r.bestMs = std::min(r.bestMs, ms);
    if (!fresh || ms > f.boundMs) {
      ++r.overBound;
      char b[200];
      std::snprintf(b, sizeof b, "%s: fresh poses after %.0f ms (bound %.0f ms) at %.1f s", f.name, ms, f.boundMs,
                    elapsed());
      fail(b);
    }
  }
  (void)lastFreshMs;

  // The end: nothing more asked, what was on its way arrives, then the host
  // stops in order and the stand-ins go.
  host.quiet();
  steady(1.0);
  host.stop();
  const double runSeconds = elapsed();
  if (o.controller) {
    sleepMs(200);
    controller.poll();
    controller.unplug();
  }
  game.stop();
  // A game killed outright leaves its pages behind on Linux (the restarted
  // one opened them, so it does not remove them either): nothing of the
  // soak's stays.
  removeSharedMemory("Local\\acpmf_physics");
  removeSharedMemory("Local\\acpmf_graphics");
  rss.push_back({runSeconds, static_cast<double>(residentBytes()) / 1048576.0});

  // ---- The report ----
  std::printf("\nkinevra-soak summary: %.1f s, %d full rounds of faults, game and controller stand-ins\n", runSeconds,
              rounds);
  const ControllerFigures c = controller.figures();
  const auto hm = sent.figures(unplugs);
  const auto cf = frames.figures();
  const std::uint64_t cycles = host.motionCycles();
  std::printf("  motion cycles (one rig message each): %llu\n", static_cast<unsigned long long>(cycles));
  if (o.controller) {
    std::printf("  rig messages at the controller: %llu (%.1f %% of the motion cycles), over %llu connections\n",
                static_cast<unsigned long long>(c.rigMessages),
                cycles ? 100.0 * static_cast<double>(c.rigMessages) / static_cast<double>(cycles) : 0.0,
                static_cast<unsigned long long>(c.instances));
    std::printf("  malformed frames or lines at the controller: %llu (stray bytes %llu), rig messages out of limits or not finite: %llu\n",
                static_cast<unsigned long long>(c.malformed), static_cast<unsigned long long>(c.strayBytes),
                static_cast<unsigned long long>(c.outOfLimits));
    std::printf("  host messages: %llu accepted, %llu delivered once and in order, %llu lost on an unplugged line, "
                "%llu lost elsewhere, %llu out of order or twice, %llu never arrived\n",
                static_cast<unsigned long long>(hm.accepted), static_cast<unsigned long long>(hm.delivered),
                static_cast<unsigned long long>(hm.lostNearUnplug), static_cast<unsigned long long>(hm.lostElsewhere),
                static_cast<unsigned long long>(hm.outOfOrder), static_cast<unsigned long long>(hm.neverArrived));
    std::printf("  controller frames: %llu sent, %llu read by the host, %llu missing, %llu out of order, %llu "
                "unknown; %llu other frames read\n",
                static_cast<unsigned long long>(cf.commanded), static_cast<unsigned long long>(cf.read),
                static_cast<unsigned long long>(cf.missing), static_cast<unsigned long long>(cf.outOfOrder),
                static_cast<unsigned long long>(cf.strangers), static_cast<unsigned long long>(cf.others));
    std::printf("  other frames at the controller: %llu\n", static_cast<unsigned long long>(c.otherFrames));
    if (c.rigMessages == 0) fail("the controller received no rig message");
    if (c.rigMessages > cycles + 10) fail("the controller received more rig messages than the engine made");
    if (c.malformed) fail("malformed frames at the controller");
    if (c.outOfLimits) fail("rig messages with values not finite or beyond the rig limits");
    if (hm.lostElsewhere || hm.outOfOrder || hm.neverArrived) fail("host messages lost, doubled or out of order");
    if (cf.missing || cf.outOfOrder || cf.strangers) fail("controller frames lost, doubled or out of order");
    if (cf.read > cf.commanded) fail("the host read more numbered frames than the controller sent");
  }
  std::printf("  host calls: %llu getter calls, %llu filter texts (%llu refused), %llu snapshot fetches\n",
              static_cast<unsigned long long>(host.calls()), static_cast<unsigned long long>(host.filterTexts()),
              static_cast<unsigned long long>(host.refusedTexts()), static_cast<unsigned long long>(host.snapshotBlocks()));
  if (host.filterTexts() > 0 && host.refusedTexts() == 0) fail("no filter text that does not compile was refused");
  if (host.badOutput()) fail("getOutputData handed out a message not whole, not finite or beyond the limits");
  if (host.badGameData()) fail("getGameData held a value that is not a finite number");
  if (host.badAnswers()) fail("an export answered outside what it promises");
  for (const std::string& f : host.findings()) std::printf("    %s\n", f.c_str());

  std::printf("  faults (recovery: from the fault's end to the first fresh valid rig message at the %s):\n",
              o.controller ? "controller" : "host");
  for (const FaultRecord& r : records) {
    if (r.count == 0) {
      std::printf("    %-52s not injected\n", r.name.c_str());
      continue;
    }
    std::printf("    %-52s %3d x, recovery best %7.1f ms, mean %7.1f ms, worst %7.1f ms (bound %.0f ms)\n",
                r.name.c_str(), r.count, r.bestMs, r.sumMs / r.count, r.worstMs, r.boundMs);
  }
  if (o.minRounds > 0)
    for (const FaultRecord& r : records)
      if (r.count == 0 && (o.controller || r.name.find("controller") == std::string::npos))
        fail("a fault was never injected: " + r.name);

  // Resident memory: judged after the warm-up (the first fifth of the run,
  // at least 5 s and at most 5 minutes), by its growth and its slope.
  const double warm = std::clamp(runSeconds / 5, 5.0, 300.0);
  std::vector<RssSample> after;
  for (const RssSample& s : rss)
    if (s.t >= warm) after.push_back(s);
  double maxMib = 0;
  for (const RssSample& s : rss) maxMib = std::max(maxMib, s.mib);
  if (after.size() >= 3) {
    double mt = 0, mv = 0;
    for (const auto& s : after) {
      mt += s.t / static_cast<double>(after.size());
      mv += s.mib / static_cast<double>(after.size());
    }
    double num = 0, den = 0;
    for (const auto& s : after) {
      num += (s.t - mt) * (s.mib - mv);
      den += (s.t - mt) * (s.t - mt);
    }
    const double slopeKibPerMin = den > 0 ? num / den * 60.0 * 1024.0 : 0.0;
    const double growth = after.back().mib - after.front().mib;
    std::printf("  resident memory: start %.1f MiB, after the warm-up (%.0f s) %.1f MiB, end %.1f MiB, max %.1f MiB; "
                "after the warm-up: growth %.2f MiB, slope %.1f KiB/min\n",
                rss.front().mib, warm, after.front().mib, after.back().mib, maxMib, growth, slopeKibPerMin);
#if defined(__SANITIZE_ADDRESS__) || defined(KINEVRA_SOAK_SANITIZED)
    std::printf("  (a sanitizer build: its allocator keeps freed memory; LeakSanitizer judges leaks at exit)\n");
#else
    // A leak of a few bytes per motion cycle shows as about 1 MiB a
    // minute; the allocator's arenas settle within the warm-up.
    const double allowedGrowth = std::max(2.0, 0.02 * after.front().mib);
    if (growth > allowedGrowth || (runSeconds - warm >= 300 && slopeKibPerMin > 64.0))
      fail("resident memory grows after the warm-up");
#endif
  } else {
    std::printf("  resident memory: start %.1f MiB, end %.1f MiB, max %.1f MiB (too short a run to judge)\n",
                rss.front().mib, rss.back().mib, maxMib);
  }
  std::printf("  result: %s\n", ok ? "every check held" : "FAILED");
  if (!ok || !o.keep.empty()) {
    std::printf("  the soak's files are in %s\n", dir.string().c_str());
  } else {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::fflush(stdout);
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace kinevra_soak

int main(int argc, char** argv) {
  kinevra_soak::Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool value = i + 1 < argc;
    if (a == "--seconds" && value) {
      o.seconds = std::atof(argv[++i]);
    } else if (a == "--min-rounds" && value) {
      o.minRounds = std::atoi(argv[++i]);
    } else if (a == "--max-seconds" && value) {
      o.maxSeconds = std::atof(argv[++i]);
    } else if (a == "--library" && value) {
      o.library = argv[++i];
    } else if (a == "--keep" && value) {
      o.keep = argv[++i];
    } else if (a == "--controller" && value && std::string(argv[i + 1]) == "none") {
      o.controller = false;
      ++i;
    } else {
      std::fprintf(stderr,
                   "usage: kinevra-soak [--seconds N] [--min-rounds N] [--max-seconds N] [--library PATH] "
                   "[--keep DIR] [--controller none]\n");
      return 2;
    }
  }
#if defined(_WIN32)
  o.controller = false;  // no pseudo-terminal to be the controller's port
#endif
  std::signal(SIGINT, kinevra_soak::onSignal);
  std::signal(SIGTERM, kinevra_soak::onSignal);
  return kinevra_soak::run(o);
}
