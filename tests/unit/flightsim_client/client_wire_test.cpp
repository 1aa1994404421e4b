// The wire layer on its own: the fixed layout of the open message, and the
// receive buffer's growth up to its largest size.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "flightsim_client/client_wire.h"

namespace kinevra::flightsim {
namespace {

TEST(FlightSimWire, OpenMessageCarriesTheFixedBody) {
  std::vector<unsigned char> m(kOpenSize, 0xEE);
  writeHeader(m.data(), kOpenSize, kTypeOpen, 1);
  ASSERT_TRUE(writeOpenBody(m.data(), "Kinevra"));
  const unsigned char expected[] = {0x28, 0x01, 0, 0, 5, 0, 0, 0, 0x01, 0, 0, 0xF0, 1, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(m.data(), expected, sizeof expected));
  EXPECT_STREQ(reinterpret_cast<const char*>(m.data() + 16), "Kinevra");
  for (std::size_t i = 16 + 7; i < 272; ++i) ASSERT_EQ(m[i], 0) << i;  // the rest of the name field
  const unsigned char tail[] = {0, 0, 0, 0, 0x00, 0x48, 0x4B, 0x00, 11, 0, 0, 0, 0, 0, 0, 0,
                                0xBB, 0xF4, 0, 0, 3, 0, 0, 0};  // 62651 = 0xF4BB
  EXPECT_EQ(0, std::memcmp(m.data() + 272, tail, sizeof tail));
}

bool keep(void* context, ReceivedMessage&& m) {
  static_cast<std::vector<std::uint32_t>*>(context)->push_back(m.length);
  return true;
}

// Feeds a stream in receives as large as the free space allows.
ExtractResult feed(ReceiveBuffer& b, const std::vector<unsigned char>& stream, std::uint32_t max,
                   std::vector<std::uint32_t>* got) {
  std::size_t fed = 0;
  ExtractResult r = ExtractResult::NeedMore;
  while (fed < stream.size() && r == ExtractResult::NeedMore) {
    const std::size_t n = std::min(b.capacity - b.writePos, stream.size() - fed);
    std::memcpy(b.data + b.writePos, stream.data() + fed, n);
    b.writePos += n;
    fed += n;
    r = extractMessages(b, max, &keep, got);
  }
  return r;
}

TEST(FlightSimWire, TheBufferGrowsToOneMebibyteAndNoFurther) {
  std::vector<unsigned char> stream(kLargestReceiveBuffer + 16, 0);
  putU32(stream.data(), kLargestReceiveBuffer);  // one message filling the largest buffer
  putU32(stream.data() + kLargestReceiveBuffer, 16);
  ReceiveBuffer b;
  ASSERT_TRUE(b.allocate(kReceiveChunk));
  std::vector<std::uint32_t> got;
  EXPECT_EQ(ExtractResult::NeedMore, feed(b, stream, 2000000, &got));
  EXPECT_EQ(got, (std::vector<std::uint32_t>{kLargestReceiveBuffer, 16}));
  EXPECT_EQ(b.capacity, kLargestReceiveBuffer);
  EXPECT_EQ(b.readPos, 0u);
  EXPECT_EQ(b.writePos, 0u);

  // One byte more than the largest buffer holds: refused at its prefix,
  // whatever "MaxReceiveSize" allows.
  ReceiveBuffer c;
  ASSERT_TRUE(c.allocate(kReceiveChunk));
  std::vector<unsigned char> tooLong(64, 0);
  putU32(tooLong.data(), kLargestReceiveBuffer + 1);
  got.clear();
  EXPECT_EQ(ExtractResult::TooLarge, feed(c, tooLong, 2000000, &got));
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(c.capacity, kReceiveChunk);
}

}  // namespace
}  // namespace kinevra::flightsim
