#include "raster/raw_raster.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "arith/fast.h"
#include "raster/buffer.h"
#include "raster/samples.h"

namespace scab {
namespace {

// Lines are read from the file a block at a time: one read brings several narrow lines, and
// a wide line comes whole.
constexpr uint64_t kBlockBytes = 64 << 10;

int lines_per_block(uint64_t line_bytes) {
  return static_cast<int>(std::max<uint64_t>(1, kBlockBytes / line_bytes));
}

}  // namespace

RawRaster::RawRaster(InputFile file, int lines, int columns, int width)
    : file_(std::move(file), lines, columns, width),
      lines_(lines),
      columns_(columns),
      width_(width) {
  // The first reading: the range of the samples. A sample cut by the end of the file keeps the
  // bytes it has as its low-order bytes; the bytes it lacks, and every cell after it, are 0.
  const uint64_t line_bytes = file_.line_bytes();
  const int block_lines = std::min(lines_per_block(line_bytes), lines);
  Buffer<unsigned char> block(static_cast<size_t>(line_bytes) * block_lines);
  SampleRange range;
  for (int first = 0; first < lines; first += block_lines) {
    const int count = std::min(block_lines, lines - first);
    file_.read_lines(first, count, block.data());
    fold_samples(width, block.data(), static_cast<long>(count) * columns, range);
    const uint64_t end = static_cast<uint64_t>(first + count) * line_bytes;
    if (end >= file_.bytes_found() && first + count < lines) {
      // The rest of the raster is zeros.
      range.low = std::min(range.low, 0);
      range.high = std::max(range.high, 0);
      break;
    }
  }
  minimum_ = range.low;
  maximum_ = range.high;
  smallest_magnitude_ = range.smallest == INT64_MAX ? 0 : range.smallest;
}

uint64_t RawRaster::bytes_held_per_reader(int columns, int width) {
  const uint64_t line_bytes = static_cast<uint64_t>(columns) * static_cast<uint64_t>(width);
  return line_bytes * static_cast<uint64_t>(lines_per_block(line_bytes));
}

// A block of lines of the file, read when a line outside it is asked for.
class RawRaster::Reader final : public LineReader {
 public:
  explicit Reader(const RawRaster& raster)
      : raster_(raster),
        block_lines_(std::min(lines_per_block(raster.file_.line_bytes()), raster.lines_)),
        block_(static_cast<size_t>(raster.file_.line_bytes()) * static_cast<size_t>(block_lines_)) {
  }

  void line(int i, double* out) override {
    assert(i >= 0 && i < raster_.lines_);
    // A sample beyond the range of the first reading was written since: the passes chose their
    // shortcuts from that range.
    const SampleExtremes found =
        samples_to_heights(raster_.width_, stored_line(i), raster_.columns_, raster_.factor_, out);
    if (found.low < raster_.minimum_ || found.high > raster_.maximum_) throw RasterChanged();
  }

  bool samples(int i, int32_t* out) override {
    assert(i >= 0 && i < raster_.lines_);
    decode_samples(raster_.width_, stored_line(i), raster_.columns_, out);
    const auto extremes = std::minmax_element(out, out + raster_.columns_);
    if (*extremes.first < raster_.minimum_ || *extremes.second > raster_.maximum_)
      throw RasterChanged();
    return true;
  }

 private:
  // Line i's samples as stored.
  const unsigned char* stored_line(int i) {
    if (i < first_ || i >= first_ + count_) {
      const int count = std::min(block_lines_, raster_.lines_ - i);
      count_ = 0;  // until the block is read in full
      raster_.file_.read_lines(i, count, block_.data());
      first_ = i;
      count_ = count;
    }
    return block_.data() + static_cast<uint64_t>(i - first_) * raster_.file_.line_bytes();
  }

  const RawRaster& raster_;
  const int block_lines_;
  Buffer<unsigned char> block_;
  int first_ = 0, count_ = 0;  // the lines the block holds
};

std::unique_ptr<LineReader> RawRaster::reader() const {
  return std::make_unique<Reader>(*this);
}

HeightRange RawRaster::range() const {
  return heights_range(minimum_, maximum_, smallest_magnitude_, factor_);
}

HeightRange heights_range(int64_t minimum, int64_t maximum, int64_t smallest_magnitude,
                          double factor) {
  // The conversion keeps the order of the samples: the extremes of the heights are those of
  // the samples, converted.
  const auto height = [factor](int64_t sample) {
    return factor == 1 ? static_cast<double>(sample)
                       : fast::mul(static_cast<double>(sample), factor);
  };
  HeightRange range;
  range.lowest = height(minimum);
  range.highest = height(maximum);
  range.smallest = height(smallest_magnitude);
  range.whole = factor == 1;
  return range;
}

}  // namespace scab
