// How much memory a run needs, and how much it may use.
#pragma once

#include <cstdint>
#include <string>

namespace scab {

// The most a row of the table's text takes (report/texts.h): a line's number (at most 10
// digits), a tab, its RMS and a newline. The RMS is below 2^32, since every height is a sample
// of at most 32 bits times a factor of at most 1: 10 digits, a point and 6 decimals.
constexpr uint64_t kTableRowBytes = 29;

// Bytes that a run holds at its peak for a raster of these dimensions and sample width: the
// lines each pass holds and each reading thread's block of the file, two values a line (its
// sum of squares, its RMS) and its row of the table's text. Nothing grows with the number of
// cells. Computed in 64-bit arithmetic.
uint64_t bytes_needed(int lines, int columns, int width);

// The memory a run may use, in bytes: the machine's physical memory, or less where the address
// space this process may still take is smaller (ulimit -v), where its control groups leave it
// less (a container's memory limit), or below the ceiling set below; 0 when none of them can
// be told.
uint64_t usable_memory_bytes();

// The memory that the control groups this process runs in leave it, in bytes (Linux, cgroup v2
// or v1): the least, over its group and every group above it, of the group's limit less what
// the group uses, its page cache that can be dropped (inactive file pages) not counted. 0 when
// no group sets a limit (or none can be read). `root` is the folder that stands for / in the
// paths /proc/self/cgroup and /sys/fs/cgroup/...: "" for the system's own.
uint64_t control_group_memory_left(const std::string& root);

// The machine's physical memory in bytes; 0 when the system does not say.
uint64_t physical_memory_bytes();

// Sets a ceiling on the memory a run may use, below the machine's own: a run that stays small
// whatever its descriptor says (tests, fuzzing). 0 removes the ceiling.
void set_memory_ceiling(uint64_t bytes);

}  // namespace scab
