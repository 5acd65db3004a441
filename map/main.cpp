#include <gdal.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <iostream>
#include <string>
#include <vector>

#include "dataset/signals.h"
#include "map/map_tool.h"

int main(int argc, char** argv) {
#ifdef __GLIBC__
  // Each thread that allocates would otherwise get an arena of its own, reserving 64 MB of
  // address space (what `ulimit -v` limits) that it never uses: no loop of the tool allocates
  // much, so one arena is shared.
  mallopt(M_ARENA_MAX, 1);
  // GDAL allocates and frees the output's blocks at every run, and the run buffers are large:
  // with the default thresholds each comes as fresh pages from the system (a fault and a zeroed
  // page each, half the tool's page faults). Kept in the heap, they are used again.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
  // A stop by a signal (Ctrl+C, kill) removes the output not yet complete.
  scab::install_signal_cleanup();
  // GDAL's progress line, on a terminal only: "0...10...20 ... 100 - done."
  const GDALProgressFunc progress = isatty(STDOUT_FILENO) ? GDALTermProgress : nullptr;
  return scab::map_tool::run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr,
                             progress);
}
