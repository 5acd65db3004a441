// A kernel source: compiled once for each instruction set (arith/isa.h).
// The kernel headers come after kernel_target.h (arith/isa.h says why).
// clang-format off
#include "arith/kernel_target.h"
#include "arith/elementwise.h"
#include "arith/fast.h"
#include "arith/model.h"
// clang-format on

namespace scab {
SCABROSIMETER_COPY_BEGIN
namespace fast {

void add_each(double* out, const double* a, const double* b, long n) {
  each(
      out, n, [=](long j) { return add_candidate(a[j], b[j]); },
      [=](long j) { return model::add(a[j], b[j]); });
}

void add_each_deviation_square(double* out, const double* totals, const double* z,
                               const double* means, long n) {
  each(
      out, n,
      [=](long j) {
        const Candidate square = deviation_square_candidate(z[j], means[j]);
        const Candidate sum = add_candidate(totals[j], square.value);
        return Candidate{sum.value, (square.unsure | sum.unsure) != 0};
      },
      [=](long j) { return model::add(totals[j], model::deviation_square(z[j], means[j])); });
}

}  // namespace fast
SCABROSIMETER_COPY_END
}  // namespace scab
