// How much memory a run needs, and how much this machine has.
#pragma once

#include <cstdint>

namespace scab {

// Bytes that a run holds at its peak for a raster of these dimensions and sample width.
// Computed in 64-bit arithmetic; beyond 2^63 bytes it gives UINT64_MAX.
uint64_t run_bytes_needed(int nb_lig, int nb_col, int width);

// The machine's physical memory in bytes, or 0 when it cannot be told.
uint64_t physical_memory_bytes();

}  // namespace scab
