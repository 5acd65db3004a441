// Samples held in memory by the caller (a numpy array, say), read by the passes a line at a time
// like a raw raster's: nothing is copied but the line being read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "raster/raw_raster.h"
#include "raster/samples.h"

namespace scab {

class SampleArray final : public LineSource {
 public:
  // `lines` lines of `columns` samples of `width` bytes (1 unsigned, 2 unsigned, 4 signed,
  // least significant byte first), sample j of line i at data + i * line_stride +
  // j * sample_stride (in bytes, of either sign). Reads them through once, for their range.
  // The memory must stay as it is while the array is read.
  SampleArray(const unsigned char* data, int lines, int columns, int width, ptrdiff_t line_stride,
              ptrdiff_t sample_stride);

  int lines() const override { return lines_; }
  int columns() const override { return columns_; }
  void line(int i, double* out) const override;
  HeightRange range() const override;

  // The smallest and the largest sample.
  int minimum() const { return samples_.low; }
  int maximum() const { return samples_.high; }

  // From now on line() gives the samples times `factor`, as RawRaster::set_factor.
  void set_factor(double factor) { factor_ = factor; }

 private:
  // Line i's samples, one after another: the line itself where they are, else gathered.
  const unsigned char* samples_of(int i) const;

  const unsigned char* data_;
  int lines_, columns_, width_;
  ptrdiff_t line_stride_, sample_stride_;
  SampleRange samples_;
  double factor_ = 1;
};

}  // namespace scab
