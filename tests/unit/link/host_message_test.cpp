// The 512-byte window of host messages: where an outgoing message ends, and
// how much of a received frame reaches the host's buffer.
#include <gtest/gtest.h>

#include <vector>

#include "frame_builder.h"
#include "link/host_message.h"

namespace kinevra {
namespace {

using test::Bytes;

// A buffer of exactly 512 bytes with an LF CR pair at lf (if any); the test
// runs under ASan, so any read past the window is caught.
std::vector<std::uint8_t> hostBuffer(int lf) {
  std::vector<std::uint8_t> b(kHostMessageWindow, 'x');
  if (lf >= 0) {
    b[lf] = kLf;
    if (lf + 1 < static_cast<int>(b.size())) b[lf + 1] = kCr;
  }
  return b;
}

TEST(HostMessage, EndsAtTheFirstLfCrPairWithinTheWindow) {
  EXPECT_EQ(hostMessageLength(hostBuffer(0).data()), 2u);
  EXPECT_EQ(hostMessageLength(hostBuffer(5).data()), 7u);
  EXPECT_EQ(hostMessageLength(hostBuffer(510).data()), 512u);
  auto two = hostBuffer(40);
  two[10] = kLf;
  two[11] = kCr;
  EXPECT_EQ(hostMessageLength(two.data()), 12u);
}

TEST(HostMessage, PairWithItsLfAt511IsBeyondTheWindow) {
  EXPECT_EQ(hostMessageLength(hostBuffer(511).data()), 0u);
  EXPECT_EQ(hostMessageLength(hostBuffer(-1).data()), 0u);
}

TEST(HostMessage, LoneLfOrCrOrReversedPairDoNotEndAMessage) {
  auto b = hostBuffer(-1);
  b[3] = kLf;
  b[4] = 'y';
  b[7] = kCr;
  b[8] = kLf;
  b[9] = 'z';
  EXPECT_EQ(hostMessageLength(b.data()), 0u);
  b[9] = kCr;  // CR LF CR: the pair LF CR starts at 8
  EXPECT_EQ(hostMessageLength(b.data()), 10u);
}

TEST(CopyOut, ReceivedFramesReachTheHostWhole) {
  const Bytes fa = test::makeFrame(0xFA, test::Trailer::LfCr);
  EXPECT_EQ(copyOutLength(fa.data(), fa.size()), 465u);
  // A payload holding an LF CR pair of its own does not cut the frame short.
  Bytes f8 = test::makeFrame(0xF8, test::Trailer::LfCr);
  f8[10] = kLf;
  f8[11] = kCr;
  EXPECT_EQ(copyOutLength(f8.data(), f8.size()), 38u);
}

TEST(CopyOut, OtherEntriesStopAtTheirFirstPairInsideTheWindow) {
  Bytes e = {'a', kLf, kCr, 'b'};
  EXPECT_EQ(copyOutLength(e.data(), e.size()), 3u);
  Bytes none = {'a', 'b', kLf};
  EXPECT_EQ(copyOutLength(none.data(), none.size()), 0u);
  EXPECT_EQ(copyOutLength(none.data(), 0), 0u);

  Bytes big(600, 'x');  // longer than the window, ends in LF CR
  big[598] = kLf;
  big[599] = kCr;
  EXPECT_EQ(copyOutLength(big.data(), big.size()), 0u);
  big[510] = kLf;
  big[511] = kCr;
  EXPECT_EQ(copyOutLength(big.data(), big.size()), 512u);
  big[510] = 'x';
  big[511] = kLf;
  big[512] = kCr;
  EXPECT_EQ(copyOutLength(big.data(), big.size()), 0u);
}

}  // namespace
}  // namespace kinevra
