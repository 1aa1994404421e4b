#pragma once
// What the soak needs of the system beyond the platform layer: this
// process's resident memory, and removing a named block a killed game left.
#include <cstdint>
#include <string>

namespace kinevra_soak {

// Bytes of this process's memory in RAM (Linux: resident pages; Windows: the
// working set); 0 when the system does not say.
std::uint64_t residentBytes();

// Removes the shared-memory block of that name (as the library names it),
// which on Linux outlives a creator that was killed; on Windows a block
// goes with its last handle, so nothing is done there.
void removeSharedMemory(const std::string& name);

}  // namespace kinevra_soak
