// How much memory a run needs, and how much it may use.
#pragma once

#include <cstdint>

namespace scab {

// Bytes that a run holds at its peak for a raster of these dimensions and sample width: the
// samples as stored, a few lines of heights for each pass and the line RMS values. Computed in
// 64-bit arithmetic; beyond 2^63 bytes it gives UINT64_MAX.
uint64_t run_bytes_needed(int nb_lig, int nb_col, int width);

// The memory a run may use, in bytes: the machine's physical memory, or the ceiling set below
// when that is lower; 0 when neither can be told.
uint64_t physical_memory_bytes();

// Sets a ceiling on the memory a run may use, below the machine's own: a run that stays small
// whatever its descriptor says (tests, fuzzing). 0 removes the ceiling.
void set_memory_ceiling(uint64_t bytes);

}  // namespace scab
