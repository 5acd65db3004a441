#include "raster/sample_array.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstring>
#include <vector>

#include "raster/buffer.h"

namespace scab {
namespace {

// The first reading takes a line a piece of at most this many samples at a time, so that a
// gathered piece stays small (16 KiB) and the clock is looked at between pieces.
constexpr int kPieceSamples = 4096;

constexpr std::chrono::milliseconds kWaitingPeriod{200};

}  // namespace

SampleArray::SampleArray(const unsigned char* data, int lines, int columns, int width,
                         ptrdiff_t line_stride, ptrdiff_t sample_stride,
                         const std::atomic<bool>* stop, const std::function<void()>& waiting)
    : data_(data),
      lines_(lines),
      columns_(columns),
      width_(width),
      line_stride_(line_stride),
      sample_stride_(sample_stride),
      stop_(stop) {
  assert(lines >= 1 && columns >= 1 && (width == 1 || width == 2 || width == 4));
  fold_all(waiting);
}

void SampleArray::fold_all(const std::function<void()>& waiting) {
  using Clock = std::chrono::steady_clock;
  std::vector<unsigned char> piece(
      sample_stride_ == width_ ? 0 : static_cast<size_t>(kPieceSamples) * width_);
  Clock::time_point next_wait = Clock::now() + kWaitingPeriod;
  long unclocked = 0;  // samples folded since the clock was last read
  for (int i = 0; i < lines_; i++) {
    for (int first = 0; first < columns_; first += kPieceSamples) {
      const int count = std::min(kPieceSamples, columns_ - first);
      fold_samples(width_, samples_at(i, first, count, piece.data()), count, samples_);
      unclocked += count;
      if (unclocked < kPieceSamples) continue;
      unclocked = 0;
      throw_if_stopped();
      if (waiting && Clock::now() >= next_wait) {
        waiting();
        throw_if_stopped();
        next_wait = Clock::now() + kWaitingPeriod;
      }
    }
  }
}

const unsigned char* SampleArray::samples_at(int i, int first, int count,
                                             unsigned char* gathered) const {
  const unsigned char* line = data_ + static_cast<ptrdiff_t>(i) * line_stride_;
  const unsigned char* from = line + static_cast<ptrdiff_t>(first) * sample_stride_;
  if (sample_stride_ == width_) return from;
  for (int j = 0; j < count; j++)
    std::memcpy(gathered + static_cast<ptrdiff_t>(j) * width_, from + j * sample_stride_,
                static_cast<size_t>(width_));
  return gathered;
}

void SampleArray::throw_if_stopped() const {
  if (stop_ && stop_->load(std::memory_order_relaxed)) throw ReadingStopped();
}

// The lines of the array, each gathered into a line of its own when its samples are not side
// by side.
class SampleArray::Reader final : public LineReader {
 public:
  explicit Reader(const SampleArray& array)
      : array_(array),
        gathered_(array.sample_stride_ == array.width_
                      ? 0
                      : static_cast<size_t>(array.columns_) * static_cast<size_t>(array.width_)) {}

  void line(int i, double* out) override {
    assert(i >= 0 && i < array_.lines_);
    array_.throw_if_stopped();
    samples_to_heights(array_.width_, array_.samples_at(i, 0, array_.columns_, gathered_.data()),
                       array_.columns_, array_.factor_, out);
  }

  bool samples(int i, int32_t* out) override {
    assert(i >= 0 && i < array_.lines_);
    array_.throw_if_stopped();
    decode_samples(array_.width_, array_.samples_at(i, 0, array_.columns_, gathered_.data()),
                   array_.columns_, out);
    return true;
  }

 private:
  const SampleArray& array_;
  Buffer<unsigned char> gathered_;
};

std::unique_ptr<LineReader> SampleArray::reader() const {
  return std::make_unique<Reader>(*this);
}

HeightRange SampleArray::range() const {
  return heights_range(samples_.low, samples_.high,
                       samples_.smallest == INT64_MAX ? 0 : samples_.smallest, factor_);
}

}  // namespace scab
