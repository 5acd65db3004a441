#include "raster/sample_array.h"

#include <cassert>
#include <cstring>
#include <vector>

namespace scab {
namespace {

// The line last gathered by this thread, for arrays whose samples are not side by side.
thread_local std::vector<unsigned char> gathered;

}  // namespace

SampleArray::SampleArray(const unsigned char* data, int lines, int columns, int width,
                         ptrdiff_t line_stride, ptrdiff_t sample_stride)
    : data_(data),
      lines_(lines),
      columns_(columns),
      width_(width),
      line_stride_(line_stride),
      sample_stride_(sample_stride) {
  assert(lines >= 1 && columns >= 1 && (width == 1 || width == 2 || width == 4));
  for (int i = 0; i < lines; i++)
    fold_samples(width, samples_of(i), columns, samples_);
}

const unsigned char* SampleArray::samples_of(int i) const {
  const unsigned char* first = data_ + static_cast<ptrdiff_t>(i) * line_stride_;
  if (sample_stride_ == width_) return first;
  gathered.resize(static_cast<size_t>(columns_) * static_cast<size_t>(width_));
  unsigned char* to = gathered.data();
  for (int j = 0; j < columns_; j++)
    std::memcpy(to + static_cast<ptrdiff_t>(j) * width_, first + j * sample_stride_,
                static_cast<size_t>(width_));
  return to;
}

void SampleArray::line(int i, double* out) const {
  assert(i >= 0 && i < lines_);
  samples_to_heights(width_, samples_of(i), columns_, factor_, out);
}

HeightRange SampleArray::range() const {
  return heights_range(samples_.low, samples_.high,
                       samples_.smallest == INT64_MAX ? 0 : samples_.smallest, factor_);
}

}  // namespace scab
