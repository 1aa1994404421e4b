// The flight-simulator reader's update over messages of any id, size and
// content: the input is cut into messages (each led by a 16-bit little-endian
// length) that a connection hands out one at a time, each in a buffer of
// exactly its own size, over updates until the queue is empty or the reader
// closed. No read outside a message, and every value written stays finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <vector>

#include "common/clock.h"
#include "sources/flightsim_reader.h"
#include "sources/telemetry_frame.h"

using namespace kinevra;

namespace {

std::deque<std::vector<unsigned char>>* gQueue = nullptr;

class QueueConnection final : public FlightSimConnection {
 public:
  int addToDataDefinition(std::uint32_t, const char*, const char*, std::uint32_t) override { return 0; }
  int requestData(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) override { return 0; }
  int subscribeToSystemEvent(std::uint32_t, const char*) override { return 0; }
  int nextMessage(const unsigned char** data, std::uint32_t* size) override {
    *data = nullptr;
    *size = 0;
    // An empty chunk ends this update's messages.
    if (gQueue->empty()) return -1;
    current_ = std::move(gQueue->front());
    gQueue->pop_front();
    if (current_.empty()) return -1;
    *data = current_.data();
    *size = static_cast<std::uint32_t>(current_.size());
    return 0;
  }

 private:
  std::vector<unsigned char> current_;
};

std::unique_ptr<FlightSimConnection> openQueue(const char*, int* result) {
  *result = 0;
  return std::make_unique<QueueConnection>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::deque<std::vector<unsigned char>> queue;
  std::size_t at = 0;
  while (size - at >= 2) {
    const std::size_t n = data[at] | (static_cast<std::size_t>(data[at + 1]) << 8);
    at += 2;
    const std::size_t take = n < size - at ? n : size - at;
    queue.emplace_back(data + at, data + at + take);
    at += take;
  }
  gQueue = &queue;
  FlightSimReader reader(2, systemClock(), openQueue);
  if (!reader.openConnection() || reader.attach() != 1) std::abort();
  double g[kGameDataCount] = {};
  while (!queue.empty()) {
    const int r = reader.update(g);
    if (r != (reader.hasConnection() ? 1 : 0)) std::abort();
    for (int i = 0; i < kGameDataCount; ++i)
      if (!std::isfinite(g[i])) { std::fprintf(stderr, "idx %d %g\n", i, g[i]); std::abort(); }
    if (r == 0) break;
  }
  if (reader.groundState() != 0 && reader.groundState() != 1) std::abort();
  gQueue = nullptr;
  return 0;
}
