// The client transport against fsimsim, a real process serving the pipe and
// TCP on the loopback addresses: how it finds the simulator, what it puts on
// the wire, and how it cuts, queues and hands out what comes back.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client_folders.h"
#include "flight.h"
#include "flightsim_client/client.h"
#include "flightsim_client/flightsim_client.h"
#include "fsimsim_double.h"
#include "game_double.h"
#include "platform/process.h"

namespace kinevra::test {
namespace {

using namespace kinevra::flightsim;

constexpr std::int32_t kStatusLinkFailedCode = static_cast<std::int32_t>(0xC000013Eu);
constexpr std::int32_t kStatusPipeBrokenCode = static_cast<std::int32_t>(0xC000014Bu);
constexpr std::int32_t kStatusResetCode = static_cast<std::int32_t>(0xC000020Du);

// The connection attempts of every open, as the transport reports them.
class Attempts {
 public:
  Attempts() { setConnectObserver(&Attempts::record, this); }
  ~Attempts() { setConnectObserver(nullptr, nullptr); }
  std::vector<ConnectAttempt> take() {
    std::lock_guard<std::mutex> g(lock_);
    std::vector<ConnectAttempt> out;
    out.swap(seen_);
    return out;
  }

 private:
  static void record(void* self, const ConnectAttempt& a) {
    auto* me = static_cast<Attempts*>(self);
    std::lock_guard<std::mutex> g(me->lock_);
    me->seen_.push_back(a);
  }
  std::mutex lock_;
  std::vector<ConnectAttempt> seen_;
};

std::string describe(const std::vector<ConnectAttempt>& attempts) {
  std::string s;
  for (const auto& a : attempts) {
    s += a.pipe ? "pipe " + a.port : std::string(a.ipv6 ? "tcp6 " : "tcp4 ") + a.address + " " + a.port;
    s += a.connected ? " +\n" : " -\n";
  }
  return s;
}

std::string localPipe(const std::string& name) { return "\\\\.\\pipe\\" + name; }

struct Message {
  std::vector<unsigned char> bytes;
  std::uint32_t id() const { return getU32(bytes.data() + 8); }
  std::uint32_t u32(std::size_t at) const { return getU32(bytes.data() + at); }
  double f64(std::size_t at) const {
    double v;
    std::memcpy(&v, bytes.data() + at, 8);
    return v;
  }
  std::int64_t i64(std::size_t at) const {
    std::int64_t v;
    std::memcpy(&v, bytes.data() + at, 8);
    return v;
  }
};

// The next message with id (skipping others), waiting for it; the result of
// the last dispatch goes to *last.
bool nextWithId(ClientHandle h, std::uint32_t id, Message* out, std::int32_t* last = nullptr) {
  return eventually([&] {
    for (;;) {
      const unsigned char* data = nullptr;
      std::uint32_t size = 0;
      const std::int32_t rc = clientGetNextDispatch(h, &data, &size);
      if (last) *last = rc;
      if (rc != kOk) return false;
      if (getU32(data + 8) == id) {
        out->bytes.assign(data, data + size);
        return true;
      }
    }
  });
}

// Waits until dispatch answers code once no message is left.
bool reportsLoss(ClientHandle h, std::int32_t code) {
  return eventually([&] {
    const unsigned char* data = nullptr;
    std::uint32_t size = 0;
    std::int32_t rc;
    while ((rc = clientGetNextDispatch(h, &data, &size)) == kOk) {
    }
    return rc == code;
  });
}

// The code dispatch answers once the connection is lost and its messages
// are taken (0 if it never is).
std::int32_t lossCode(ClientHandle h) {
  std::int32_t rc = kOk;
  eventually([&] {
    const unsigned char* data = nullptr;
    std::uint32_t size = 0;
    while ((rc = clientGetNextDispatch(h, &data, &size)) == kOk) {
    }
    return rc != kFail;
  });
  return rc == kFail ? 0 : rc;
}

const char* const kVariables[17][2] = {
    {"ACCELERATION BODY X", "meter per second squared"},
    {"ACCELERATION BODY Y", "meter per second squared"},
    {"ACCELERATION BODY Z", "meter per second squared"},
    {"ROTATION ACCELERATION BODY X", "radians per second squared"},
    {"ROTATION ACCELERATION BODY Y", "radians per second squared"},
    {"ROTATION ACCELERATION BODY Z", "radians per second squared"},
    {"VELOCITY BODY X", "meter per second"},
    {"VELOCITY BODY Y", "meter per second"},
    {"VELOCITY BODY Z", "meter per second"},
    {"ROTATION VELOCITY BODY X", "radians per second"},
    {"ROTATION VELOCITY BODY Y", "radians per second"},
    {"ROTATION VELOCITY BODY Z", "radians per second"},
    {"PLANE HEADING DEGREES TRUE", "radians"},
    {"PLANE BANK DEGREES", "radians"},
    {"PLANE PITCH DEGREES", "radians"},
    {"GEAR IS ON GROUND", "Bool"},
    {"SIM ON GROUND", "Bool"},
};

void defineAircraft(ClientHandle h) {
  for (int i = 0; i < 17; ++i) {
    ASSERT_EQ(kOk, clientAddToDataDefinition(h, 0, kVariables[i][0], kVariables[i][1], i < 15 ? 4 : 2, 0.0f,
                                             0xFFFFFFFFu));
  }
}

std::string ipv4Config(const std::string& port, const std::string& more = "") {
  return "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + port + "\n" + more;
}

TEST(FlightSimClient, ConnectsOverTheSimulatorsPipeAndStreamsTheFlight) {
  ClientFolders folders;  // no configuration file anywhere
  FlightSimDouble sim(kSimulatorPipe, {"--at", "70"});
  ASSERT_TRUE(sim.started()) << sim.why();
  EXPECT_TRUE(platform::isProcessRunning("FlightSimulator.exe"));  // as detection looks for it
  Attempts attempts;

  std::uintptr_t event = 0;
#if defined(_WIN32)
  HANDLE arrived = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  event = reinterpret_cast<std::uintptr_t>(arrived);
#endif
  ClientHandle h = nullptr;
  ASSERT_EQ(kOk, clientOpen(&h, "Kinevra", 0, 0, event, 0));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(describe(attempts.take()), "pipe " + localPipe(kSimulatorPipe) + " +\n");

  // The open reply, laid out as the simulator's client SDK has it; then
  // nothing more until something is asked for.
  Message reply;
#if defined(_WIN32)
  // The event tells a waiting caller that a message is there.
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(arrived, 30000));
#endif
  ASSERT_TRUE(nextWithId(h, kRecvOpen, &reply));
  EXPECT_EQ(reply.bytes.size(), 308u);
  EXPECT_STREQ(reinterpret_cast<const char*>(reply.bytes.data() + 12), "KittyHawk");
  const unsigned char* data = reinterpret_cast<const unsigned char*>(1);
  std::uint32_t size = 7;
  EXPECT_EQ(kFail, clientGetNextDispatch(h, &data, &size));
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(size, 0u);

