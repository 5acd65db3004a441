#include "raster/heights.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "arith/fast.h"
#include "raster/buffer.h"

namespace scab {
namespace {

// Lines are read from the file a block at a time: one read brings several narrow lines, and
// a wide line comes whole.
constexpr uint64_t kBlockBytes = 64 << 10;

int lines_per_block(uint64_t line_bytes) {
  return static_cast<int>(std::max<uint64_t>(1, kBlockBytes / line_bytes));
}

// The lines of the block last read by this thread, and the samples of a line as integers.
struct LineCache {
  uint64_t owner = 0;  // the identity of the raster they come from; 0 for none
  int first = 0;
  int count = 0;
  std::vector<unsigned char> bytes;
  std::vector<int32_t> samples;
};
thread_local LineCache cache;

std::atomic<uint64_t> rasters_made{0};

// Samples of `width` bytes, least significant first, as integers.
void decode(const unsigned char* b, int width, int count, int32_t* out) {
  if (width == 1) {
    for (int j = 0; j < count; j++)
      out[j] = b[j];
  } else if (width == 2) {
    for (int j = 0; j < count; j++)
      out[j] = b[2 * j] | b[2 * j + 1] << 8;
  } else {
    for (int j = 0; j < count; j++) {
      const uint32_t value =
          static_cast<uint32_t>(b[4 * j]) | static_cast<uint32_t>(b[4 * j + 1]) << 8 |
          static_cast<uint32_t>(b[4 * j + 2]) << 16 | static_cast<uint32_t>(b[4 * j + 3]) << 24;
      out[j] = static_cast<int32_t>(value);
    }
  }
}

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
  const int block_lines = std::min(lines_per_block(line_bytes_), lines);
  Buffer<unsigned char> block(static_cast<size_t>(line_bytes_) * block_lines);
  Buffer<int32_t> stored(static_cast<size_t>(columns));
  const uint64_t expected = line_bytes_ * static_cast<uint64_t>(lines);
  bool first_cell = true;
  for (int first = 0; first < lines; first += block_lines) {
    const int count = std::min(block_lines, lines - first);
    const uint64_t offset = static_cast<uint64_t>(first) * line_bytes_;
    const uint64_t wanted = static_cast<uint64_t>(count) * line_bytes_;
    const int64_t got = file_.read_at(block.data(), static_cast<size_t>(wanted), offset);
    if (got < 0) throw RasterReadError(errno != 0 ? errno : EIO);
    found_ += static_cast<uint64_t>(got);
    std::memset(block.data() + got, 0, static_cast<size_t>(wanted - got));
    for (int k = 0; k < count; k++) {
      decode(block.data() + k * line_bytes_, width, columns, stored.data());
      if (first_cell) minimum_ = maximum_ = stored[0];
      first_cell = false;
      for (int j = 0; j < columns; j++) {
        minimum_ = std::min(minimum_, stored[j]);
        maximum_ = std::max(maximum_, stored[j]);
      }
    }
    if (found_ < offset + wanted && found_ < expected) {
      // The rest of the raster is zeros.
      if (first + count < lines) {
        minimum_ = std::min(minimum_, 0);
        maximum_ = std::max(maximum_, 0);
      }
      break;
    }
  }
}

uint64_t RawRaster::bytes_held_per_thread(int columns, int width) {
  const uint64_t line_bytes = static_cast<uint64_t>(columns) * static_cast<uint64_t>(width);
  return line_bytes * static_cast<uint64_t>(lines_per_block(line_bytes)) +
         static_cast<uint64_t>(columns) * sizeof(int32_t);
}

void RawRaster::read_lines(int first, int count, unsigned char* bytes) const {
  const uint64_t offset = static_cast<uint64_t>(first) * line_bytes_;
  const uint64_t wanted = static_cast<uint64_t>(count) * line_bytes_;
  const uint64_t held = found_ > offset ? std::min(found_ - offset, wanted) : 0;
  const int64_t got = held > 0 ? file_.read_at(bytes, static_cast<size_t>(held), offset) : 0;
  if (got < 0) throw RasterReadError(errno != 0 ? errno : EIO);
  if (static_cast<uint64_t>(got) < held) throw RasterChanged();
  std::memset(bytes + held, 0, static_cast<size_t>(wanted - held));
}

void RawRaster::samples(int i, int32_t* out) const {
  if (cache.owner != identity_ || i < cache.first || i >= cache.first + cache.count) {
    const int count = std::min(lines_per_block(line_bytes_), lines_ - i);
    cache.owner = 0;  // until the block is read in full
    cache.bytes.resize(static_cast<size_t>(line_bytes_) * count);
    read_lines(i, count, cache.bytes.data());
    cache.owner = identity_;
    cache.first = i;
    cache.count = count;
  }
  decode(cache.bytes.data() + static_cast<uint64_t>(i - cache.first) * line_bytes_, width_,
         columns_, out);
}

void RawRaster::line(int i, double* out) const {
  if (cache.samples.size() < static_cast<size_t>(columns_))
    cache.samples.resize(static_cast<size_t>(columns_));
  int32_t* stored = cache.samples.data();
  samples(i, stored);
  if (!table_.empty()) {
    const double* table = table_.data();
    for (int j = 0; j < columns_; j++)
      out[j] = table[stored[j]];
  } else if (factor_ == 1) {
    for (int j = 0; j < columns_; j++)
      out[j] = stored[j];
  } else if (std::fabs(factor_) >= 0x1p-60 && std::fabs(factor_) <= 0x1p60) {
    // A sample is an integer below 2^31 in magnitude, so each product is zero or a normal
    // double far from both ends of the range: its exact rest gives the model's double.
    const double factor = factor_;
    for (int j = 0; j < columns_; j++) {
      const double sample = stored[j];
      const double product = sample * factor;
      out[j] = fast::model_of_pair(product, std::fma(sample, factor, -product));
    }
  } else {
    for (int j = 0; j < columns_; j++)
      out[j] = fast::mul(stored[j], factor_);
  }
}

void RawRaster::set_factor(double factor) {
  factor_ = factor;
  table_.clear();
  if (width_ != 1) return;
  // Every height a 1-byte sample can hold, converted once. (A table for 2-byte samples would
  // not stay in cache: converting them as they come is faster.)
  table_.resize(256);
  for (size_t v = 0; v < table_.size(); v++)
    table_[v] = fast::mul(static_cast<double>(v), factor);
}

}  // namespace scab
