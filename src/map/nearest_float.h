// The float nearest to a square root of a rational, from a double approximation, decided
// exactly (with GMP) only where the approximation cannot tell.
//
// Claim: if `approx` is within 2^-47 of the exact value x = sqrt(num / den), relatively, then
// near_float_boundary(approx) is true whenever a midpoint between two neighbouring floats lies
// between approx and x (so that rounding approx to float could differ from rounding x).
// Proof: for approx in [2^e, 2^(e+1)) with 2^e a normal float, the floats of that binade are
// the doubles whose 29 low significand bits are 0, and their midpoints those whose 29 low bits
// are 2^28. The distance |approx - x| is below 2^-47 x 2^(e+1), that is 32 units of the double's
// last place (2^(e-52)); a midpoint further than 64 of them from approx cannot lie between the
// two. Between 0 and 2^-126 (subnormal floats) the test answers true, and the exact path
// decides. At 0 it answers false: an approximation within 2^-47 of x, relatively, is 0 only when
// x is, and 0 is a float.
// Fallback: the exact path, round_root_exactly, compares x with the midpoint in integers.
#pragma once

#include <gmpxx.h>

#include <cstdint>
#include <cstring>

namespace scab::map {

// For approx >= 0 (or NaN, which answers false). Without a branch and in 32-bit integers, so
// that a loop of them runs in vector lanes.
inline bool near_float_boundary(double approx) {
  uint64_t bits;
  std::memcpy(&bits, &approx, sizeof bits);
  const auto low = static_cast<uint32_t>(bits) & ((uint32_t{1} << 29) - 1);
  const bool subnormal = (approx < 0x1p-126) & (approx != 0);
  return (low - ((uint32_t{1} << 28) - 64) < 128) | subnormal;  // unsigned: low within 64 of 2^28
}

// The float nearest to sqrt(num / den) (ties to even), num >= 0 and den > 0, given `approx`
// within 2^-47 of it relatively.
float round_root_exactly(double approx, const mpz_class& num, const mpz_class& den);

// The same, where `exact_ratio(num, den)` gives num and den only when they are needed: rarely,
// or always when `always_exactly`.
template <typename ExactRatio>
inline float nearest_float_of_root(double approx, bool always_exactly,
                                   const ExactRatio& exact_ratio) {
  if (!always_exactly && !near_float_boundary(approx)) return static_cast<float>(approx);
  mpz_class num, den;
  exact_ratio(num, den);
  return round_root_exactly(approx, num, den);
}

// An exact 128-bit integer as a GMP integer.
mpz_class to_mpz(__int128 value);

}  // namespace scab::map
