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
  if (!GlobalMemoryStatusEx(&status)) return 0;
  return status.ullTotalPhys;
#else
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) return 0;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size);
#endif
}

}  // namespace

uint64_t run_bytes_needed(int nb_lig, int nb_col, int width) {
  if (nb_lig < 1 || nb_col < 1) return 0;
  const uint64_t cells = static_cast<uint64_t>(nb_lig) * static_cast<uint64_t>(nb_col);
  if (cells > (UINT64_C(1) << 59)) return UINT64_MAX;
  // The passes hold no matrix of their own: a few lines each, and one RMS value a line.
  return cells * static_cast<uint64_t>(width) +
         static_cast<uint64_t>(nb_col) * 16 * sizeof(double) +
         static_cast<uint64_t>(nb_lig) * sizeof(double);
}

uint64_t physical_memory_bytes() {
  const uint64_t machine = machine_memory_bytes();
  if (memory_ceiling != 0 && (machine == 0 || memory_ceiling < machine)) return memory_ceiling;
  return machine;
}

void set_memory_ceiling(uint64_t bytes) {
  memory_ceiling = bytes;
}

}  // namespace scab
