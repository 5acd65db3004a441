// Element-wise expressions over lines of doubles, with the results of the arithmetic model:
// each element computed the fast way (a loop the compiler vectorizes), noting the unsure ones,
// which are then done again by the model's own evaluation.
#pragma once

#include <cstdint>

#include "arith/fast.h"
#include "arith/isa.h"

namespace scab {
SCABROSIMETER_COPY_BEGIN
namespace fast {

// out[j] = candidate(j).value for j < n, the unsure ones redone with model(j). The candidates
// are computed straight into out, a block at a time, in a loop the compiler vectorizes (the two
// functions must capture by value, so that nothing they read can alias what the loop writes);
// the unsure ones of a block are redone after it. out must not be an input.
template <typename Fast, typename Model>
void each(double* out, long n, Fast candidate, Model model) {
  constexpr long kBlock = 256;
  uint64_t marks[kBlock];  // flags as wide as the lanes need no packing
  for (long start = 0; start < n; start += kBlock) {
    const long count = n - start < kBlock ? n - start : kBlock;
    double* block = out + start;
    uint64_t any = 0;
    for (long k = 0; k < count; k++) {
      const Candidate c = candidate(start + k);
      block[k] = c.value;
      marks[k] = c.unsure;
      any |= c.unsure;
    }
    if (any) {
      for (long k = 0; k < count; k++) {
        if (marks[k]) block[k] = model(start + k);
      }
    }
  }
}

// out[j] = rnd(xreal(a[j]) + b[j]).
void add_each(double* out, const double* a, const double* b, long n);

// out[j] = rnd(xreal(totals[j]) + deviation square), the square of dif = rnd(xreal(z[j]) -
// means[j]) as the model stores it (fast::deviation_square): a running sum of squared deviations
// for each element.
void add_each_deviation_square(double* out, const double* totals, const double* z,
                               const double* means, long n);

}  // namespace fast
SCABROSIMETER_COPY_END
}  // namespace scab
