// Fast evaluation of the program's hot expressions, with exactly the results of the arithmetic
// model in xreal.h.
//
// The model rounds an exact result twice: to a 64-bit significand, then to double. That gives
// the same double as one rounding of the exact result, except when the 64-bit value lands on a
// midpoint between two doubles. So each operation here computes the correctly rounded double
// s with plain double arithmetic, together with the exact (or nearly exact) remainder r of the
// exact result over s. A sum or a product whose remainder is exact takes the model's double
// from the two (model_of_pair); the others, whose remainder is only nearly exact, are done
// again the slow way, with xreal, when s + r lies close enough to a midpoint that the model's
// intermediate roundings could reach it, about once in a thousand operations or fewer.
//
// The remainders need a fused multiply-add and IEEE double arithmetic without contraction
// (the build sets -ffp-contract=off).
#pragma once

#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "arith/bits.h"
#include "arith/isa.h"
#include "arith/xreal.h"

namespace scab {
namespace SCABROSIMETER_ISA {
namespace fast {

using bits::bits_of;
using bits::from_bits;
using bits::sum_error;

constexpr uint64_t kSignMask = 0x8000000000000000ull;
constexpr uint64_t kExponentMask = 0x7ff0000000000000ull;
constexpr uint64_t kSignificandMask = 0x000fffffffffffffull;
// Below 2^-959 (exponent field 64; and for infinities and NaN) the check below is not made:
// such results always take the slow way. Above it the remainders are exact and the tolerances
// normal doubles: a product's rest fma(a, b, -p) is a double when the exponents of a and b sum
// to -970 or more (Boldo and Muller), which products of 2^-959 and above with factors below
// 2^1000 meet; and ulp(s) 2^-12 >= 2^-1023 loses no bit of the tolerances made from it.
constexpr uint64_t kSmallestChecked = 64ull << 52;

// The spacing of doubles at s (|s| normal): 2^(exponent - 52).
inline double ulp(double s) {
  return from_bits(bits_of(s) & kExponentMask) * 0x1p-52;
}

// True when the exact value s + r (s the double nearest it) is within `tolerance` of a midpoint
// between s and its neighbour on the side of r. Below a power of two the neighbour is half as
// far. An exact value on the midpoint itself is no doubt when r is exact: the model's 64-bit
// value is then that midpoint, rounded to even like s. Written without branches, so that loops
// over many values vectorize.
inline bool near_midpoint(double s, double r, double tolerance, bool r_is_exact) {
  const uint64_t b = bits_of(s);
  const uint64_t exponent = b & kExponentMask;
  const bool unchecked = (exponent < kSmallestChecked) | (exponent == kExponentMask);
  const bool exact_zero = (s == 0) & (r == 0);
  const double u = from_bits(exponent) * 0x1p-52;
  const bool below_power_of_two = ((b & kSignificandMask) == 0) & (((bits_of(r) ^ b) >> 63) != 0);
  const double half_gap = u * (0.5 - 0.25 * below_power_of_two);
  const double distance = std::fabs(r);
  const bool near = (distance >= half_gap - tolerance) & !(r_is_exact & (distance == half_gap));
  return (unchecked & !exact_zero) | (!unchecked & near);
}

// The exponent field of x (0 for zero).
inline uint64_t exponent_of(double x) {
  return (bits_of(x) & kExponentMask) >> 52;
}

// True when every partial sum of values whose exponent fields lie between `lowest` (of the
// nonzero ones) and `highest`, at most eight of them, is exact with a 64-bit significand: it
// spans at most 64 bits, from 2^(highest + 3) down to the last bit of the smallest value. The
// model's intermediate value is then the exact one, and the plain double sum is the model's.
inline bool sums_are_exact(uint64_t lowest, uint64_t highest) {
  return (highest <= lowest + 8) & (lowest >= 64);
}

// True when z - m is exact with a 64-bit significand: when either is zero, or their magnitudes
// lie within a factor 2^10 of each other (their exponents then differ by 10 at most, and the
// difference spans at most 53 + 11 bits). False for infinities and NaN.
inline bool difference_is_exact(double z, double m) {
  const double a = std::fabs(z), b = std::fabs(m);
  return ((a < b * 0x1p10) & (b < a * 0x1p10)) | (z == 0) | (m == 0);
}

// One 64-bit rounding of an exact value off s + r by at most this much.
inline double one_rounding(double s) {
  return ulp(s) * 0x1p-12;
}

[[gnu::noinline]] inline double add_slow(double a, double b) {
  return rnd(xreal(a) + b);
}
[[gnu::noinline]] inline double mul_slow(double a, double b) {
  return rnd(xreal(a) * b);
}
[[gnu::noinline]] inline double muladd_slow(double s, double x, double y) {
  return rnd(xreal(s) + xreal(x) * y);
}
[[gnu::noinline]] inline double square_of_difference_slow(double d, double m) {
  return rnd((xreal(d) - m) * (xreal(d) - m));
}

// The model's double of an exact value given as s + e, where s is the double nearest it and e
// the exact rest (|e| at most half a unit of s), for |s| in [2^-900, 2^1000) or s = e = 0.
//
// Where the exact value lies in the binade of s, the model's 64-bit value is s + e', e' being e
// rounded to the grid of 64-bit significands there (spacing 2^-63 of the binade's power of two;
// s is an even multiple of it, so the ties go as e's own); and the model's double is s + e'
// rounded once, which is what a double addition does. Adding and taking away 2^52 grid steps
// rounds e to the grid. Below a power of two the grid is twice as fine: rounding e to that finer
// grid on both sides of s is harmless, since above s every candidate rounds to s itself (even).
//
// No assert: the candidates below call it on every pair and discard what is outside the range.
inline double model_of_pair(double s, double e) {
  const uint64_t grid_top = ((bits_of(s) & ~kSignMask) - 1) & kExponentMask;
  // 2^52 grid steps, signed as -e: e' is taken away, so that s = -0 stays -0 when e' = 0.
  const double c = from_bits((grid_top - (11ull << 52)) | (~bits_of(e) & kSignMask));
  return s - ((c - e) - c);
}

// True when s lies outside the range model_of_pair takes (a zero s from an exact zero is in it).
inline bool outside_pair_range(double s, bool exact_zero) {
  const double a = std::fabs(s);
  return (!(a < 0x1p1000)) | ((a < 0x1p-900) & !exact_zero);
}

// rnd(xreal(a) + b), and whether it must be done the slow way instead.
inline double sum_candidate(double a, double b, bool& unusual) {
  const double s = a + b;
  unusual = outside_pair_range(s, s == 0);  // a zero sum of doubles is exact
  return model_of_pair(s, sum_error(a, b, s));
}

// rnd(xreal(a) * b), and whether it must be done the slow way instead.
inline double product_candidate(double a, double b, bool& unusual) {
  const double p = a * b;
  unusual = outside_pair_range(p, (a == 0) | (b == 0));
  return model_of_pair(p, std::fma(a, b, -p));
}

// s = fma(x, y, total), the double nearest total + x y; the model rounds x y to 64 bits first,
// then the sum.
inline bool muladd_suspect(double total, double x, double y, double s) {
  const double p = x * y;
  const bool unusual = ((std::fabs(p) < 0x1p-959) & (x != 0) & (y != 0)) |
                       !(std::fabs(p) <= 0x1p1000);  // underflow, overflow, not a number
  const double p_error = std::fma(x, y, -p);
  const double s1 = total + p;
  const double remainder = ((s1 - s) + sum_error(total, p, s1)) + p_error;
  // An exact product leaves a plain sum of two doubles, whose remainder is exact; otherwise the
  // model's two 64-bit roundings widen the doubt, each by half a 64-bit unit (2^-11 of a
  // double's): of the product, ulp(p) 2^-12; of the sum, ulp(s) 2^-12, or twice that when the
  // 64-bit sum lies in the binade above s; and the remainder, formed with two double roundings
  // of terms within a few units of s, is off by less than ulp(s) 2^-50, taken as 2^-40.
  const bool exact_product = p_error == 0;
  const double widened = ulp(p) * 0x1p-12 + ulp(s) * (0x1p-11 + 0x1p-40);
  const uint64_t choose_one = 0 - static_cast<uint64_t>(exact_product);  // all ones, or zero
  const double tolerance =
      from_bits((bits_of(one_rounding(s)) & choose_one) | (bits_of(widened) & ~choose_one));
  return unusual | near_midpoint(s, remainder, tolerance, exact_product);
}

// rnd(xreal(a) + b)
inline double add(double a, double b) {
  bool unusual;
  const double s = sum_candidate(a, b, unusual);
  return unusual ? add_slow(a, b) : s;
}

// rnd(xreal(a) * b)
inline double mul(double a, double b) {
  bool unusual;
  const double p = product_candidate(a, b, unusual);
  return unusual ? mul_slow(a, b) : p;
}

// rnd(xreal(total) + xreal(x) * y)
inline double muladd(double total, double x, double y) {
  const double s = std::fma(x, y, total);
  return muladd_suspect(total, x, y, s) ? muladd_slow(total, x, y) : s;
}

// s = the double nearest (d - m)^2, for rnd((xreal(d) - m) * (xreal(d) - m)): the model keeps
// the difference to 64 bits, then squares it.
inline bool square_of_difference_suspect(double d, double m, double& s) {
  const double ds = d - m;
  const double de = sum_error(d, -m, ds);
  const double q = ds * ds;
  const double tail = std::fma(ds, ds, -q) + 2 * ds * de;
  s = q + tail;
  const double remainder = (q - s) + tail;
  // The 64-bit difference is off by 2^-64 of itself at most, its square by 2^-63, and the
  // square's rounding adds half a 64-bit unit: a few 2^-12 units of s in all, taken as 2^-8.
  // A difference below 2^-450 has a square below 2^-900, near the products whose rest is no
  // longer a double (factors' exponents summing below -970) and whose 2 ds de part underflows:
  // the slow way.
  const bool tiny = (std::fabs(ds) < 0x1p-450) & (ds != 0);
  return tiny | near_midpoint(s, remainder, ulp(s) * 0x1p-8, false);
}

inline double square_of_difference(double d, double m) {
  double s;
  return square_of_difference_suspect(d, m, s) ? square_of_difference_slow(d, m) : s;
}

}  // namespace fast
}  // namespace SCABROSIMETER_ISA
using namespace SCABROSIMETER_ISA;
}  // namespace scab
