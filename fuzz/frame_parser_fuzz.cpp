// The controller frame parser on arbitrary input, fed in pieces as the serial
// bridge does. The first byte chooses the piece size and the queue limit.
// Checks after every call: the buffer only lost bytes from its front and
// holds less than one frame; every queued entry is a known kind of the right
// length in normal form; autoMessageCrc only ever goes from 0 to 1.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "link/frame_parser.h"
#include "link/host_message.h"
#include "link/serial_frame.h"

namespace {

using kinevra::Message;

void require(bool ok) {
  if (!ok) std::abort();
}

void checkEntry(const Message& e) {
  require(e.size() >= kinevra::kShortestFrame);
  const kinevra::SerialFrame* kind = kinevra::SerialFrame::byKind(e[0]);
  require(kind != nullptr);
  require(e[1] == e[0]);
  require(e.size() == kind->length);
  require(e[e.size() - 2] == kinevra::kLf && e[e.size() - 1] == kinevra::kCr);
}

void checkWindows(const std::uint8_t* data, std::size_t size) {
  std::uint8_t window[kinevra::kHostMessageWindow];
  std::memset(window, 'x', sizeof window);
  std::memcpy(window, data, size < sizeof window ? size : sizeof window);
  const std::size_t n = kinevra::hostMessageLength(window);
  require(n == 0 || (n >= 2 && n <= 512 && window[n - 2] == kinevra::kLf && window[n - 1] == kinevra::kCr));
  const std::size_t c = kinevra::copyOutLength(data, size);
  require(c <= size && c <= 512);
  require(c == 0 || (c >= 2 && data[c - 2] == kinevra::kLf && data[c - 1] == kinevra::kCr));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t control = data[0];
  ++data;
  --size;
  checkWindows(data, size);

  // Piece sizes 1..64 bytes; queue limits 1..8 or the receive queues' 151.
  const std::size_t piece = (control & 0x3F) + 1u;
  const std::size_t limit = (control & 0x40) ? 151u : (control >> 7) * 7u + 1u;
  kinevra::MessageQueue queue(limit);
  std::atomic<std::int32_t> autoMessageCrc{0};
  std::vector<std::uint8_t> buffer;
  std::vector<Message> entries;

  for (std::size_t at = 0; at < size;) {
    const std::size_t n = size - at < piece ? size - at : piece;
    buffer.insert(buffer.end(), data + at, data + at + n);
    at += n;

    const std::vector<std::uint8_t> before = buffer;
    const std::size_t queuedBefore = queue.size();
    const bool accepted = kinevra::extractFrames(buffer, queue, autoMessageCrc);
    const std::int32_t flag = autoMessageCrc.load();
    require(flag == 0 || flag == 1);

    require(buffer.size() <= before.size());
    require(std::memcmp(buffer.data(), before.data() + (before.size() - buffer.size()), buffer.size()) == 0);
    require(buffer.size() < kinevra::kLongestFrame);
    require(queue.size() <= limit);
    if (!accepted) require(queue.size() == queuedBefore);
    if (accepted && queuedBefore < limit) require(queue.size() > queuedBefore);

    queue.drain(entries);
    for (const Message& e : entries) checkEntry(e);
  }

  // The whole input as one datagram: the same frames, nothing read past it.
  kinevra::MessageQueue datagramQueue(151);
  bool accepted = false;
  const std::size_t used = kinevra::scanFrames({data, size}, datagramQueue, autoMessageCrc, accepted);
  require(used <= size);
  require(size - used < kinevra::kLongestFrame);
  datagramQueue.drain(entries);
  require(accepted == !entries.empty());
  for (const Message& e : entries) checkEntry(e);
  return 0;
}
