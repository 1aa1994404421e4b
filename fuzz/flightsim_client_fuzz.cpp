// The flight-simulator client's receive side: the bytes of a stream, handed
// over in receives of the sizes the input chooses, are cut into messages
// exactly as whole messages of the stream; a bad length prefix stops the
// cutting with its reason; nothing outside the received bytes is read (ASan).
//
// Input: byte 0 picks the maximum message size (small, the default or a
// large one), byte 1 seeds the receive sizes; the rest is the stream.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "flightsim_client/client_wire.h"

using namespace kinevra::flightsim;

namespace {

struct Sink {
  std::vector<std::vector<unsigned char>> messages;
};

bool take(void* context, ReceivedMessage&& m) {
  static_cast<Sink*>(context)->messages.emplace_back(m.data.get(), m.data.get() + m.length);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint32_t maxes[] = {64, kDefaultMaxReceive, 200000, 0xFFFFFFFFu};
  const std::uint32_t maxMessage = maxes[data[0] & 3];
  std::uint32_t seed = data[1] | 1u;
  const std::uint8_t* stream = data + 2;
  const std::size_t length = size - 2;

  ReceiveBuffer b;
  if (!b.allocate(kReceiveChunk)) return 0;
  Sink sink;
  std::size_t fed = 0;
  ExtractResult r = ExtractResult::NeedMore;
  while (fed < length && r == ExtractResult::NeedMore) {
    seed = seed * 1103515245u + 12345u;
    std::size_t n = 1 + (seed >> 16) % 3000;
    const std::size_t room = b.capacity - b.writePos;
    if (n > room) n = room;
    if (n > length - fed) n = length - fed;
    std::memcpy(b.data + b.writePos, stream + fed, n);
    b.writePos += n;
    fed += n;
    r = extractMessages(b, maxMessage, &take, &sink);
    if (b.capacity > kLargestReceiveBuffer) std::abort();
    if (r == ExtractResult::NeedMore && b.writePos >= b.capacity) std::abort();  // no room to receive
  }

  // The messages are the stream's, in order, each with its own length.
  std::size_t at = 0;
  for (const auto& m : sink.messages) {
    std::uint32_t len;
    std::memcpy(&len, stream + at, 4);
    if (m.size() != len || len < 4 || len > maxMessage || std::memcmp(m.data(), stream + at, len) != 0) std::abort();
    at += len;
  }
  if (r == ExtractResult::NeedMore) {
    // What is left is one unfinished message (or less than a prefix).
    if (b.writePos - b.readPos != fed - at) std::abort();
  } else if (r == ExtractResult::TooLarge || r == ExtractResult::TooSmall) {
    std::uint32_t len;
    std::memcpy(&len, stream + at, 4);
    const bool large = len > maxMessage || len > kLargestReceiveBuffer;
    if ((r == ExtractResult::TooLarge) != large || (r == ExtractResult::TooSmall) != (!large && len < 4)) std::abort();
  }
  return 0;
}
