// The controller frame parser on arbitrary input, fed in pieces as the serial
// bridge does. The first byte chooses the piece size and the queue limit.
// Checks after every call: the buffer only lost bytes from its front and
// holds less than one frame; every queued entry is a known kind of the right
// length in normal form; autoMessageCrc only ever goes from 0 to 1; and the
// result equals that of a plain step-by-step parser that recomputes every CRC
// and removes bytes from the front one at a time.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "link/crc16.h"
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

// The CRC by its definition, one bit at a time.
std::uint16_t bitwiseCrc(const std::uint8_t* d, std::size_t n) {
  std::uint16_t c = 0;
  for (std::size_t i = 0; i < n; ++i) {
    c ^= d[i];
    for (int b = 0; b < 8; ++b) c = (c & 1) ? static_cast<std::uint16_t>((c >> 1) ^ 0xA001) : c >> 1;
  }
  return c;
}

// The algorithm as plainly as it can be written.
struct Reference {
  std::vector<std::uint8_t> buffer;
  std::vector<Message> queue;
  std::size_t limit;
  std::int32_t autoMessageCrc = 0;

  bool run() {
    bool accepted = false;
    for (;;) {
      if (buffer.size() < 8) return accepted;
      const kinevra::SerialFrame* kind = nullptr;
      for (const kinevra::SerialFrame& k : kinevra::kSerialFrames)
        if (buffer[0] == k.kind && buffer[1] == k.kind) kind = &k;
      bool ok = false;
      Message frame;
      if (kind != nullptr) {
        if (buffer.size() < kind->length) return accepted;
        frame.assign(buffer.begin(), buffer.begin() + kind->length);
        const std::size_t t = kind->trailerAt();
        const std::uint16_t crc = bitwiseCrc(frame.data(), t);
        if (kind->acceptsLfCr && frame[t] == 0x0A && frame[t + 1] == 0x0D) {
          ok = true;
        } else if (frame[t] == (crc & 0xFF) && frame[t + 1] == (crc >> 8)) {
          frame[t] = 0x0A;
          frame[t + 1] = 0x0D;
          ok = true;
        }
      }
      if (!ok) {
        buffer.erase(buffer.begin());
        continue;
      }
      if (kind->kind == 0xF9 && autoMessageCrc == 0 && frame[2] == 2 &&
          static_cast<std::int8_t>(frame[5]) * 100 + static_cast<std::int8_t>(frame[4]) >= 328)
        autoMessageCrc = 1;
      if (queue.size() < limit) queue.push_back(frame);
      buffer.erase(buffer.begin(), buffer.begin() + kind->length);
      accepted = true;
    }
  }
};

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
  require(kinevra::crc16(data, size) == bitwiseCrc(data, size));

  // Piece sizes 1..64 bytes; queue limits 1..8 or the receive queues' 151.
  const std::size_t piece = (control & 0x3F) + 1u;
  const std::size_t limit = (control & 0x40) ? 151u : (control >> 7) * 7u + 1u;
  kinevra::MessageQueue queue(limit);
  std::atomic<std::int32_t> autoMessageCrc{0};
  std::vector<std::uint8_t> buffer;
  std::vector<Message> entries;
  Reference ref;
  ref.limit = limit;

  for (std::size_t at = 0; at < size;) {
    const std::size_t n = size - at < piece ? size - at : piece;
    buffer.insert(buffer.end(), data + at, data + at + n);
    ref.buffer.insert(ref.buffer.end(), data + at, data + at + n);
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

    require(ref.run() == accepted);
    require(ref.buffer == buffer);
    require(ref.queue == entries);
    require(ref.autoMessageCrc == flag);
    ref.queue.clear();
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
