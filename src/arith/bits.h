// The bits of a double, and the exact error of a sum: the pieces that the fast arithmetic
// (arith/fast.h) and the emulated fma() (arith/fma_emulated.h) both take apart doubles with.
#pragma once

#include <cstdint>
#include <cstring>

#include "arith/isa.h"

namespace scab {
SCABROSIMETER_COPY_BEGIN
namespace bits {

inline uint64_t bits_of(double x) {
  uint64_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

inline double from_bits(uint64_t b) {
  double x;
  std::memcpy(&x, &b, sizeof x);
  return x;
}

// The exact error of a + b = s, s the double sum (Knuth's TwoSum): a + b = s + the result,
// exactly, as long as nothing overflows.
inline double sum_error(double a, double b, double s) {
  const double b_part = s - a;
  return (a - (s - b_part)) + (b - b_part);
}

}  // namespace bits
SCABROSIMETER_COPY_END
}  // namespace scab
