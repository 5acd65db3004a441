// The loops over a raw raster's samples: their range, and their heights. A kernel source:
// compiled once for each instruction set (arith/isa.h).
#include "raster/samples.h"

#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>

// The kernel headers come after kernel_target.h (arith/isa.h says why).
// clang-format off
#include "arith/kernel_target.h"
#include "arith/fast.h"
#include "raster/sample_bytes.h"
// clang-format on

namespace scab {
SCABROSIMETER_COPY_BEGIN
namespace {

using raw_bytes::sample_at;

template <int kWidth>
void fold(const unsigned char* bytes, long n, SampleRange& range) {
  int32_t least = range.low, most = range.high;
  int64_t small = range.smallest;
#pragma omp simd reduction(min : least, small) reduction(max : most)
  for (long j = 0; j < n; j++) {
    const int32_t s = sample_at<kWidth>(bytes, j);
    least = s < least ? s : least;
    most = s > most ? s : most;
    const int64_t magnitude = s < 0 ? -static_cast<int64_t>(s) : s;
    const int64_t candidate = magnitude == 0 ? INT64_MAX : magnitude;
    small = candidate < small ? candidate : small;
  }
  range = {least, most, small};
}

// A sample is an integer below 2^31 in magnitude, so each product with a factor within
// [2^-60, 2^60] is zero or a normal double far from both ends of the range: its exact rest
// gives the model's double. Other factors take the model's product one at a time.
template <int kWidth>
SampleExtremes heights(const unsigned char* bytes, long n, double factor, double* out) {
  int32_t least = INT32_MAX, most = INT32_MIN;
  if (!(factor == 1 || (std::fabs(factor) >= 0x1p-60 && std::fabs(factor) <= 0x1p60))) {
    for (long j = 0; j < n; j++) {
      const int32_t s = sample_at<kWidth>(bytes, j);
      least = s < least ? s : least;
      most = s > most ? s : most;
      out[j] = fast::mul(s, factor);
    }
    return {least, most};
  }
  if (factor == 1) {
#pragma omp simd reduction(min : least) reduction(max : most)
    for (long j = 0; j < n; j++) {
      const int32_t s = sample_at<kWidth>(bytes, j);
      least = s < least ? s : least;
      most = s > most ? s : most;
      out[j] = s;
    }
    return {least, most};
  }
#pragma omp simd reduction(min : least) reduction(max : most)
  for (long j = 0; j < n; j++) {
    const int32_t s = sample_at<kWidth>(bytes, j);
    least = s < least ? s : least;
    most = s > most ? s : most;
    const double sample = s;
    const double product = sample * factor;
    out[j] = fast::model_of_pair(product, std::fma(sample, factor, -product));
  }
  return {least, most};
}

}  // namespace
SCABROSIMETER_COPY_END

namespace SCABROSIMETER_EXPORTS {

void fold_samples(int width, const unsigned char* bytes, long n, SampleRange& range) {
  assert((width == 1 || width == 2 || width == 4) && n >= 0);
  if (width == 1) fold<1>(bytes, n, range);
  if (width == 2) fold<2>(bytes, n, range);
  if (width == 4) fold<4>(bytes, n, range);
}

SampleExtremes samples_to_heights(int width, const unsigned char* bytes, long n, double factor,
                                  double* out) {
  assert((width == 1 || width == 2 || width == 4) && n >= 0);
  if (width == 1) return heights<1>(bytes, n, factor, out);
  if (width == 2) return heights<2>(bytes, n, factor, out);
  return heights<4>(bytes, n, factor, out);
}

}  // namespace SCABROSIMETER_EXPORTS
}  // namespace scab
