// The raster's heights, read a line at a time from the raw file.
//
// The passes read the raster line after line, a few times over. Nothing of it is held in
// memory but each reader's block of lines: a line is read from the file (a block of lines at a
// time, raster/raw_file.h, which stops the run when the file changes) when a pass asks for it
// and widened to doubles, in the height unit asked for. Every sample must lie in the range the
// first reading found; otherwise the run stops (RasterChanged) rather than mixing two files'
// figures.
#pragma once

#include <cstdint>
#include <memory>

#include "dataset/input_file.h"
#include "raster/line_source.h"
#include "raster/raw_file.h"

namespace scab {

// The range of the heights of samples whose least and greatest are `minimum` and `maximum`,
// and whose least magnitude but zero is `smallest_magnitude` (0 when all are zero), converted by
// `factor` as set_factor does.
HeightRange heights_range(int64_t minimum, int64_t maximum, int64_t smallest_magnitude,
                          double factor);

// The samples of a raw raster file: headerless, line after line, least significant byte first,
// 1 byte (unsigned grey level), 2 bytes (unsigned height) or 4 bytes (signed height).
class RawRaster final : public LineSource {
 public:
  // Takes over `file` and reads it through once, for its size and the range of its samples. A
  // file shorter than lines x columns x width is read as far as it goes: every cell it does
  // not reach is 0. Throws RasterReadError when a read fails, RasterChanged when the file
  // changes while it is read, std::bad_alloc when memory for a line cannot be had.
  RawRaster(InputFile file, int lines, int columns, int width);

  int lines() const override { return lines_; }
  int columns() const override { return columns_; }
  // A reader that holds a block of lines of the file. Its line() throws RasterChanged when the
  // file changed since the first reading, RasterReadError when a read fails; the reader throws
  // std::bad_alloc when its block cannot be had.
  std::unique_ptr<LineReader> reader() const override;
  HeightRange range() const override;

  // Throws RasterChanged when the file's size or times are no longer those of the first reading
  // (a write after the last block was read, say), RasterReadError when they cannot be had.
  void check_unchanged() const { file_.check_unchanged(); }

  // The bytes found in the file by the first reading, at most the bytes of lines x columns
  // samples that it should hold.
  uint64_t bytes_found() const { return file_.bytes_found(); }
  uint64_t bytes_expected() const { return file_.bytes_expected(); }

  // The smallest and the largest stored sample, zeros of a short file included.
  int minimum() const { return minimum_; }
  int maximum() const { return maximum_; }

  // From now on the readers give the stored heights times `factor`, formed with a 64-bit
  // significand and then rounded (factor 1 keeps them as stored).
  void set_factor(double factor) { factor_ = factor; }

  // The bytes that each reader of a raster of `columns` columns holds: its block of lines. The
  // first reading holds as much.
  static uint64_t bytes_held_per_reader(int columns, int width);

 private:
  class Reader;

  RawFile file_;
  int lines_, columns_, width_;
  int minimum_ = 0, maximum_ = 0;
  int64_t smallest_magnitude_ = 0;  // of a sample that is not zero; 0 when all are
  double factor_ = 1;
};

}  // namespace scab
