#include "arith/chain.h"

namespace scab::fast {
namespace {

constexpr long kBlock = 64;

}  // namespace

SCAB_VECTOR_CLONES double running_sum(double total, const double* values, long count) {
  double ahead[kBlock + 1];
  for (long start = 0; start < count;) {
    const long n = count - start < kBlock ? count - start : kBlock;
    const double* v = values + start;
    ahead[0] = total;
    for (long k = 0; k < n; k++)
      ahead[k + 1] = ahead[k] + v[k];
    bool any = false;
    for (long k = 0; k < n; k++)
      any |= add_suspect(ahead[k], v[k], ahead[k + 1]);
    if (!any) {
      total = ahead[n];
      start += n;
      continue;
    }
    // Take the good steps, redo the first doubtful one, and go on from the step after it.
    long k = 0;
    while (!add_suspect(ahead[k], v[k], ahead[k + 1]))
      k++;
    total = add_slow(ahead[k], v[k]);
    start += k + 1;
  }
  return total;
}

SCAB_VECTOR_CLONES double running_sum_of_products(double total, const double* x, const double* y,
                                                  long count) {
  double ahead[kBlock + 1];
  for (long start = 0; start < count;) {
    const long n = count - start < kBlock ? count - start : kBlock;
    const double* a = x + start;
    const double* b = y + start;
    ahead[0] = total;
    for (long k = 0; k < n; k++)
      ahead[k + 1] = std::fma(a[k], b[k], ahead[k]);
    bool any = false;
    for (long k = 0; k < n; k++)
      any |= muladd_suspect(ahead[k], a[k], b[k], ahead[k + 1]);
    if (!any) {
      total = ahead[n];
      start += n;
      continue;
    }
    long k = 0;
    while (!muladd_suspect(ahead[k], a[k], b[k], ahead[k + 1]))
      k++;
    total = muladd_slow(ahead[k], a[k], b[k]);
    start += k + 1;
  }
  return total;
}

}  // namespace scab::fast
