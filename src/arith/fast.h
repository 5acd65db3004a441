// Fast evaluation of the program's hot expressions, with exactly the results of the arithmetic
// model in xreal.h.
//
// The model rounds an exact result twice: to a 64-bit significand, then to double. That gives
// the same double as one rounding of the exact result, except when the 64-bit value lands on a
// midpoint between two doubles. So each operation here computes the correctly rounded double
// s with plain double arithmetic, together with the exact (or nearly exact) remainder r of the
// exact result over s. A sum or a product whose remainder is exact takes the model's double
// from the two (model_of_pair). The others, whose remainder is only nearly exact, are unsure
// when s + r lies close enough to a midpoint that the model's intermediate roundings could
// reach it, about once in a thousand operations or fewer; so is every operation on operands
// too tiny, too huge or not finite.
//
// Each expression comes twice: X_candidate gives the fast value and whether it is unsure (for
// loops that vectorize, and redo the unsure ones afterwards); X gives the model's double always,
// by the model's own evaluation (arith/model.h) where the candidate is unsure.
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
#include "arith/model.h"

namespace scab {
SCABROSIMETER_COPY_BEGIN
namespace fast {

using bits::bits_of;
using bits::from_bits;
using bits::sum_error;

constexpr uint64_t kSignMask = 0x8000000000000000ull;
constexpr uint64_t kExponentMask = 0x7ff0000000000000ull;
constexpr uint64_t kSignificandMask = 0x000fffffffffffffull;
// Below 2^-959 (exponent field 64; and for infinities and NaN) results are always unsure. Above
// it the remainders are exact and the tolerances normal doubles: a product's rest fma(a, b, -p)
// is a double when the exponents of a and b sum to -970 or more (Boldo and Muller), which
// products of 2^-959 and above with factors below 2^1000 meet; and ulp(s) 2^-12 >= 2^-1023 loses
// no bit of the tolerances made from it.
constexpr uint64_t kSmallestSure = 64ull << 52;

// The spacing of doubles at s (|s| normal): 2^(exponent - 52).
inline double ulp(double s) {
  return from_bits(bits_of(s) & kExponentMask) * 0x1p-52;
}

// True when the exact value s + r (s the double nearest it) is within `tolerance` of a midpoint
// between s and its neighbour on the side of r. Below a power of two the neighbour is half as
// far. An exact value on the midpoint itself is sure when r is exact: the model's 64-bit
// value is then that midpoint, rounded to even like s. Written without branches, so that loops
// over many values vectorize.
inline bool near_midpoint(double s, double r, double tolerance, bool r_is_exact) {
  const uint64_t b = bits_of(s);
  const uint64_t exponent = b & kExponentMask;
  const bool always_unsure = (exponent < kSmallestSure) | (exponent == kExponentMask);
  const bool exact_zero = (s == 0) & (r == 0);
  const double u = from_bits(exponent) * 0x1p-52;
  const bool below_power_of_two = ((b & kSignificandMask) == 0) & (((bits_of(r) ^ b) >> 63) != 0);
  const double half_gap = u * (0.5 - 0.25 * below_power_of_two);
  const double distance = std::fabs(r);
  const bool near = (distance >= half_gap - tolerance) & !(r_is_exact & (distance == half_gap));
  return (always_unsure & !exact_zero) | (!always_unsure & near);
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

// A value computed the fast way, and whether it may differ from the model's.
struct Candidate {
  double value;
  bool unsure;
};

// The candidate's value, or a NaN where it is unsure: how a fast increment of a running sum
// (arith/running_sum.h) says that it cannot vouch for itself. Written without a branch.
inline double or_nan(Candidate c) {
  return from_bits(bits_of(c.value) |
                   ((0 - static_cast<uint64_t>(c.unsure)) & 0x7ff8000000000000ull));
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

// rnd(xreal(a) + b), unsure outside model_of_pair's range.
inline Candidate add_candidate(double a, double b) {
  const double s = a + b;
  // A zero sum of doubles is exact.
  return {model_of_pair(s, sum_error(a, b, s)), outside_pair_range(s, s == 0)};
}

// rnd(xreal(a) * b), unsure outside model_of_pair's range.
inline Candidate mul_candidate(double a, double b) {
  const double p = a * b;
  return {model_of_pair(p, std::fma(a, b, -p)), outside_pair_range(p, (a == 0) | (b == 0))};
}

// rnd(xreal(total) + xreal(x) * y): s = fma(x, y, total), the double nearest total + x y; the
// model rounds x y to 64 bits first, then the sum. Unsure near a midpoint between doubles.
inline Candidate muladd_candidate(double total, double x, double y) {
  const double s = std::fma(x, y, total);
  const double p = x * y;
  const bool outside = ((std::fabs(p) < 0x1p-959) & (x != 0) & (y != 0)) |
                       !(std::fabs(p) <= 0x1p1000);  // underflow, overflow, not a number
  const double p_error = std::fma(x, y, -p);
  const double s1 = total + p;
  const double remainder = ((s1 - s) + sum_error(total, p, s1)) + p_error;
  // An exact product leaves a plain sum of two doubles, whose remainder is exact; otherwise the
  // model's two 64-bit roundings widen the tolerance, each by half a 64-bit unit (2^-11 of a
  // double's): of the product, ulp(p) 2^-12; of the sum, ulp(s) 2^-12, or twice that when the
  // 64-bit sum lies in the binade above s; and the remainder, formed with two double roundings
  // of terms within a few units of s, is off by less than ulp(s) 2^-50, taken as 2^-40.
  const bool exact_product = p_error == 0;
  const double widened = ulp(p) * 0x1p-12 + ulp(s) * (0x1p-11 + 0x1p-40);
  const uint64_t choose_one = 0 - static_cast<uint64_t>(exact_product);  // all ones, or zero
  const double tolerance =
      from_bits((bits_of(one_rounding(s)) & choose_one) | (bits_of(widened) & ~choose_one));
  return {s, (outside | near_midpoint(s, remainder, tolerance, exact_product)) != 0};
}

// dif = rnd(xreal(z) - m), then rnd(xreal(dif) * dif): a deviation stored as a double, squared.
// The difference of a height and a mean of heights is nearly always exact with a 64-bit
// significand (their magnitudes within 2^10 of each other), and then the plain one; unsure
// where it may not be, and outside model_of_pair's range. With kInPairRange the caller vouches
// that the square lies in that range (analysis/kernels.h, HeightFacts), and that check is left
// out.
template <bool kInPairRange = false>
inline Candidate deviation_square_candidate(double z, double m) {
  const double dif = z - m;
  const Candidate square = mul_candidate(dif, dif);
  assert(!kInPairRange || !square.unsure);
  const bool outside = kInPairRange ? false : square.unsure;
  return {square.value, (outside | !difference_is_exact(z, m)) != 0};
}

// rnd((xreal(d) - m) * (xreal(d) - m)): the square of a difference kept to 64 bits.
//
// The difference d - m is exactly s + e, s the double difference and e its error; its 64-bit
// value is t = s + e', e' being e rounded to the 64-bit grid of s's binade (spaced 2^-63 of its
// power of two; s is a multiple of 2^11 of those steps, so the ties go as e's own), unless s is
// a power of two and e takes the difference below it, onto a grid twice as fine: then unsure.
// Then t^2 = s^2 + 2 s e' + e'^2; with hi = s^2 and lo its exact rest plus 2 s e', (top, rest) =
// hi + lo renormalized, top + rest is t^2 but for e'^2 and two roundings of a product and a
// sum, in all below 2^-102 |top|. model_of_pair(top, rest) rounds rest to the 64-bit grid of
// top's binade (g, or g/2 just below a power of two), then the whole to a double: the model's
// result, unless the rounding of the true rest to that grid may differ from rest's, that is,
// unless rest lies within 2^-102 |top| of a midpoint of the grid, hence of a multiple of g/4
// (which covers the midpoints of both grids): unsure, about one in 2^35. A square that is a
// double (lo = 0) is exact.
inline Candidate square_of_difference_candidate(double d, double m) {
  const double s = d - m;
  const double e = sum_error(d, -m, s);
  const uint64_t s_exponent = bits_of(s) & kExponentMask;
  // e rounded to multiples of 2^(E_s - 63): adding 2^(E_s - 11), of that spacing, signed as e.
  const double grid_unit = from_bits((s_exponent - (11ull << 52)) | (bits_of(e) & kSignMask));
  const double e64 = (e + grid_unit) - grid_unit;
  const bool s_power_of_two = (bits_of(s) & kSignificandMask) == 0;
  const bool e_against_s = ((bits_of(e) ^ bits_of(s)) & kSignMask) != 0;
  const bool below_power_of_two = s_power_of_two & e_against_s & (e != 0);
  const double hi = s * s;
  const double lo = std::fma(s, s, -hi) + 2 * s * e64;
  const double top = hi + lo;
  const double rest = lo - (top - hi);
  // rest rounded to multiples of g/4 = 2^(E-65): adding 2^(E-13), of spacing g/4, signed as rest.
  const uint64_t exponent = bits_of(top) & kExponentMask;
  const double quarter_grid_unit =
      from_bits((exponent - (13ull << 52)) | (bits_of(rest) & kSignMask));
  const double off = std::fabs(rest - ((rest + quarter_grid_unit) - quarter_grid_unit));
  // |s| within [2^-400, 2^400]: the square within [2^-800, 2^800], inside model_of_pair's range
  // [2^-900, 2^1000) with 100 binades to spare, where fma's rest and 2 s e64 stay exact doubles.
  // The error, below 2^-102 |top|, is taken as 2^-100 |top|.
  const bool in_range = (std::fabs(s) >= 0x1p-400) & (std::fabs(s) < 0x1p400);
  const bool sure = in_range & !below_power_of_two & (off > std::fabs(top) * 0x1p-100);
  // A square that is a double (lo = 0, top = hi, rest = 0) is exact, and so is a zero one.
  return {model_of_pair(top, rest), !(sure | ((lo == 0) & in_range) | (s == 0))};
}

// The same expressions, always the model's double: the candidate where it is sure, the model's
// own evaluation (arith/model.h) where not.
inline double add(double a, double b) {
  const Candidate c = add_candidate(a, b);
  return c.unsure ? model::add(a, b) : c.value;
}

inline double mul(double a, double b) {
  const Candidate c = mul_candidate(a, b);
  return c.unsure ? model::mul(a, b) : c.value;
}

inline double muladd(double total, double x, double y) {
  const Candidate c = muladd_candidate(total, x, y);
  return c.unsure ? model::muladd(total, x, y) : c.value;
}

inline double deviation_square(double z, double m) {
  const Candidate c = deviation_square_candidate(z, m);
  return c.unsure ? model::deviation_square(z, m) : c.value;
}

inline double square_of_difference(double d, double m) {
  const Candidate c = square_of_difference_candidate(d, m);
  return c.unsure ? model::square_of_difference(d, m) : c.value;
}

}  // namespace fast
SCABROSIMETER_COPY_END
}  // namespace scab
