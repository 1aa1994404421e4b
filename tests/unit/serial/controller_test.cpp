// Discovery and the real serial path against rigsim on a pseudo-terminal,
// presented as a supported USB controller by the catalog.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "link/frame_parser.h"
#include "link/serial_frame.h"
#include "link/serial_discovery.h"
#include "platform/pseudo_terminal.h"
#include "serial_support.h"

namespace kinevra {
namespace {

using test::Rig;

struct Controller : ::testing::Test {
  std::unique_ptr<LinkState> link = std::make_unique<LinkState>();
  CSerialPort port;
  test::FakeCatalog catalog;
  test::HookedClock clock;
  SerialDiscovery d{*link, port, catalog, clock};
  std::vector<std::vector<std::uint8_t>> sent;
  std::unique_ptr<test::ComFolder> folder;

  void SetUp() override {
    platform::PseudoTerminal probe;
    if (!probe.open()) GTEST_SKIP() << "no pseudo-terminals on this system (Windows has none to map a COM port to)";
    folder = std::make_unique<test::ComFolder>();
    link->bridgeRunning = true;
    link->autoConnect = true;
    d.setMessageSink([this](const std::uint8_t* m) { sent.emplace_back(m, m + 8); });
  }

  // rigsim's answer must be waiting when the pass looks, however slow the
  // machine: its 10 ms pause lasts until rigsim has logged what it did.
  void syncPauseOn(Rig& rig, const std::string& what, int count = 1) {
    clock.onSleep = [&rig, what, count](std::int64_t ms) {
      if (ms == 10) rig.awaitLog(what, count);
    };
  }
};

// A controller that stops reading: the port's write waits out its time-out
// and then fails (the bridge closes the port and looks for the controller
// again), rather than answer a short count as if it had written.
TEST_F(Controller, AWriteTheDeviceNeverTakesFailsAtItsTimeOut) {
  platform::PseudoTerminal deaf;  // its controller end is never read
  ASSERT_TRUE(deaf.open());
  std::error_code ec;
  std::filesystem::create_symlink(deaf.peerPath(), folder->path() / "com7", ec);
  ASSERT_FALSE(ec) << ec.message();
  port.open(7);
  port.setTotalTimeouts(200, 200);
  const std::vector<std::uint8_t> frames(1 << 20, 0xF8);  // far more than any line buffer holds
  try {
    port.write(frames.data(), frames.size());
    ADD_FAILURE() << "a write nobody took was reported as done";
  } catch (const CSerialException& e) {
    EXPECT_EQ(e.error, platform::timeoutErrorCode());
  }
  port.close();
}

struct ReplyCase {
  const char* reply;
  const char* trailer;
  bool standardAccepts;
};

class Replies : public Controller, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(Replies, AutoConnectAcceptsEveryReplyAndTheStandardPortOnlyReplyA) {
  const ReplyCase c = GetParam();
  Rig rig(*folder, 5, {"--reply", c.reply, "--trailer", c.trailer});
  ASSERT_TRUE(rig.started());
  catalog.addPort(5);
  syncPauseOn(rig, "tx reply", 2);

  test::Stdout out_;
  EXPECT_EQ(d.autoConnectPass(), 1);
  out_.take();
  EXPECT_TRUE(link->serialPortOpen);
  EXPECT_TRUE(port.isOpen());
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_TRUE(std::equal(sent[0].begin(), sent[0].end(), kFirstAfterConnect.begin()));
  EXPECT_TRUE(std::equal(sent[1].begin(), sent[1].end(), kSecondAfterConnect.begin()));
  EXPECT_TRUE(rig.awaitLog(test::kRequestLine, 2));  // the request, twice

