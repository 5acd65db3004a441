#include "raster/heights.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>

#include "arith/fast.h"
#include "arith/rows.h"

#if defined(__unix__) || defined(__APPLE__)
#include <sys/mman.h>
#include <sys/stat.h>
#define SCAB_CAN_MAP 1
#else
#define SCAB_CAN_MAP 0
#endif

namespace scab {

std::unique_ptr<RawRaster> RawRaster::load(FILE* file, int lines, int columns, int width) {
  std::unique_ptr<RawRaster> raster(new (std::nothrow) RawRaster(lines, columns, width));
  if (!raster) return nullptr;
  const uint64_t expected =
      static_cast<uint64_t>(lines) * static_cast<uint64_t>(columns) * static_cast<uint64_t>(width);
  const long start = ftell(file);
#if SCAB_CAN_MAP
  // A mapping reads the file's pages where the system already holds them. (A file that tells
  // no size, as some system files do, is read instead.)
  struct stat status;
  if (start >= 0 && fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode) &&
      status.st_size > 0) {
    const uint64_t size = static_cast<uint64_t>(status.st_size);
    const uint64_t present = size > static_cast<uint64_t>(start) ? size - start : 0;
    raster->found_ = std::min(present, expected);
    if (raster->found_ == 0) return raster;
    const uint64_t length = static_cast<uint64_t>(start) + raster->found_;
    void* mapping = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fileno(file), 0);
    if (mapping != MAP_FAILED) {
      raster->mapping_ = mapping;
      raster->mapping_size_ = length;
      raster->bytes_ = static_cast<const unsigned char*>(mapping) + start;
      return raster;
    }
  }
#endif
  // Otherwise the samples are read into memory.
  (void)start;
  try {
    raster->copy_ = Buffer<unsigned char>(static_cast<size_t>(expected));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  unsigned char* into = raster->copy_.data();
  while (raster->found_ < expected) {
    const size_t wanted =
        static_cast<size_t>(std::min<uint64_t>(1 << 20, expected - raster->found_));
    errno = 0;
    const size_t got = fread(into + raster->found_, 1, wanted, file);
    raster->found_ += got;
    if (got < wanted) {
      if (ferror(file)) raster->read_error_ = errno != 0 ? errno : EIO;
      break;
    }
  }
  raster->bytes_ = into;
  return raster;
}

RawRaster::~RawRaster() {
#if SCAB_CAN_MAP
  if (mapping_) munmap(mapping_, mapping_size_);
#endif
}

// Line i's samples as integers; the bytes a short file does not hold give 0.
void RawRaster::samples(int i, int32_t* out) const {
  const uint64_t line_bytes = static_cast<uint64_t>(columns_) * width_;
  const uint64_t first = static_cast<uint64_t>(i) * line_bytes;
  const uint64_t have = found_ > first ? std::min(found_ - first, line_bytes) : 0;
  const unsigned char* b = bytes_ + first;
  const int whole = static_cast<int>(have / width_);
  if (width_ == 1) {
    for (int j = 0; j < whole; j++)
      out[j] = b[j];
  } else if (width_ == 2) {
    for (int j = 0; j < whole; j++)
      out[j] = b[2 * j] | b[2 * j + 1] << 8;
  } else {
    for (int j = 0; j < whole; j++) {
      const uint32_t value =
          static_cast<uint32_t>(b[4 * j]) | static_cast<uint32_t>(b[4 * j + 1]) << 8 |
          static_cast<uint32_t>(b[4 * j + 2]) << 16 | static_cast<uint32_t>(b[4 * j + 3]) << 24;
      out[j] = static_cast<int32_t>(value);
    }
  }
  if (whole < columns_) {
    // A sample cut by the end of the file keeps the bytes it has as its low-order bytes.
    uint32_t partial = 0;
    for (uint64_t k = 0; k < have % width_; k++) {
      partial |= static_cast<uint32_t>(b[static_cast<uint64_t>(whole) * width_ + k]) << (8 * k);
    }
    out[whole] = static_cast<int32_t>(partial);
    std::fill(out + whole + 1, out + columns_, 0);
  }
}

void RawRaster::line(int i, double* out) const {
  thread_local std::vector<int32_t> staged;
  if (staged.size() < static_cast<size_t>(columns_)) staged.resize(static_cast<size_t>(columns_));
  int32_t* stored = staged.data();
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

void RawRaster::sample_range(int& Min, int& Max) const {
  std::vector<int32_t> buffer(static_cast<size_t>(columns_));
  int32_t* stored = buffer.data();
  samples(0, stored);
  int low = stored[0], high = stored[0];
  for (int i = 0; i < lines_; i++) {
    samples(i, stored);
    for (int j = 0; j < columns_; j++) {
      low = std::min(low, stored[j]);
      high = std::max(high, stored[j]);
    }
  }
  Min = low;
  Max = high;
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
