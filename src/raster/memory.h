// How much memory a run needs, and how much this machine has.
#pragma once

#include <cstdint>

namespace scab {

// Bytes that the matrices and vectors of a run hold at their peak for a raster of these
// dimensions: the loaded samples, the heights as doubles and the neighbourhood pass's vectors.
// Computed in 64-bit arithmetic; saturates instead of overflowing.
uint64_t run_bytes_needed(int nb_lig, int nb_col, int image_type, int itype);

// The memory a run may use, in bytes: the machine's physical memory, or the ceiling set below
// when that is lower; 0 when neither can be told.
uint64_t physical_memory_bytes();

// Sets a ceiling on the memory a run may use, below the machine's own: a run that stays small
// whatever its descriptor says (tests, fuzzing). 0 removes the ceiling.
void set_memory_ceiling(uint64_t bytes);

}  // namespace scab
