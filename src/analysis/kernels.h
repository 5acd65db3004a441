// The per-cell expressions of the passes, each with the model's result (arith/xreal.h), and
// what the raster's range lets them take for granted.
#pragma once

#include <cassert>
#include <cmath>

#include "arith/fast.h"
#include "arith/isa.h"
#include "arith/running_sum.h"
#include "raster/raw_raster.h"

namespace scab {
namespace SCABROSIMETER_ISA {

// What the range of the heights guarantees for every cell, so that a kernel may skip the check.
struct HeightFacts {
  // Non-negative when no height is below zero: sums of heights and of their products then
  // only grow, which the block rule checks more cheaply.
  fast::Signs signs = fast::Signs::any;
  // Every height and every mean of heights (of a line, a column, the image, a neighbourhood)
  // differ by a difference exact with a 64-bit significand, so that the model's difference is
  // the double one. True when the heights have one sign, none is zero, and they lie within a
  // factor 2^9 of each other: a mean lies among them (give or take its last bits), and values
  // within 2^10 of each other differ exactly (fast::difference_is_exact).
  bool differences_exact = false;
  // Every sum of up to eight heights is exact with a 64-bit significand, so that the plain
  // double sums of the neighbours are the model's: whole numbers below 2^49 (their sums stay
  // below 2^53), or values whose exponents differ by 8 at most (eight of them, with their
  // carries, span at most 4 + 8 + 52 = 64 bits).
  bool neighbour_sums_exact = false;
  // Every value a kernel forms (differences of heights and their squares, neighbour means)
  // lies where fast::model_of_pair takes it: magnitudes within [2^-400, 2^400], or zero.
  bool within_pair_range = false;
};

inline HeightFacts facts_of(const HeightRange& range) {
  HeightFacts facts;
  if (!range.finite) return facts;
  const double largest = std::fmax(std::fabs(range.lowest), std::fabs(range.highest));
  facts.signs = range.lowest >= 0 ? fast::Signs::non_negative : fast::Signs::any;
  // Heights of magnitude within [2^-190, 2^190] are multiples of 2^-242, and so are their
  // sums; a mean (a sum over at most 2^62 cells, rounded) is zero or above 2^-305; an exact
  // difference of such values is zero or a multiple of 2^-357, its square zero or within
  // [2^-714, 2^382]: inside model_of_pair's range [2^-900, 2^1000), as are neighbour means.
  facts.within_pair_range =
      largest <= 0x1p190 && (range.smallest == 0 || range.smallest >= 0x1p-190);
  const bool one_sign_no_zero = range.lowest > 0 || range.highest < 0;
  facts.differences_exact =
      facts.within_pair_range && one_sign_no_zero &&
      largest < std::fmin(std::fabs(range.lowest), std::fabs(range.highest)) * 0x1p9;
  const bool whole_and_small = range.whole && largest < 0x1p49;
  const bool narrow =
      range.smallest != 0 && fast::exponent_of(largest) <= fast::exponent_of(range.smallest) + 8;
  facts.neighbour_sums_exact = facts.within_pair_range && (whole_and_small || narrow);
  return facts;
}

namespace kernel {

// rnd(xreal(a) * b) for a product whose double p and exact rest lie in model_of_pair's range.
inline double product(double a, double b) {
  const double p = a * b;
  assert(!fast::outside_pair_range(p, a == 0 || b == 0));
  return fast::model_of_pair(p, std::fma(a, b, -p));
}

// dif = rnd(xreal(z) - mean), then rnd(xreal(dif) * dif): a squared deviation as the model
// stores it, for a difference known to be exact.
inline double deviation_square(double z, double mean) {
  assert(fast::difference_is_exact(z, mean));
  const double dif = z - mean;
  return product(dif, dif);
}

// The same, checked: NaN where the difference may not be exact.
inline double checked_deviation_square(double z, double mean) {
  const double dif = z - mean;
  return fast::unless_doubtful(product(dif, dif), !fast::difference_is_exact(z, mean));
}

// The same the slow way, exact for any values.
inline double exact_deviation_square(double z, double mean) {
  const double dif = fast::add(z, -mean);
  return fast::mul(dif, dif);
}

// rnd((xreal(d) - mean) * (xreal(d) - mean)): the square of a difference kept to 64 bits, or
// NaN where it is not sure.
//
// The difference d - mean is exactly s + e, s the double difference and e its error; its
// 64-bit value is t = s + e', e' being e rounded to the 64-bit grid of s's binade (spaced
// 2^-63 of its power of two; s is a multiple of 2^11 of those steps, so the ties go as e's
// own), unless s is a power of two and e takes the difference below it, onto a grid twice as
// fine: then NaN. Then t^2 = s^2 + 2 s e' + e'^2; with hi = s^2 and lo its exact rest plus
// 2 s e', (top, rest) = hi + lo renormalized, top + rest is t^2 but for e'^2 and two roundings
// of a product and a sum, in all below 2^-102 |top|. fast::model_of_pair(top, rest) rounds rest
// to the 64-bit grid of top's binade (g, or g/2 just below a power of two), then the whole to a
// double: the model's result, unless the rounding of the true rest to that grid may differ from
// rest's, that is, unless rest lies within 2^-102 |top| of a midpoint of the grid, hence of a
// multiple of g/4 (which covers the midpoints of both grids): NaN, about one in 2^35. A square
// that is a double (lo = 0) is exact.
inline double checked_square_of_difference(double d, double mean) {
  using fast::bits_of;
  using fast::from_bits;
  const double s = d - mean;
  const double e = fast::sum_error(d, -mean, s);
  const uint64_t s_exponent = bits_of(s) & fast::kExponentMask;
  // e rounded to multiples of 2^(E_s - 63): adding 2^(E_s - 11), of that spacing, signed as e.
  const double grid_unit = from_bits((s_exponent - (11ull << 52)) | (bits_of(e) & fast::kSignMask));
  const double e64 = (e + grid_unit) - grid_unit;
  const bool s_power_of_two = (bits_of(s) & fast::kSignificandMask) == 0;
  const bool e_against_s = ((bits_of(e) ^ bits_of(s)) & fast::kSignMask) != 0;
  const bool below_power_of_two = s_power_of_two & e_against_s & (e != 0);
  const double hi = s * s;
  const double lo = std::fma(s, s, -hi) + 2 * s * e64;
  const double top = hi + lo;
  const double rest = lo - (top - hi);
  // rest rounded to multiples of g/4 = 2^(E-65): adding 2^(E-13), of spacing g/4, signed as rest.
  const uint64_t exponent = bits_of(top) & fast::kExponentMask;
  const double quarter_grid_unit =
      from_bits((exponent - (13ull << 52)) | (bits_of(rest) & fast::kSignMask));
  const double off = std::fabs(rest - ((rest + quarter_grid_unit) - quarter_grid_unit));
  // |s| within [2^-400, 2^400]: the square within [2^-800, 2^800], inside model_of_pair's range
  // [2^-900, 2^1000) with 100 binades to spare, where fma's rest and 2 s e64 stay exact doubles.
  // The doubt, 2^-102 |top|, is taken as 2^-100 |top|.
  const bool in_range = (std::fabs(s) >= 0x1p-400) & (std::fabs(s) < 0x1p400);
  const bool sure = in_range & !below_power_of_two & (off > std::fabs(top) * 0x1p-100);
  // A square that is a double (lo = 0, top = hi, rest = 0) is exact, and so is a zero one.
  return fast::unless_doubtful(fast::model_of_pair(top, rest),
                               !(sure | ((lo == 0) & in_range) | (s == 0)));
}

}  // namespace kernel

// The running sum of the squared deviations of z[0 .. n-1] from `mean`, from `total` on.
inline double add_deviation_squares(double total, const double* z, long n, double mean,
                                    const HeightFacts& facts) {
  assert(n >= 0);
  using fast::Signs;
  const auto exact = [z, mean](long k) { return kernel::exact_deviation_square(z[k], mean); };
  if (!facts.within_pair_range) return fast::sum_of<Signs::non_negative>(total, n, exact, exact);
  if (facts.differences_exact) {
    return fast::sum_of<Signs::non_negative>(
        total, n, [z, mean](long k) { return kernel::deviation_square(z[k], mean); }, exact);
  }
  return fast::sum_of<Signs::non_negative>(
      total, n, [z, mean](long k) { return kernel::checked_deviation_square(z[k], mean); }, exact);
}

}  // namespace SCABROSIMETER_ISA
using namespace SCABROSIMETER_ISA;
}  // namespace scab
