// Loading of the raw raster: headerless samples, line after line, least significant byte
// first whatever the host's byte order.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "raster/memory.h"
#include "raster/nrutil.h"
#include "run/run.h"

namespace scab {
namespace {

[[noreturn]] void stop_for_memory(Run& run) {
  const uint64_t needed = run_bytes_needed(run.nb_lig, run.nb_col, run.image_type, run.itype);
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

// Reads line i of the file into its row with one block read; returns the bytes delivered.
size_t read_line(FILE* file, void* row, size_t line_bytes) {
  return fread(row, 1, line_bytes, file);
}

// Rewrites a row read as little-endian bytes into host values, in place.
void decode_16(unsigned short* row, int count) {
  auto* bytes = reinterpret_cast<unsigned char*>(row);
  for (int j = 0; j < count; j++) {
    row[j] = static_cast<unsigned short>(bytes[2 * j] | (bytes[2 * j + 1] << 8));
  }
}

void decode_32(int* row, int count) {
  auto* bytes = reinterpret_cast<unsigned char*>(row);
  for (int j = 0; j < count; j++) {
    const uint32_t value = static_cast<uint32_t>(bytes[4 * j]) |
                           static_cast<uint32_t>(bytes[4 * j + 1]) << 8 |
                           static_cast<uint32_t>(bytes[4 * j + 2]) << 16 |
                           static_cast<uint32_t>(bytes[4 * j + 3]) << 24;
    row[j] = static_cast<int32_t>(value);
  }
}

}  // namespace

void lecture(Run& run) {
  const int width = run.image_type == 0 ? (run.itype == 0 ? 2 : 4) : 1;
  const uint64_t line_bytes = static_cast<uint64_t>(run.nb_col) * static_cast<uint64_t>(width);
  const uint64_t expected = line_bytes * static_cast<uint64_t>(run.nb_lig);
  uint64_t found = 0;

  // A raster that cannot fit in this machine's memory stops before anything large is asked
  // for, rather than after the system has begun to swap.
  const uint64_t memory = physical_memory_bytes();
  if (memory != 0 && run_bytes_needed(run.nb_lig, run.nb_col, run.image_type, run.itype) > memory) {
    stop_for_memory(run);
  }

  if (run.image_type == 0) {
    run.itab = imatrice(run.nb_col, run.nb_lig);
    if (!run.itab)
      stop_for_memory(run);
    if (run.itype != 0) {
      for (int i = 0; i < run.nb_lig; i++) {
        found += read_line(run.f1, run.itab[i], line_bytes);
        decode_32(run.itab[i], run.nb_col);
      }
    } else {
      run.jtab = usmatrice(run.nb_col, run.nb_lig);
      if (!run.jtab)
        stop_for_memory(run);
      for (int i = 0; i < run.nb_lig; i++) {
        found += read_line(run.f1, run.jtab[i], line_bytes);
        decode_16(run.jtab[i], run.nb_col);
      }
      for (int i = 0; i < run.nb_lig; i++) {
        for (int j = 0; j < run.nb_col; j++)
          run.itab[i][j] = run.jtab[i][j];
      }
    }
  } else {
    run.tab = ucmatrice(run.nb_col, run.nb_lig);
    if (!run.tab)
      stop_for_memory(run);
    for (int i = 0; i < run.nb_lig; i++)
      found += read_line(run.f1, run.tab[i], line_bytes);
  }
  if (ferror(run.f1))
    stop_for_read_error(run, errno != 0 ? errno : EIO);
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
