// How much memory a run needs, and how much this machine has.
#pragma once

#include <cstdint>

namespace scab {

// Bytes that the matrices and vectors of a run hold at their peak for a raster of these
// dimensions: the loaded samples, the heights as doubles and the neighbourhood pass's vectors.
// Computed in 64-bit arithmetic; saturates instead of overflowing.
uint64_t run_bytes_needed(int nb_lig, int nb_col, int image_type, int itype);

// The machine's physical memory in bytes, or 0 when it cannot be told.
uint64_t physical_memory_bytes();

}  // namespace scab
