// What the raster's range lets the passes' per-cell expressions (arith/fast.h) take for
// granted, and the running sum of squared deviations that both sweeps of the profile pass take
// by it.
#pragma once

#include <cassert>
#include <cmath>

#include "arith/fast.h"
#include "arith/isa.h"
#include "arith/running_sum.h"
#include "raster/line_source.h"

namespace scab {
SCABROSIMETER_COPY_BEGIN

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

// The running sum of the squared deviations of z[0 .. n-1] from `mean` (fast::deviation_square),
// from `total` on. What the range guarantees decides how much of each square is checked:
// nothing where every difference is exact and every square in model_of_pair's range; otherwise
// the unsure squares are taken singly; outside that range, every square is.
inline double add_deviation_squares(double total, const double* z, long n, double mean,
                                    const HeightFacts& facts) {
  assert(n >= 0);
  using fast::Signs;
  const auto sure = [z, mean](long k) { return fast::deviation_square(z[k], mean); };
  if (!facts.within_pair_range) return fast::sum_of<Signs::non_negative>(total, n, sure, sure);
  // Every square lies in model_of_pair's range.
  const auto candidate = [z, mean](long k) {
    return fast::deviation_square_candidate<true>(z[k], mean);
  };
  if (facts.differences_exact) {
    return fast::sum_of<Signs::non_negative>(
        total, n, [candidate](long k) { return candidate(k).value; }, sure);
  }
  return fast::sum_of<Signs::non_negative>(
      total, n, [candidate](long k) { return fast::or_nan(candidate(k)); }, sure);
}

SCABROSIMETER_COPY_END
}  // namespace scab
