// Element-wise expressions over lines of doubles, with the results of the arithmetic model:
// each element computed the fast way (a loop the compiler vectorizes), noting the doubtful
// ones, which are then done again the slow way.
#pragma once

#include <cstdint>

#include "arith/isa.h"

namespace scab {
namespace SCABROSIMETER_ISA {
namespace fast {

// A value computed the fast way, and whether it may differ from the model's.
struct Candidate {
  double value;
  bool doubtful;
};

// out[j] = candidate(j).value for j < n, the doubtful ones redone with slow(j). The candidates
// are computed straight into out, a block at a time, in a loop the compiler vectorizes (the two
// functions must capture by value, so that nothing they read can alias what the loop writes);
// the doubtful ones of a block are redone after it. out must not be an input.
template <typename Fast, typename Slow>
void each(double* out, long n, Fast candidate, Slow slow) {
  constexpr long kBlock = 256;
  uint64_t marks[kBlock];  // flags as wide as the lanes need no packing
  for (long start = 0; start < n; start += kBlock) {
    const long count = n - start < kBlock ? n - start : kBlock;
    double* block = out + start;
    uint64_t any = 0;
    for (long k = 0; k < count; k++) {
      const Candidate c = candidate(start + k);
      block[k] = c.value;
      marks[k] = c.doubtful;
      any |= c.doubtful;
    }
    if (any) {
      for (long k = 0; k < count; k++) {
        if (marks[k]) block[k] = slow(start + k);
      }
    }
  }
}

// out[j] = rnd(xreal(a[j]) + b[j]).
void add_each(double* out, const double* a, const double* b, long n);

// out[j] = rnd(xreal(totals[j]) + rnd(xreal(dif) * dif)), dif = rnd(xreal(z[j]) - means[j]): a
// running sum of squared deviations for each element.
void add_each_deviation_square(double* out, const double* totals, const double* z,
                               const double* means, long n);

}  // namespace fast
}  // namespace SCABROSIMETER_ISA
using namespace SCABROSIMETER_ISA;
}  // namespace scab
