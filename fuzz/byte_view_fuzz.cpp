// Reads at any offset of a window of any size stay inside it: a read either
// returns exactly the bytes at that place or reports that they lie outside,
// and a part cut from the window never reaches past it. Game blocks are read
// through such windows, whatever size the game gave them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/byte_view.h"
#include "sources/shared_memory_readers.h"

namespace {

template <class T>
void check(const kinevra::ByteView& v, std::size_t offset) {
  T out{};
  const bool inside = offset <= v.size() && sizeof(T) <= v.size() - offset;
  if (v.read(offset, &out) != inside) std::abort();
  if (inside && std::memcmp(&out, v.data() + offset, sizeof(T)) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  std::uint32_t a, b;
  std::memcpy(&a, data, 4);
  std::memcpy(&b, data + 4, 4);
  // A copy of exactly the window's bytes, so that ASan sees any read past it.
  const std::vector<std::uint8_t> bytes(data + 8, data + size);
  const kinevra::ByteView view(bytes.data(), bytes.size());
  for (std::size_t offset : {std::size_t{a}, std::size_t{b}, std::size_t{a % (bytes.size() + 1)},
                             std::size_t{b % (bytes.size() + 1)}, std::size_t(-1) - a}) {
    check<std::uint8_t>(view, offset);
    check<std::int32_t>(view, offset);
    check<float>(view, offset);
    check<double>(view, offset);
    if (view.contains(offset, b) != (offset <= view.size() && b <= view.size() - offset)) std::abort();
    const kinevra::ByteView part = view.sub(offset, b);
    if (part.size() > 0 && (part.data() < view.data() || part.data() + part.size() > view.data() + view.size()))
      std::abort();
    if (part.size() > 0) {
      volatile std::uint8_t sink = part.data()[part.size() - 1];  // the last byte is readable
      (void)sink;
    }
    check<std::int32_t>(part, a % 8);
    // A game block's status field, read from a block of any size.
    const bool live = kinevra::acpmfSessionLive(part);
    if (live && !part.contains(kinevra::blocks::kAcpmfStatusOffset, 4)) std::abort();
  }
  return 0;
}
