// A C++ host of the same toolchain uses the exported class WindSerial from
// the shared library (linked, not built in): every member resolves from the
// library's export table, and the object behaves.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "kinevra_wind.h"

namespace {

TEST(WindClassFromTheLibrary, EveryMemberLinksAndWorks) {
  auto* w = new kinevra::WindSerial;
  EXPECT_FALSE(w->isInit());
  EXPECT_FALSE(w->isRunning());
  EXPECT_EQ(w->sendIntervalMs.load(), 15u);
  EXPECT_FALSE(w->init("COM199", 9600, "8N1", 40));  // no such port
  EXPECT_EQ(w->sendIntervalMs.load(), 40u);
  w->start();
  EXPECT_FALSE(w->isRunning());
  w->updateBuffer({1, 2, 3});
  {
    std::lock_guard<std::mutex> hold(w->bufferMutex);
    EXPECT_EQ(w->buffer, (std::vector<std::uint8_t>{1, 2, 3}));
  }
  w->pause();
  EXPECT_TRUE(w->paused.load());
  w->unpause();
  EXPECT_FALSE(w->paused.load());
  w->stop();
  delete w;
}

TEST(WindClassFromTheLibrary, TheFlatExportAnswersWithUtf16) {
  const kinevra_char16 port[] = {'C', 'O', 'M', '1', '9', '9', 0};
  const kinevra_char16 format[] = {'8', 'N', '1', 0};
  EXPECT_EQ(initWindSerial(port, 9600, format, 20), 0);
  EXPECT_EQ(initWindSerial(nullptr, 9600, nullptr, 20), 0);
}

}  // namespace