  defineAircraft(h);
  ASSERT_EQ(kOk, clientRequestDataOnSimObject(h, 0, 0, 0, 3, 0, 0, 0, 0));
  const char* const events[] = {"Crashed", "Quit", "SimStart", "SimStop", "Sim"};
  const std::uint32_t eventIds[] = {6, 7, 4, 5, 3};
  for (int i = 0; i < 5; ++i) ASSERT_EQ(kOk, clientSubscribeToSystemEvent(h, eventIds[i], events[i]));

  // What fsimsim read: the open with its name and version 5, and every
  // request with the next send id.
  ASSERT_TRUE(sim.logged("subscribe 3 Sim send 24"));
  const std::string log = sim.logText();
  EXPECT_NE(log.find("connect pipe\nopen Kinevra version 5 send 1\n"), std::string::npos) << log;
  EXPECT_NE(log.find("define 0 ACCELERATION BODY X | meter per second squared | 4 send 2\n"), std::string::npos);
  EXPECT_NE(log.find("define 0 SIM ON GROUND | Bool | 2 send 18\n"), std::string::npos);
  EXPECT_NE(log.find("request 0 0 0 3 send 19\n"), std::string::npos);
  EXPECT_NE(log.find("subscribe 6 Crashed send 20\n"), std::string::npos);

