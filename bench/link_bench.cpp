// Throughput of the controller link's CRC and frame parser. The serial link
// carries 25 kB/s; these figures are headroom, and the garbage case guards
// against resynchronisation turning quadratic.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <random>
#include <vector>

#include "link/crc16.h"
#include "link/frame_parser.h"
#include "link/link_state.h"
#include "link/serial_frame.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes randomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 gen(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(gen());
  return b;
}

// Frames of every kind, with either trailer, in a fixed shuffled order.
Bytes mixedFrames(std::size_t atLeast) {
  std::mt19937 gen(7);
  Bytes out;
  while (out.size() < atLeast) {
    const kinevra::SerialFrame& kind = kinevra::kSerialFrames[gen() % kinevra::kSerialFrames.size()];
    Bytes f(kind.length);
    f[0] = f[1] = kind.kind;
    for (std::size_t i = 2; i < kind.trailerAt(); ++i) f[i] = static_cast<std::uint8_t>(gen());
    if (kind.acceptsLfCr && gen() % 2 == 0) {
      f[kind.trailerAt()] = kinevra::kLf;
      f[kind.trailerAt() + 1] = kinevra::kCr;
    } else {
      kinevra::applyFrameCrc(f.data(), f.size());
    }
    out.insert(out.end(), f.begin(), f.end());
  }
  return out;
}

void BM_Crc16(benchmark::State& state) {
  const Bytes data = randomBytes(static_cast<std::size_t>(state.range(0)), 1);
  for (auto _ : state) benchmark::DoNotOptimize(kinevra::crc16(data.data(), data.size()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Crc16)->Arg(36)->Arg(463)->Arg(64 * 1024);

// The parser on a 64 kB stream, with the queue emptied by a consumer between
// passes as readMessagemmf would (taking entries back keeps buffers cycling).
void parseStream(benchmark::State& state, const Bytes& stream) {
  kinevra::MessageQueue queue(kinevra::kRxQueueEntries);
  std::atomic<std::int32_t> autoMessageCrc{0};
  Bytes buffer;
  kinevra::Message out;
  std::size_t frames = 0;
  for (auto _ : state) {
    // Fed in 512-byte reads, as a datagram or a serial cycle's input would be.
    for (std::size_t at = 0; at < stream.size(); at += 512) {
      const std::size_t n = std::min<std::size_t>(512, stream.size() - at);
      buffer.insert(buffer.end(), stream.begin() + at, stream.begin() + at + n);
      kinevra::extractFrames(buffer, queue, autoMessageCrc);
      while (queue.take(out)) ++frames;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
  state.counters["frames"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}

void BM_ExtractFramesValid(benchmark::State& state) { parseStream(state, mixedFrames(64 * 1024)); }
BENCHMARK(BM_ExtractFramesValid);

void BM_ExtractFramesGarbage(benchmark::State& state) { parseStream(state, randomBytes(64 * 1024, 3)); }
BENCHMARK(BM_ExtractFramesGarbage);

// Garbage made of marker pairs: every position looks like the start of a
// 465-byte frame, the worst case for waiting and resynchronising.
void BM_ExtractFramesMarkerGarbage(benchmark::State& state) { parseStream(state, Bytes(64 * 1024, 0xFA)); }
BENCHMARK(BM_ExtractFramesMarkerGarbage);

}  // namespace
