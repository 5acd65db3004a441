// The samples of a raw raster's lines: their range, and their heights. The loops are compiled
// once for each instruction set (samples.cpp, arith/isa.h); these run the copy in use
// (src/dispatch/table.cpp).
#pragma once

#include <cstdint>

namespace scab {

// The least and the greatest sample, and the least magnitude of a sample that is not zero
// (INT64_MAX while there is none).
struct SampleRange {
  int32_t low = INT32_MAX;
  int32_t high = INT32_MIN;
  int64_t smallest = INT64_MAX;
};

// The least and the greatest of some samples (INT32_MAX and INT32_MIN when there are none).
struct SampleExtremes {
  int32_t low = INT32_MAX;
  int32_t high = INT32_MIN;
};

// Folds n samples of `width` bytes (1, 2 or 4) into `range`.
void fold_samples(int width, const unsigned char* bytes, long n, SampleRange& range);

// The heights of n samples of `width` bytes: each times `factor`, formed with a 64-bit
// significand and then rounded. `factor` is 1, or within [2^-60, 2^60] in magnitude. Gives the
// extremes of the samples, taken in the same loop: a reader that knows the range its samples
// must lie in finds one outside it at almost no cost.
SampleExtremes samples_to_heights(int width, const unsigned char* bytes, long n, double factor,
                                  double* out);

}  // namespace scab
