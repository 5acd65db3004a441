#include "raster/memory.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace scab {
namespace {

uint64_t memory_ceiling = 0;

uint64_t machine_memory_bytes() {
#ifdef _WIN32
  MEMORYSTATUSEX status;
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status))
    return 0;
  return status.ullTotalPhys;
#else
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0)
    return 0;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size);
#endif
}

}  // namespace

uint64_t run_bytes_needed(int nb_lig, int nb_col, int image_type, int itype) {
  if (nb_lig < 1 || nb_col < 1)
    return 0;
  const uint64_t cells = static_cast<uint64_t>(nb_lig) * static_cast<uint64_t>(nb_col);
  // Per cell: the samples as read (and widened), the double heights, two regression vectors.
  uint64_t per_cell = image_type == 0 ? (itype == 0 ? 2 + 4 : 4) : 1;
  per_cell += 8 + 2 * 8;
  // Per line: a row pointer in each of up to three matrices, and the line's RMS.
  const uint64_t per_line = 3 * sizeof(void*) + sizeof(double);
  const uint64_t limit = UINT64_MAX / 2;
  if (cells > limit / per_cell)
    return limit;
  return cells * per_cell + static_cast<uint64_t>(nb_lig) * per_line;
}

uint64_t physical_memory_bytes() {
  const uint64_t machine = machine_memory_bytes();
  if (memory_ceiling != 0 && (machine == 0 || memory_ceiling < machine))
    return memory_ceiling;
  return machine;
}

void set_memory_ceiling(uint64_t bytes) {
  memory_ceiling = bytes;
}

}  // namespace scab
