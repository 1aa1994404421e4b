#pragma once
// The resident memory of this process (the host, with the library loaded).
#include <cstdint>

namespace kinevra_soak {

// Bytes of this process's memory in RAM (Linux: resident pages; Windows: the
// working set); 0 when the system does not say.
std::uint64_t residentBytes();

}  // namespace kinevra_soak
