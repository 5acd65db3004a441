#include "raster/memory.h"

#include <algorithm>
#include <cstdio>

#include "raster/raw_raster.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace scab {
namespace {

uint64_t memory_ceiling = 0;

// The address space this process may still take, or 0 when it has no limit (or none can be
// told).
uint64_t address_space_left() {
#ifdef _WIN32
  return 0;
#else
  struct rlimit limit;
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 0;
  uint64_t used = 0;
  if (FILE* statm = fopen("/proc/self/statm", "r")) {
    unsigned long long pages = 0;
    if (fscanf(statm, "%llu", &pages) == 1)
      used = pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    fclose(statm);
  }
  const uint64_t total = static_cast<uint64_t>(limit.rlim_cur);
  return total > used ? total - used : 1;
#endif
}

}  // namespace

uint64_t physical_memory_bytes() {
#ifdef _WIN32
  MEMORYSTATUSEX status;
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return 0;
  return status.ullTotalPhys;
#else
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) return 0;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size);
#endif
}

uint64_t bytes_needed(int line_count, int column_count, int width) {
  if (line_count < 1 || column_count < 1) return 0;
  const uint64_t lines = static_cast<uint64_t>(line_count);
  const uint64_t columns = static_cast<uint64_t>(column_count);
  // Each pass holds a few lines of heights and sums (the profile pass six, the RMS error pass
  // three and three of its interior cells: sixteen in all leaves room); the first reading of
  // the file and the two threads of the passes each hold a block of it.
  return columns * 16 * sizeof(double) + 3 * RawRaster::bytes_held_per_thread(column_count, width) +
         lines * 2 * sizeof(double);
}

uint64_t usable_memory_bytes() {
  uint64_t usable = physical_memory_bytes();
  for (const uint64_t bound : {memory_ceiling, address_space_left()}) {
    if (bound != 0 && (usable == 0 || bound < usable)) usable = bound;
  }
  return usable;
}

void set_memory_ceiling(uint64_t bytes) {
  memory_ceiling = bytes;
}

}  // namespace scab