  // The aircraft data, every frame: the scripted flight held in its turn.
  Message d1, d2;
  ASSERT_TRUE(nextWithId(h, kRecvSimObjectData, &d1));
  ASSERT_TRUE(nextWithId(h, kRecvSimObjectData, &d2));
  ASSERT_EQ(d1.bytes.size(), 40u + 17 * 8);
  EXPECT_EQ(d1.u32(12), 0u);   // request id
  EXPECT_EQ(d1.u32(20), 0u);   // define id
  EXPECT_EQ(d1.u32(36), 17u);  // define count
  const fsimsim::FlightState turn = fsimsim::flightAt(70);
  EXPECT_DOUBLE_EQ(d1.f64(40 + 8 * 13), turn.bank);
  EXPECT_DOUBLE_EQ(d1.f64(40 + 8 * 12), turn.heading);
  EXPECT_DOUBLE_EQ(d1.f64(40 + 8 * 8), turn.velocity[2]);
  EXPECT_EQ(d1.i64(40 + 8 * 16), 0);  // in the air
  EXPECT_EQ(d2.bytes, d1.bytes);

  // Events, an exception and the quit, as the simulator sends them.
  ASSERT_TRUE(sim.command("event Crashed 9\nexception 7\nquit"));
  Message ev, ex, quit;
  ASSERT_TRUE(nextWithId(h, kRecvEvent, &ev));
  EXPECT_EQ(ev.bytes.size(), 24u);
  EXPECT_EQ(ev.u32(16), 6u);  // the client's id of "Crashed"
  EXPECT_EQ(ev.u32(20), 9u);
  ASSERT_TRUE(nextWithId(h, kRecvException, &ex));
  EXPECT_EQ(ex.u32(12), 7u);
  ASSERT_TRUE(nextWithId(h, kRecvQuit, &quit));
  EXPECT_EQ(quit.bytes.size(), 12u);

