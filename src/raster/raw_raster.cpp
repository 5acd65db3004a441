#include "raster/raw_raster.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cmath>
#include <cstring>

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
    : file_(std::move(file)),
      lines_(lines),
      columns_(columns),
      width_(width),
      line_bytes_(static_cast<uint64_t>(columns) * static_cast<uint64_t>(width)) {
  // The first reading: how far the file goes, and the range of its samples. A sample cut by
  // the end of the file keeps the bytes it has as its low-order bytes; the bytes it lacks, and
  // every cell after it, are 0.
  if (const int error = file_.stamp(stamp_)) throw RasterReadError(error);
  const int block_lines = std::min(lines_per_block(line_bytes_), lines);
  Buffer<unsigned char> block(static_cast<size_t>(line_bytes_) * block_lines);
  const uint64_t expected = line_bytes_ * static_cast<uint64_t>(lines);
  SampleRange range;
  for (int first = 0; first < lines; first += block_lines) {
    const int count = std::min(block_lines, lines - first);
    const uint64_t offset = static_cast<uint64_t>(first) * line_bytes_;
    const uint64_t wanted = static_cast<uint64_t>(count) * line_bytes_;
    const int64_t got = file_.read_at(block.data(), static_cast<size_t>(wanted), offset);
    if (got < 0) throw RasterReadError(errno != 0 ? errno : EIO);
    check_unchanged();
    found_ += static_cast<uint64_t>(got);
    std::memset(block.data() + got, 0, static_cast<size_t>(wanted - got));
    const long cells = static_cast<long>(count) * columns;
    fold_samples(width, block.data(), cells, range);
    if (found_ < offset + wanted && found_ < expected) {
      // The rest of the raster is zeros.
      if (first + count < lines) {
        range.low = std::min(range.low, 0);
        range.high = std::max(range.high, 0);
      }
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

void RawRaster::read_lines(int first, int count, unsigned char* bytes) const {
  const uint64_t offset = static_cast<uint64_t>(first) * line_bytes_;
  const uint64_t wanted = static_cast<uint64_t>(count) * line_bytes_;
  const uint64_t held = found_ > offset ? std::min(found_ - offset, wanted) : 0;
  const int64_t got = held > 0 ? file_.read_at(bytes, static_cast<size_t>(held), offset) : 0;
  if (got < 0) throw RasterReadError(errno != 0 ? errno : EIO);
  if (static_cast<uint64_t>(got) < held) throw RasterChanged();
  check_unchanged();
  std::memset(bytes + held, 0, static_cast<size_t>(wanted - held));
}

void RawRaster::check_unchanged() const {
  FileStamp now;
  if (const int error = file_.stamp(now)) throw RasterReadError(error);
  if (now != stamp_) throw RasterChanged();
}

// A block of lines of the file, read when a line outside it is asked for.
class RawRaster::Reader final : public LineReader {
 public:
  explicit Reader(const RawRaster& raster)
      : raster_(raster),
        block_lines_(std::min(lines_per_block(raster.line_bytes_), raster.lines_)),
        block_(static_cast<size_t>(raster.line_bytes_) * static_cast<size_t>(block_lines_)) {}

  void line(int i, double* out) override {
    assert(i >= 0 && i < raster_.lines_);
    // A sample beyond the range of the first reading was written since: the passes chose their
    // shortcuts from that range.
    const SampleExtremes found =
        samples_to_heights(raster_.width_, stored_line(i), raster_.columns_, raster_.factor_, out);
    if (found.low < raster_.minimum_ || found.high > raster_.maximum_) throw RasterChanged();
  }

 private:
  // Line i's samples as stored.
  const unsigned char* stored_line(int i) {
    if (i < first_ || i >= first_ + count_) {
      const int count = std::min(block_lines_, raster_.lines_ - i);
      count_ = 0;  // until the block is read in full
      raster_.read_lines(i, count, block_.data());
      first_ = i;
      count_ = count;
    }
    return block_.data() + static_cast<uint64_t>(i - first_) * raster_.line_bytes_;
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
