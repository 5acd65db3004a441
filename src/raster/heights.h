// The raster's heights, read a line at a time.
//
// The passes read the raster line after line, a few times over. Rather than hold a matrix of
// doubles (eight bytes a cell, and on a large raster most of the run's time goes into obtaining
// that much fresh memory), the raw file's samples are kept as they are stored, and each line
// is widened to doubles, in the height unit asked for, when a pass reads it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "raster/buffer.h"

namespace scab {

// What the passes read: `lines` lines of `columns` values.
class LineSource {
 public:
  virtual ~LineSource() = default;
  virtual int lines() const = 0;
  virtual int columns() const = 0;
  // Line i (0 is the first line of the file) into out[0 .. columns() - 1].
  virtual void line(int i, double* out) const = 0;
};

// The samples of a raw raster file: headerless, line after line, least significant byte first,
// 1 byte (unsigned grey level), 2 bytes (unsigned height) or 4 bytes (signed height).
class RawRaster final : public LineSource {
 public:
  // Takes the samples from `file`, from its current position; null when memory for them
  // cannot be had. A file shorter than lines x columns x width loads what it has: every cell
  // it does not reach is 0.
  static std::unique_ptr<RawRaster> load(FILE* file, int lines, int columns, int width);
  ~RawRaster() override;

  int lines() const override { return lines_; }
  int columns() const override { return columns_; }
  void line(int i, double* out) const override;

  // The bytes found in the file (at most the expected size).
  uint64_t bytes_found() const { return found_; }

  // The system's error number when reading the file failed (rather than ended), or 0.
  int read_error() const { return read_error_; }

  // The smallest and the largest stored sample, zeros of a short file included.
  void sample_range(int& Min, int& Max) const;

  // From now on line() gives the stored heights times `factor`, formed with a 64-bit
  // significand and then rounded (factor 1 keeps them as stored).
  void set_factor(double factor);

 private:
  RawRaster(int lines, int columns, int width) : lines_(lines), columns_(columns), width_(width) {}
  void samples(int i, int32_t* out) const;

  int lines_, columns_, width_;
  const unsigned char* bytes_ = nullptr;  // the first sample
  uint64_t found_ = 0;
  int read_error_ = 0;
  // Where the bytes are: a read-only mapping of the file, or a block of memory read from it.
  void* mapping_ = nullptr;
  uint64_t mapping_size_ = 0;
  Buffer<unsigned char> copy_{0};
  double factor_ = 1;
  std::vector<double> table_;  // height of every sample value, for 1-byte samples
};

}  // namespace scab
