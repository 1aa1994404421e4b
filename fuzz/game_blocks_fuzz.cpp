// The games' shared-memory blocks of any size and content: every format reads
// only inside the block (exactly as large as the input, so AddressSanitizer
// sees any read past it), and what it hands on is either all numbers or
// refused as a whole.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sources/block_formats.h"

using namespace kinevra;

namespace {

void check(bool (*convert)(ByteView, GameValues*), const std::vector<std::uint8_t>& bytes, std::size_t needs) {
  GameValues values;
  const bool converted = convert(ByteView(bytes.data(), bytes.size()), &values);
  if (converted != (bytes.size() >= needs)) std::abort();
  double g[47] = {};
  const bool written = values.commit(g);
  if (written != (converted && values.allFinite())) std::abort();
  for (double x : g)
    if (!std::isfinite(x)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> bytes(data, data + size);
  check(convertAcpmfPhysics, bytes, acpmf::kFieldsEnd);
  check(convertR3ePlayer, bytes, r3e::kPlayerFieldsEnd - r3e::kPlayerFieldsBegin);
  check(convertPcars2, bytes, pcars2::kFieldsEnd - pcars2::kFieldsBegin);
  check(convertRf2, bytes, rf2::kFieldsEnd);
  check(convertScs, bytes, scs::kFieldsEnd);
  if (size >= 8) {
    const ByteView v(bytes.data(), bytes.size());
    const R3eLayout l = r3eLayout(v.get<std::int32_t>(0), v.get<std::int32_t>(4));
    if (l.supported && (l.flagShift > 4 || l.playerShift > 8)) std::abort();
  }
  return 0;
}
