// Compiled once for each instruction set (arith/isa.h).
// The kernel headers come after kernel_target.h (arith/isa.h says why).
// clang-format off
#include "arith/kernel_target.h"
#include "arith/elementwise.h"
#include "arith/fast.h"
// clang-format on

namespace scab::SCABROSIMETER_ISA::fast {
namespace {

// dif = rnd(xreal(z) - mean), then rnd(xreal(dif) * dif). The difference of a height and a mean
// of heights is nearly always exact with a 64-bit significand (their exponents lie within 10 of
// each other), and then the plain one.
inline Candidate deviation_square(double z, double mean) {
  const double dif = z - mean;
  bool unusual_square;
  const double square = product_candidate(dif, dif, unusual_square);
  return {square, (!difference_is_exact(z, mean) | unusual_square) != 0};
}

inline double deviation_square_slow(double z, double mean) {
  const double dif = add(z, -mean);
  return mul(dif, dif);
}

}  // namespace

void add_each(double* out, const double* a, const double* b, long n) {
  each(
      out, n,
      [=](long j) {
        bool unusual;
        const double sum = sum_candidate(a[j], b[j], unusual);
        return Candidate{sum, unusual};
      },
      [=](long j) { return add_slow(a[j], b[j]); });
}

void add_each_deviation_square(double* out, const double* totals, const double* z,
                               const double* means, long n) {
  each(
      out, n,
      [=](long j) {
        const Candidate square = deviation_square(z[j], means[j]);
        bool unusual;
        const double sum = sum_candidate(totals[j], square.value, unusual);
        return Candidate{sum, (square.doubtful | unusual) != 0};
      },
      [=](long j) { return add_slow(totals[j], deviation_square_slow(z[j], means[j])); });
}

}  // namespace scab::SCABROSIMETER_ISA::fast
