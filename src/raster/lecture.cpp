// Loading of the raw raster: headerless samples, line after line, least significant byte
// first whatever the host's byte order.
//
// Each line is read with one block read and widened straight into its row of the height
// matrix, as the stored integers (exact in a double); the height unit is applied later, once
// the operator has named it. No other copy of the raster is held.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "raster/memory.h"
#include "raster/nrutil.h"
#include "run/run.h"

namespace scab {
namespace {

[[noreturn]] void stop_for_memory(Run& run) {
  const uint64_t needed = run_bytes_needed(run.nb_lig, run.nb_col);
  stop_run(run, 1,
           "\n\n\tNot enough memory for a raster of " + std::to_string(run.nb_lig) + " lines and " +
               std::to_string(run.nb_col) + " columns (about " +
               std::to_string(needed / 1000000 + 1) +
               " MB needed).\n\tCheck the descriptor file's numbers of lines and columns, or "
               "free some memory, then run the program again.\n");
}

// Widens one line of little-endian samples into doubles. 16-bit samples are unsigned, 32-bit
// ones signed two's complement, 8-bit ones unsigned grey levels.
void decode_line(const unsigned char* bytes, int width, double* row, int count) {
  if (width == 1) {
    for (int j = 0; j < count; j++)
      row[j] = bytes[j];
  } else if (width == 2) {
    for (int j = 0; j < count; j++)
      row[j] = bytes[2 * j] | bytes[2 * j + 1] << 8;
  } else {
    for (int j = 0; j < count; j++) {
      const uint32_t value = static_cast<uint32_t>(bytes[4 * j]) |
                             static_cast<uint32_t>(bytes[4 * j + 1]) << 8 |
                             static_cast<uint32_t>(bytes[4 * j + 2]) << 16 |
                             static_cast<uint32_t>(bytes[4 * j + 3]) << 24;
      row[j] = static_cast<int32_t>(value);
    }
  }
}

}  // namespace

void lecture(Run& run) {
  const int width = run.image_type == 0 ? (run.itype == 0 ? 2 : 4) : 1;
  const uint64_t line_bytes = static_cast<uint64_t>(run.nb_col) * static_cast<uint64_t>(width);
  const uint64_t expected = line_bytes * static_cast<uint64_t>(run.nb_lig);

  // A raster that cannot fit in this machine's memory stops before anything large is asked
  // for, rather than after the system has begun to swap.
  const uint64_t memory = physical_memory_bytes();
  if (memory != 0 && run_bytes_needed(run.nb_lig, run.nb_col) > memory) stop_for_memory(run);
  run.dtab = dmatrice(run.nb_col, run.nb_lig);
  if (!run.dtab) stop_for_memory(run);

  std::vector<unsigned char> line(static_cast<size_t>(line_bytes));
  uint64_t found = 0;
  for (int i = 0; i < run.nb_lig; i++) {
    // A short file leaves the rest of its last line, and every line after it, at 0.
    const size_t got = fread(line.data(), 1, line.size(), run.f1);
    std::memset(line.data() + got, 0, line.size() - got);
    found += got;
    decode_line(line.data(), width, run.dtab[i], run.nb_col);
  }
  fclose(run.f1);
  run.f1 = nullptr;

  if (found < expected) {
    const std::string warning = "\n\n\tWarning: the file " + run.raw_path + " holds " +
                                std::to_string(found) + " bytes where " + std::to_string(expected) +
                                " were expected; the cells it does not reach are taken as 0.\n";
    fputs(warning.c_str(), run.con.out);
    fputs(warning.c_str(), run.f2d);
  }
}

}  // namespace scab
