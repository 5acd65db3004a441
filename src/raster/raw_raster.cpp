#include "raster/raw_raster.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

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

// The lines of the block last read by this thread.
struct LineCache {
  uint64_t owner = 0;  // the identity of the raster they come from; 0 for none
  int first = 0;
  int count = 0;
  std::vector<unsigned char> bytes;
};
thread_local LineCache cache;

std::atomic<uint64_t> rasters_made{0};

}  // namespace

RawRaster::RawRaster(InputFile file, int lines, int columns, int width)
    : file_(std::move(file)),
      lines_(lines),
      columns_(columns),
      width_(width),
      line_bytes_(static_cast<uint64_t>(columns) * static_cast<uint64_t>(width)),
      identity_(++rasters_made) {
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

uint64_t RawRaster::bytes_held_per_thread(int columns, int width) {
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

const unsigned char* RawRaster::stored_line(int i) const {
  if (cache.owner != identity_ || i < cache.first || i >= cache.first + cache.count) {
    const int count = std::min(lines_per_block(line_bytes_), lines_ - i);
    cache.owner = 0;  // until the block is read in full
    cache.bytes.resize(static_cast<size_t>(line_bytes_) * count);
    read_lines(i, count, cache.bytes.data());
    cache.owner = identity_;
    cache.first = i;
    cache.count = count;
  }
  return cache.bytes.data() + static_cast<uint64_t>(i - cache.first) * line_bytes_;
}

void RawRaster::line(int i, double* out) const {
  // A sample beyond the range of the first reading was written since: the passes chose their
  // shortcuts from that range.
  const SampleExtremes found = samples_to_heights(width_, stored_line(i), columns_, factor_, out);
  if (found.low < minimum_ || found.high > maximum_) throw RasterChanged();
}

double metres_per_unit(int unit) {
  static const double kFactor[4] = {1.0, 0.1, 0.01, 0.001};
  assert(unit >= 0 && unit <= 3);
  return kFactor[unit];
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
