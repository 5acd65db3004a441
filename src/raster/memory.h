// How much memory a run needs, and how much it may use.
#pragma once

#include <cstdint>

namespace scab {

// Bytes that a run holds at its peak for a raster of these dimensions and sample width: the
// lines each pass holds and each reading thread's block of the file, and two values a line
// (means, RMS). Nothing grows with the number of cells. Computed in 64-bit arithmetic.
uint64_t bytes_needed(int lines, int columns, int width);

// The memory a run may use, in bytes: the machine's physical memory, or less where the address
// space this process may still take is smaller (ulimit -v), or the ceiling set below; 0 when
// none of them can be told.
uint64_t usable_memory_bytes();

// The machine's physical memory in bytes; 0 when the system does not say.
uint64_t physical_memory_bytes();

// Sets a ceiling on the memory a run may use, below the machine's own: a run that stays small
// whatever its descriptor says (tests, fuzzing). 0 removes the ceiling.
void set_memory_ceiling(uint64_t bytes);

}  // namespace scab
