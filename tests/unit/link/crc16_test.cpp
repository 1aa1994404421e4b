// CRC-16/ARC and the sender rule that writes it into outgoing messages.
#include <gtest/gtest.h>

#include <string_view>
#include <thread>
#include <vector>

#include "link/crc16.h"
#include "link/serial_frame.h"

namespace kinevra {
namespace {

std::uint16_t crcOf(std::string_view s) {
  return crc16(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

TEST(Crc16, MatchesTheArcCheckValueAndKnownFrames) {
  EXPECT_EQ(crcOf("123456789"), 0xBB3D);
  EXPECT_EQ(crcOf(""), 0x0000);
  const std::uint8_t version[] = {0xF9, 0xF9, 0x02, 0x00, 0x1C, 0x03};
  EXPECT_EQ(crc16(version, sizeof version), 0x04C1);
}

// The CRC by its definition, one bit at a time.
std::uint16_t bitwiseCrc(const std::uint8_t* d, std::size_t n) {
  std::uint16_t c = 0;
  for (std::size_t i = 0; i < n; ++i) {
    c ^= d[i];
    for (int b = 0; b < 8; ++b) c = (c & 1) ? static_cast<std::uint16_t>((c >> 1) ^ 0xA001) : c >> 1;
  }
  return c;
}

std::vector<std::uint8_t> noise(std::size_t n) {
  std::vector<std::uint8_t> v(n);
  std::uint32_t x = 2463534242u;
  for (auto& b : v) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x);
  }
  return v;
}

TEST(Crc16, AgreesWithTheBitwiseDefinitionAtEveryLengthAndAlignment) {
  const auto data = noise(700);
  for (std::size_t start = 0; start < 9; ++start)
    for (std::size_t n = 0; n + start <= data.size(); n += (n < 80 ? 1 : 37))
      ASSERT_EQ(crc16(data.data() + start, n), bitwiseCrc(data.data() + start, n)) << start << "+" << n;
}

TEST(Crc16, SliderMovesTheWindowCrcOnByOneByte) {
  const auto data = noise(1200);
  for (std::size_t length : {6u, 36u, 76u, 463u}) {
    const Crc16Slider slider(length);
    std::uint16_t crc = crc16(data.data(), length);
    for (std::size_t pos = 1; pos + length <= data.size(); ++pos) {
      crc = slider.slide(crc, data[pos - 1], data[pos - 1 + length]);
      ASSERT_EQ(crc, crc16(data.data() + pos, length)) << length << " at " << pos;
    }
  }
}

TEST(Crc16, FirstUseFromManyThreadsGivesOneTable) {
  // Under ThreadSanitizer this also shows that building the table on first use
  // does not race with readers.
  std::vector<std::thread> threads;
  std::vector<std::uint16_t> results(4);
  std::vector<const std::uint16_t*> tables(4);
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&, i] {
      results[i] = crcOf("123456789");
      tables[i] = crc16Table();
    });
  for (auto& t : threads) t.join();
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(results[i], 0xBB3D);
    EXPECT_EQ(tables[i], tables[0]);
  }
}

TEST(SenderRule, ReplacesTheLastTwoBytesWithTheCrcLowByteFirst) {
  std::uint8_t msg[] = {'a', 'b', 'c', '\n', '\r'};
  applyFrameCrc(msg, sizeof msg);
  const std::uint16_t crc = crcOf("abc");
  EXPECT_EQ(msg[0], 'a');
  EXPECT_EQ(msg[2], 'c');
  EXPECT_EQ(msg[3], crc & 0xFF);
  EXPECT_EQ(msg[4], crc >> 8);

  std::uint8_t pair[] = {'\n', '\r'};  // two bytes: the CRC of nothing
  applyFrameCrc(pair, 2);
  EXPECT_EQ(pair[0], 0);
  EXPECT_EQ(pair[1], 0);

  std::uint8_t one[] = {0x55};  // too short to carry a CRC: untouched
  applyFrameCrc(one, 1);
  EXPECT_EQ(one[0], 0x55);
}

}  // namespace
}  // namespace kinevra
