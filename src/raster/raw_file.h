// The raw raster file, read a block of lines at a time and never trusted to stay as it was.
//
// After every block read, the file's size and its modification and change times must be those
// it had when it was opened here; a file that holds less than it did, or whose status changed,
// stops the reading (RasterChanged) rather than mixing two files' samples. A file shorter than
// its lines is read as far as it goes: the bytes it does not hold read as 0. Every front end's
// reading of the file goes through this class: the model's passes (raster/raw_raster.h) and the
// exact engine's sums (run/exact_mode.cpp).
#pragma once

#include <cstdint>
#include <stdexcept>

#include "dataset/input_file.h"

namespace scab {

// The raw raster file no longer holds what it held when it was first read: it was cut short,
// written to or copied over during the analysis.
class RasterChanged : public std::runtime_error {
 public:
  RasterChanged() : std::runtime_error("the raw raster file changed during the analysis") {}
};

// Reading the raw file failed (rather than ended); `error` is the system's error number.
class RasterReadError : public std::runtime_error {
 public:
  explicit RasterReadError(int error)
      : std::runtime_error("the raw raster file could not be read"), error(error) {}
  int error;
};

// A raw raster file: headerless, `lines` lines of `columns` samples of `width` bytes.
class RawFile {
 public:
  // Takes over `file` (open) and notes its status. Throws RasterReadError when the status
  // cannot be had.
  RawFile(InputFile file, int lines, int columns, int width);

  int lines() const { return lines_; }
  int columns() const { return columns_; }
  int width() const { return width_; }
  uint64_t line_bytes() const { return line_bytes_; }

  // The bytes the file holds of its lines x columns samples: all of them, or fewer for a file
  // cut short.
  uint64_t bytes_found() const { return found_; }
  uint64_t bytes_expected() const { return line_bytes_ * static_cast<uint64_t>(lines_); }

  // Lines [first, first + count) as stored, into `bytes` (count x line_bytes()); what the file
  // does not hold is 0. May be called from several threads at once. Throws RasterChanged when
  // the file holds less than it did at first or its status changed, RasterReadError when a read
  // fails.
  void read_lines(int first, int count, unsigned char* bytes) const;

  // Throws RasterChanged when the file's size or times are no longer those it had when it was
  // opened here (a write after the last block was read, say), RasterReadError when they cannot
  // be had.
  void check_unchanged() const;

 private:
  InputFile file_;
  FileStamp stamp_;
  int lines_, columns_, width_;
  uint64_t line_bytes_;
  uint64_t found_;
};

// The n samples of `width` bytes (1 and 2 unsigned, 4 signed; least significant byte first) at
// `bytes`, as integers.
void decode_samples(int width, const unsigned char* bytes, long n, int32_t* out);

}  // namespace scab
