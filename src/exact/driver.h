// The summary of a whole raster, read once, on several threads.
#pragma once

#include <cstdint>
#include <string>

#include "exact/summary.h"

namespace scab::exact {

// Where the samples come from: blocks of whole lines of raw sample bytes.
class SampleSource {
 public:
  virtual ~SampleSource() = default;
  // Copies lines [first, first + count) into `bytes`: each line its columns' samples, least
  // significant byte first, count × columns × bytes per sample in all. Called from several
  // threads at once, for different lines. False, with a message in `error`, when the lines
  // cannot be had.
  virtual bool read(int64_t first, int64_t count, unsigned char* bytes,
                    std::string& error) const = 0;
};

// The lines of a raw raster file (headerless, lines one after another), read with POSIX pread.
// Bytes beyond the end
// of the file read as 0, as the program reads a short file: a sample cut by the end keeps the
// bytes it has as its low-order bytes.
class RawFileSource final : public SampleSource {
 public:
  RawFileSource(const std::string& path, int64_t line_bytes);
  ~RawFileSource() override;
  RawFileSource(const RawFileSource&) = delete;
  RawFileSource& operator=(const RawFileSource&) = delete;

  // Empty when the file is open, else why it could not be opened.
  const std::string& error() const { return error_; }
  // The size of the file in bytes, when it was opened.
  int64_t size() const { return size_; }
  bool read(int64_t first, int64_t count, unsigned char* bytes, std::string& error) const override;

 private:
  int file_ = -1;
  int64_t line_bytes_;
  int64_t size_ = 0;
  std::string path_, error_;
};

// Lines held in memory: line i at `first_line_bytes + i × line_stride` (a C-ordered array, or
// one whose lines are apart), `line_bytes` bytes each.
class MemorySource final : public SampleSource {
 public:
  MemorySource(const unsigned char* first_line_bytes, int64_t line_stride, int64_t line_bytes)
      : bytes_(first_line_bytes), stride_(line_stride), line_bytes_(line_bytes) {}
  bool read(int64_t first, int64_t count, unsigned char* bytes, std::string& error) const override;

 private:
  const unsigned char* bytes_;
  int64_t stride_, line_bytes_;
};

// The threads to use: SCABROSIMETER_THREADS from the environment when it is a whole number from
// 1 to 1024, else the machine's cores.
int threads_from_environment();

// The summary of the whole `raster` (check_raster() takes it) whose lines `source` gives,
// read once. The lines are split into `threads` bands (at most one a line), one thread each;
// each thread reads its band a block of lines at a time, with the line above and below it,
// and builds its summary; the summaries are merged at the end. Memory: a few blocks of lines
// per thread, and the sums of every line and column. False, with the message of the first
// failed read (or of a lack of memory) in `error`, when the raster cannot be read.
bool summarise(const SampleSource& source, const Raster& raster, int threads, Summary& summary,
               std::string& error);

// The most memory, in bytes, that summarise() on `threads` threads and then exact_figures() and
// the figures' texts hold at once for `raster` (check_raster() takes it): per thread a block of
// lines and a few lines' sums, and for every line and column of the raster its sums, its
// figures' integers and a row of the table. O(columns x threads + lines), never the cells.
uint64_t bytes_needed(const Raster& raster, int threads);

// The summary of one block from its samples in memory: `window` points at the first sample of
// the block's window (BlockScanner::window(): the block with the line and column around it
// where the raster goes on), whose lines are `line_stride` bytes apart.
Summary summarise_block(const Raster& raster, const Block& block, const unsigned char* window,
                        int64_t line_stride);

}  // namespace scab::exact