  EXPECT_EQ(openClientCount(), 1);
  EXPECT_EQ(kOk, clientClose(h));
  EXPECT_EQ(openClientCount(), 0);
  EXPECT_EQ(kFail, clientClose(nullptr));
  EXPECT_EQ(kFail, clientClose(h));  // closed already
#if defined(_WIN32)
  CloseHandle(arrived);
#endif
  EXPECT_TRUE(sim.logged("closed"));
}

TEST(FlightSimClient, FallsBackFromThePipeToTcpOverIPv6AndIPv4AndBackToThePipe) {
  ClientFolders folders;
  FlightSimDouble sim(kSimulatorPipe);
  ASSERT_TRUE(sim.started()) << sim.why();
  Attempts attempts;
  const std::string absent = localPipe("kinevra-absent-" + uniqueName("pipe"));
  folders.write(ClientFolders::kCurrent, "[SimConnect]\nPort=" + absent.substr(9) + "\n");
  const std::string pipeMissed = "pipe " + absent + " -\n";

  // ::1 at the registry's IPv6 port.
  folders.setPorts(sim.port6(), sim.port4());
  ClientHandle h = nullptr;
  ASSERT_EQ(kOk, clientOpen(&h, "Kinevra", 0, 0, 0, 0));
  EXPECT_EQ(describe(attempts.take()), pipeMissed + "tcp6 ::1 " + sim.port6() + " +\n");
  ASSERT_TRUE(sim.loggedAfterLast("connect tcp6\n", "open Kinevra"));
  ASSERT_EQ(kOk, clientClose(h));

  // Nothing on ::1 at that port (fsimsim's IPv4 port): 127.0.0.1.
  folders.setPorts(sim.port4(), sim.port4());
  ASSERT_EQ(kOk, clientOpen(&h, "Kinevra", 0, 0, 0, 0));
  EXPECT_EQ(describe(attempts.take()),
            pipeMissed + "tcp6 ::1 " + sim.port4() + " -\ntcp4 127.0.0.1 " + sim.port4() + " +\n");
  ASSERT_TRUE(sim.loggedAfterLast("connect tcp4\n", "open Kinevra"));
  ASSERT_EQ(kOk, clientClose(h));

  // Neither answers: the simulator's own pipe on this machine, once more.
  folders.setPorts(sim.port4(), sim.port6());
  ASSERT_EQ(kOk, clientOpen(&h, "Kinevra", 0, 0, 0, 0));
  EXPECT_EQ(describe(attempts.take()), pipeMissed + "tcp6 ::1 " + sim.port4() + " -\ntcp4 127.0.0.1 " +
                                           sim.port6() + " -\npipe " + localPipe(kSimulatorPipe) + " +\n");
  ASSERT_TRUE(sim.loggedAfterLast("connect pipe\n", "open Kinevra"));
  ASSERT_EQ(kOk, clientClose(h));

  // A simulator on another machine is reached by its pipe only.
  folders.write(ClientFolders::kCurrent, "[SimConnect]\nProtocol=Auto\nAddress=sim-host.invalid\n");
  EXPECT_EQ(kFail, clientOpen(&h, "Kinevra", 0, 0, 0, 0));
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(describe(attempts.take()),
            "pipe \\\\sim-host.invalid\\pipe\\Microsoft Flight Simulator\\SimConnect -\n");

  // Protocol IPv4 goes straight to TCP, here with the registry's port.
  folders.write(ClientFolders::kCurrent, "[SimConnect]\nProtocol=ipv4\nAddress=127.0.0.1\n");
  folders.setPorts(sim.port6(), sim.port4());
  ASSERT_EQ(kOk, clientOpen(&h, "Kinevra", 0, 0, 0, 0));
  EXPECT_EQ(describe(attempts.take()), "tcp4 127.0.0.1 " + sim.port4() + " +\n");
  ASSERT_EQ(kOk, clientClose(h));
}

TEST(FlightSimClient, ConfigurationFilesIndexesAndApplicationNames) {
  ClientFolders folders;
  const std::string pipe = "kinevra-" + uniqueName("config");
  FlightSimDouble sim(pipe);
  ASSERT_TRUE(sim.started()) << sim.why();
  Attempts attempts;

  // An index whose section no file has.
  ClientHandle h = nullptr;
  EXPECT_EQ(kInvalidArg, clientOpen(&h, "Kinevra", 0, 0, 0, 3));
  EXPECT_TRUE(attempts.take().empty());

  // Later files override earlier ones key by key; names and keys in any case.
  folders.write(ClientFolders::kShared,
                "[SimConnect.3]\nPort=not-this-one\nMaxReceiveSize=60000\n[SimConnect]\nPort=nor-this\n");
  folders.write(ClientFolders::kUser, "; the user's\n[simconnect.3]\n  port = \"" + pipe + "\"\n");
  folders.write(ClientFolders::kCurrent, "[SimConnect.3]\nDisableNagle=1\n");
  ASSERT_EQ(kOk, clientOpen(&h, "Kinevra", 0, 0, 0, 3));
  EXPECT_EQ(describe(attempts.take()), "pipe " + localPipe(pipe) + " +\n");
  Message reply;
  ASSERT_TRUE(nextWithId(h, kRecvOpen, &reply));
  // The shared file's larger limit holds: a message above the default one
  // arrives whole, through a receive buffer grown for it.
  ASSERT_TRUE(sim.command("big 50000"));
  Message big;
  ASSERT_TRUE(nextWithId(h, 99, &big)) << h->closedReason() << " " << h->lostCode();
  EXPECT_EQ(big.bytes.size(), 50000u);
  ASSERT_EQ(kOk, clientClose(h));

  // A smaller limit than the default changes nothing: 41088 bytes pass,
  // 41089 close the connection.
  folders.clear();
  folders.write(ClientFolders::kCurrent, "[SimConnect]\nPort=" + pipe + "\nMaxReceiveSize=1000\n");
  ASSERT_EQ(kOk, clientOpen(&h, "Kinevra", 0, 0, 0, 0));
  ASSERT_TRUE(nextWithId(h, kRecvOpen, &reply));
  ASSERT_TRUE(sim.command("big 41088\nbig 41089"));
  ASSERT_TRUE(nextWithId(h, 99, &big));
  EXPECT_EQ(big.bytes.size(), 41088u);
  EXPECT_TRUE(reportsLoss(h, kAbort));
  EXPECT_EQ(h->closedReason(), kCloseTooLarge);
  ASSERT_EQ(kOk, clientClose(h));

  // Application names: 255 characters go out whole, 256 are refused before
  // any connection is tried.
  const std::string name255(255, 'n');
  ASSERT_EQ(kOk, clientOpen(&h, name255.c_str(), 0, 0, 0, 0));
  EXPECT_TRUE(sim.logged("open " + name255 + " version 5"));
  ASSERT_EQ(kOk, clientClose(h));
  attempts.take();
  const std::string name256(256, 'n');
  EXPECT_EQ(kInsufficientBuffer, clientOpen(&h, name256.c_str(), 0, 0, 0, 0));
  EXPECT_EQ(h, nullptr);
  EXPECT_TRUE(attempts.take().empty());

  // Texts of requests: 255 characters pass, 256 are refused and take no
  // send id.
  ASSERT_EQ(kOk, clientOpen(&h, "Kinevra", 0, 0, 0, 0));
  EXPECT_EQ(kInsufficientBuffer, clientSubscribeToSystemEvent(h, 1, name256.c_str()));
  EXPECT_EQ(kInsufficientBuffer, clientAddToDataDefinition(h, 0, "SIM ON GROUND", name256.c_str(), 2, 0, 0));
  EXPECT_EQ(kOk, clientSubscribeToSystemEvent(h, 1, name255.c_str()));
  EXPECT_TRUE(sim.logged("subscribe 1 " + name255 + " send 2\n"));
  ASSERT_EQ(kOk, clientClose(h));
}

TEST(FlightSimClient, MessagesAreCutFromTheStreamWhole) {
  ClientFolders folders;
  FlightSimDouble sim("", {"--at", "10"});
  ASSERT_TRUE(sim.started()) << sim.why();
  folders.write(ClientFolders::kCurrent, ipv4Config(sim.port4(), "DisableNagle=1\n"));
  ClientHandle h = nullptr;
  ASSERT_EQ(kOk, clientOpen(&h, "Kinevra", 0, 0, 0, 0));
  Message reply;
  ASSERT_TRUE(nextWithId(h, kRecvOpen, &reply));
  defineAircraft(h);

  // One message in three writes, its length prefix torn: delivered once, whole.
  ASSERT_TRUE(sim.command("split"));
  ASSERT_EQ(kOk, clientRequestDataOnSimObject(h, 0, 0, 0, 1, 0, 0, 0, 0));  // once
  ASSERT_TRUE(sim.logged("sent split"));
  Message whole;
  ASSERT_TRUE(nextWithId(h, kRecvSimObjectData, &whole));
  ASSERT_EQ(whole.bytes.size(), 176u);
  EXPECT_EQ(whole.i64(40 + 8 * 16), 1);  // taxiing: on the ground
  EXPECT_DOUBLE_EQ(whole.f64(40 + 8 * 8), fsimsim::flightAt(10).velocity[2]);
  const unsigned char* data = nullptr;
  std::uint32_t size = 0;
  EXPECT_EQ(kFail, clientGetNextDispatch(h, &data, &size));

  // Two messages in one write: two entries, in order.
  ASSERT_TRUE(sim.command("merge"));
  ASSERT_EQ(kOk, clientRequestDataOnSimObject(h, 1, 0, 0, 1, 0, 0, 0, 0));
  ASSERT_EQ(kOk, clientRequestDataOnSimObject(h, 2, 0, 0, 1, 0, 0, 0, 0));
  ASSERT_TRUE(sim.logged("sent merged"));
  Message first, second;
  ASSERT_TRUE(nextWithId(h, kRecvSimObjectData, &first));
  ASSERT_TRUE(nextWithId(h, kRecvSimObjectData, &second));
  EXPECT_EQ(first.u32(12), 1u);
  EXPECT_EQ(second.u32(12), 2u);
  EXPECT_EQ(first.bytes.size(), 176u);
  EXPECT_EQ(second.bytes.size(), 176u);
  EXPECT_EQ(kFail, clientGetNextDispatch(h, &data, &size));
  ASSERT_EQ(kOk, clientClose(h));
}

TEST(FlightSimClient, EachLossIsReportedWithItsCodeByTheNextCall) {
  ClientFolders folders;
  const std::string pipe = "kinevra-" + uniqueName("loss");
  FlightSimDouble sim(pipe);
  ASSERT_TRUE(sim.started()) << sim.why();
  const std::string overTcp = ipv4Config(sim.port4());
  const std::string overPipe = "[SimConnect]\nProtocol=Pipe\nPort=" + pipe + "\n";

  struct Case {
    const char* command;
    const std::string* config;
    std::int32_t reason, code;
  };
#if defined(_WIN32)
  const Case pipeCut{"cut", &overPipe, kCloseDisconnected, kStatusPipeBrokenCode};
#else
  const Case pipeCut{"cut", &overPipe, kClosePeerClosed, kStatusLinkFailedCode};
#endif
  const Case cases[] = {
      {"prefix 3", &overTcp, kCloseTooSmall, kAbort},
      {"prefix 41089", &overTcp, kCloseTooLarge, kAbort},
      {"prefix 4294967295", &overPipe, kCloseTooLarge, kAbort},
      {"cut", &overTcp, kClosePeerClosed, kStatusLinkFailedCode},
      {"reset", &overTcp, kCloseDisconnected, kStatusResetCode},
      pipeCut,
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.command) + (c.config == &overTcp ? " over TCP" : " over the pipe"));
    folders.write(ClientFolders::kCurrent, *c.config);
    ClientHandle h = nullptr;
    ASSERT_EQ(kOk, clientOpen(&h, "Kinevra", 0, 0, 0, 0));
    Message reply;
    ASSERT_TRUE(nextWithId(h, kRecvOpen, &reply));
    defineAircraft(h);
    ASSERT_EQ(kOk, clientRequestDataOnSimObject(h, 0, 0, 0, 3, 0, 0, 0, 0));
    Message d;
    ASSERT_TRUE(nextWithId(h, kRecvSimObjectData, &d));
    ASSERT_TRUE(sim.command(c.command));
    // Messages that came before the loss are still handed out; then the code.
    const std::int32_t got = lossCode(h);
    std::int32_t reason = c.reason, code = c.code;
#if defined(_WIN32)
    // Wine reports a reset TCP connection as an ended one now and then.
    if (c.reason == kCloseDisconnected && c.config == &overTcp && h->closedReason() == kClosePeerClosed) {
      reason = kClosePeerClosed;
      code = kStatusLinkFailedCode;
    }
#endif
    EXPECT_EQ(got, code) << [&] {
      std::string out, all = sim.logText();  // what fsimsim did, without the data
      for (std::size_t p = 0, e; p < all.size(); p = e + 1) {
        e = all.find('\n', p);
        if (e == std::string::npos) e = all.size();
        const std::string line = all.substr(p, e - p);
        if (line.rfind("define", 0) != 0 && line.rfind("frame", 0) != 0) out += line + "\n";
      }
      return out;
    }();
    EXPECT_EQ(h->closedReason(), reason);
    EXPECT_EQ(code, clientSubscribeToSystemEvent(h, 7, "Quit"));
    EXPECT_EQ(code, clientRequestDataOnSimObject(h, 0, 0, 0, 3, 0, 0, 0, 0));
    EXPECT_EQ(kOk, clientClose(h));
  }
  EXPECT_EQ(openClientCount(), 0);
}

TEST(FlightSimClient, CompletionStatusesCloseWithTheirReasons) {
  struct Row {
    std::uint32_t status;
    bool pipe;
    bool closes;
    std::int32_t reason;
  };
  const Row rows[] = {
      {0, false, false, 0},
      {0x80000005u, true, false, 0},  // more of a pipe message follows
      {0x80000005u, false, true, kCloseOther},
      {0xC0000120u, false, true, kCloseCancelled},
      {0xC000013Cu, false, true, kCloseDisconnected},
      {0xC000014Bu, true, true, kCloseDisconnected},
      {0xC000020Du, false, true, kCloseDisconnected},
      {0xC0000001u, true, true, kCloseOther},
  };
  for (const Row& r : rows) {
    std::int32_t reason = -1, code = 0;
    EXPECT_EQ(r.closes, closeForStatus(r.status, r.pipe, &reason, &code)) << std::hex << r.status;
    if (r.closes) {
      EXPECT_EQ(reason, r.reason) << std::hex << r.status;
      EXPECT_EQ(static_cast<std::uint32_t>(code), r.status);
    }
  }
}

}  // namespace
}  // namespace kinevra::test