  d.closeComPort();
  d.setStandartPort("COM5");
  test::Stdout out2_;
  EXPECT_EQ(d.openStandardPort(), c.standardAccepts ? 1 : 0);
  const std::string out = out2_.take();
  if (c.standardAccepts) {
    EXPECT_EQ(out, "opened....id correct. \n");
    EXPECT_TRUE(link->serialPortOpen);
  } else {
    EXPECT_EQ(out, "opened.... wrong id");
    EXPECT_FALSE(link->serialPortOpen);
    EXPECT_FALSE(port.isOpen());
  }
}

INSTANTIATE_TEST_SUITE_P(Serial, Replies,
                         ::testing::Values(ReplyCase{"A", "lfcr", true}, ReplyCase{"A", "crc", false},
                                           ReplyCase{"B", "lfcr", false}, ReplyCase{"B", "crc", false}));

TEST_F(Controller, StaleBytesBeforeTheReplyAreDiscarded) {
  Rig rig(*folder, 5, {"--answers", "1", "--stale", "12", "--reply", "B"});
  ASSERT_TRUE(rig.started());
  catalog.addPort(5);
  syncPauseOn(rig, "tx reply");
  test::Stdout out_;
  EXPECT_EQ(d.autoConnectPass(), 1);
  out_.take();
  EXPECT_TRUE(link->serialPortOpen);
}

TEST_F(Controller, AWrongIdOrNoAnswerMovesOnToTheNextPort) {
  Rig silent(*folder, 3, {"--reply", "none"});
  Rig wrong(*folder, 4, {"--reply", "X"});
  Rig good(*folder, 9, {});
  ASSERT_TRUE(silent.started() && wrong.started() && good.started());
  catalog.addPort(3);
  catalog.addPort(4);
  catalog.addPort(9);
  int pauses = 0;
  clock.onSleep = [&](std::int64_t ms) {
    if (ms != 10) return;
    ++pauses;
    if (pauses == 1) silent.awaitLog(test::kRequestLine, 2);
    if (pauses == 2) wrong.awaitLog("tx reply", 2);
    if (pauses == 3) good.awaitLog("tx reply", 2);
  };
  test::Stdout out_;
  EXPECT_EQ(d.autoConnectPass(), 1);
  const std::string out = out_.take();
  EXPECT_EQ(out.find("COM3 COM4 COM9 "), 0u);
  EXPECT_EQ(test::countOf(out, "Serialexception , Error:"), 2) << out;
  EXPECT_EQ(pauses, 3);
}

TEST_F(Controller, ARefusedIdentityIsNeverOpened) {
  Rig rig(*folder, 5, {});
  ASSERT_TRUE(rig.started());
  catalog.names = {"COM5"};
  catalog.devices = {{"Prolific (COM5)", "USB\\VID_067B&PID_2303"}};
  test::Stdout out_;
  EXPECT_EQ(d.autoConnectPass(), 0);
  EXPECT_EQ(out_.take(), "COM5 vid wrong \n\r");
  EXPECT_EQ(rig.log().find("rx"), std::string::npos);
}

TEST_F(Controller, ThePlatformCatalogFindsTheMappedPortButNoUsbIdentity) {
  Rig rig(*folder, 7, {});
  ASSERT_TRUE(rig.started());
  SerialDiscovery real(*link, port, systemSerialCatalog(), clock);
  std::vector<std::uint32_t> ports;
  ASSERT_TRUE(CEnumerateSerial::UsingQueryDosDevice(ports));
  EXPECT_EQ(ports, std::vector<std::uint32_t>{7});
  test::Stdout out_;
  EXPECT_FALSE(real.isSupportedUsbPort("COM7"));  // a pseudo-terminal has no USB vendor
  EXPECT_EQ(out_.take(), "vid wrong \n\r");
}

TEST_F(Controller, FramesFlowBothWaysOnceIdentified) {
  Rig rig(*folder, 5, {});
  ASSERT_TRUE(rig.started());
  catalog.addPort(5);
  d.setStandartPort("COM5");
  test::Stdout out_;
  ASSERT_EQ(d.openStandardPort(), 1);
  out_.take();

  // To the controller: a message with the sender's CRC.
  std::uint8_t msg[38] = {0xF8, 0xF8};
  msg[36] = kLf;
  msg[37] = kCr;
  applyFrameCrc(msg, sizeof msg);
  EXPECT_EQ(port.write(msg, sizeof msg), sizeof msg);
  EXPECT_TRUE(rig.awaitLog("rx F8 crc-ok"));

  // From the controller: frames of every kind, found by the frame parser.
  for (const char* k : {"F9", "F8", "FA", "FB"}) rig.command(std::string("send ") + k);
  ASSERT_TRUE(rig.awaitLog("tx FB"));
  std::vector<std::uint8_t> rx;
  std::uint8_t b[600];
  ASSERT_TRUE(test::eventually([&] {
    const std::uint32_t n = port.bytesWaiting();
    if (n) rx.insert(rx.end(), b, b + port.read(b, n < sizeof b ? n : sizeof b));
    return rx.size() >= 8 + 8 + 38 + 465 + 78;  // the second reply still waits first
  }));
  extractFrames(rx, link->serialRxQueue, link->autoMessageCrc);
  EXPECT_EQ(link->serialRxQueue.size(), 5u);
}

TEST_F(Controller, AControllerThatVanishesRaisesAndThePortEndsClosed) {
  Rig rig(*folder, 5, {});
  ASSERT_TRUE(rig.started());
  catalog.addPort(5);
  d.setStandartPort("COM5");
  test::Stdout out_;
  ASSERT_EQ(d.openStandardPort(), 1);
  out_.take();
  rig.command("close");
  ASSERT_TRUE(rig.awaitLog("closed"));
  bool raised = false;
  try {
    std::uint8_t b[64];
    // The bridge's read: what waits, then the hang-up.
    for (int i = 0; i < 1000; ++i) {
      const std::uint32_t n = port.bytesWaiting();
      port.read(b, n ? (n < 64 ? n : 64) : 1);
    }
  } catch (const CSerialException& e) {
    raised = true;
    EXPECT_NE(e.error, 0u);
  }
  EXPECT_TRUE(raised);
  d.closeComPort();
  EXPECT_FALSE(port.isOpen());
  EXPECT_FALSE(link->serialPortOpen);
}

TEST_F(Controller, AControllerThatVanishesDuringAPassEndsItClosed) {
  Rig rig(*folder, 5, {"--reply", "none"});
  ASSERT_TRUE(rig.started());
  catalog.addPort(5);
  clock.onSleep = [&](std::int64_t ms) {
    if (ms != 10) return;
    rig.awaitLog(test::kRequestLine, 2);
    rig.command("close");
    rig.awaitLog("closed");
  };
  test::Stdout out_;
  EXPECT_EQ(d.autoConnectPass(), 0);
  const std::string out = out_.take();
  EXPECT_EQ(test::countOf(out, "Serialexception , Error:"), 2) << out;  // reported, closed, reported again
  EXPECT_FALSE(port.isOpen());
  EXPECT_FALSE(link->serialPortOpen);
}

}  // namespace
}  // namespace kinevra
