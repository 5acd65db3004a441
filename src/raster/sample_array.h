// Samples held in memory by the caller (a numpy array, say), read by the passes a line at a time
// like a raw raster's: nothing is copied but the line being read.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>

#include "raster/line_source.h"
#include "raster/raw_raster.h"
#include "raster/samples.h"

namespace scab {

// The reading of a SampleArray was told to stop (its stop flag was set).
class ReadingStopped : public std::runtime_error {
 public:
  ReadingStopped() : std::runtime_error("the reading of the samples was stopped") {}
};

class SampleArray final : public LineSource {
 public:
  // `lines` lines of `columns` samples of `width` bytes (1 unsigned, 2 unsigned, 4 signed,
  // least significant byte first), sample j of line i at data + i * line_stride +
  // j * sample_stride (in bytes, of either sign). Reads them through once, for their range.
  // The memory must stay as it is while the array is read.
  //
  // When `stop` is given, the reading ends with ReadingStopped once *stop is true: this first
  // reading, and every later line of every reader, on any thread. `waiting`, when given, is called
  // on the constructing thread about every 200 ms of the first reading (it may set *stop).
  SampleArray(const unsigned char* data, int lines, int columns, int width, ptrdiff_t line_stride,
              ptrdiff_t sample_stride, const std::atomic<bool>* stop = nullptr,
              const std::function<void()>& waiting = {});

  int lines() const override { return lines_; }
  int columns() const override { return columns_; }
  // A reader that gathers each line whose samples are not side by side.
  std::unique_ptr<LineReader> reader() const override;
  HeightRange range() const override;

  // The smallest and the largest sample.
  int minimum() const { return samples_.low; }
  int maximum() const { return samples_.high; }

  // From now on the readers give the samples times `factor`, as RawRaster::set_factor.
  void set_factor(double factor) { factor_ = factor; }

 private:
  class Reader;

  // The first reading: every sample folded into samples_.
  void fold_all(const std::function<void()>& waiting);
  // Samples [first, first + count) of line i, one after another: where they are when they lie
  // side by side, else gathered into `gathered` (count * width bytes).
  const unsigned char* samples_at(int i, int first, int count, unsigned char* gathered) const;
  void throw_if_stopped() const;

  const unsigned char* data_;
  int lines_, columns_, width_;
  ptrdiff_t line_stride_, sample_stride_;
  const std::atomic<bool>* stop_;
  SampleRange samples_;
  double factor_ = 1;
};

}  // namespace scab
