// Loading of the raw raster: headerless samples, line after line, least significant byte
// first whatever the host's byte order.
//
// The samples are not held in memory (raster/heights.h): the file is read through once here,
// for its size and the range of its samples, and the passes read it again a line at a time,
// in the height unit that the operator names afterwards.
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "raster/heights.h"
#include "raster/memory.h"
#include "run/run.h"

namespace scab {
namespace {

[[noreturn]] void stop_for_memory(Run& run, int width) {
  const uint64_t needed = run_bytes_needed(run.nb_lig, run.nb_col, width);
  stop_run(run, 1,
           "\n\n\tNot enough memory for a raster of " + std::to_string(run.nb_lig) + " lines and " +
               std::to_string(run.nb_col) + " columns (about " +
               std::to_string(needed / 1000000 + 1) +
               " MB needed).\n\tCheck the descriptor file's numbers of lines and columns, or "
               "free some memory, then run the program again.\n");
}

// A read that failed (rather than a file that ended) leaves nothing sound to analyse.
[[noreturn]] void stop_for_read_error(Run& run, int error) {
  stop_run(run, 1,
           "\n\n\tThe file " + run.raw_path + " could not be read: " + std::strerror(error) +
               ".\n\tCheck the file and the device it is on, then run the program again.\n");
}

}  // namespace

void lecture(Run& run) {
  const int width = run.image_type == 0 ? (run.itype == 0 ? 2 : 4) : 1;
  const uint64_t line_bytes = static_cast<uint64_t>(run.nb_col) * static_cast<uint64_t>(width);
  const uint64_t expected = line_bytes * static_cast<uint64_t>(run.nb_lig);

  // A raster whose lines cannot fit in the memory this run may use stops before anything large
  // is asked for.
  const uint64_t memory = physical_memory_bytes();
  if (memory != 0 && run_bytes_needed(run.nb_lig, run.nb_col, width) > memory) {
    stop_for_memory(run, width);
  }
  try {
    run.dtab.reset(new RawRaster(std::move(run.raw_file), run.nb_lig, run.nb_col, width));
  } catch (const std::bad_alloc&) {
    stop_for_memory(run, width);
  } catch (const RasterReadError& failure) {
    stop_for_read_error(run, failure.error);
  }
  const uint64_t found = run.dtab->bytes_found();
  if (found < expected) {
    const std::string warning = "\n\n\tWarning: the file " + run.raw_path + " holds " +
                                std::to_string(found) + " bytes where " + std::to_string(expected) +
                                " were expected; the cells it does not reach are taken as 0.\n";
    fputs(warning.c_str(), run.con.out);
    fputs(warning.c_str(), run.f2d);
  }
}

}  // namespace scab
