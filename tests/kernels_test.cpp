// The per-cell expressions of the passes (analysis/kernels.h) against the arithmetic model, and
// what a raster's range lets them take for granted.
#include "analysis/kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "arith/fast.h"
#include "arith/model.h"
#include "arith/xreal.h"
#include "float_cases.h"
#include "heights_support.h"

namespace scab {
namespace {

using fast::Signs;
using test::hex;
using test::Random;
using test::same_bits;

TEST(Kernels, WhatARangeGuarantees) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* what;
    HeightRange range;  // lowest, highest, smallest, whole
    Signs signs;
    bool differences_exact, neighbour_sums_exact, within_pair_range;
  };
  const Case cases[] = {
      {"heights in metres of a DEM",
       {812.3, 1490.7, 812.3, false},  //
       Signs::non_negative,
       true,
       true,
       true},
      {"grey levels with black", {0, 255, 1, true}, Signs::non_negative, false, true, true},
      {"whole numbers up to 2^49", {-3, 0x1p49 - 1, 1, true}, Signs::any, false, true, true},
      {"whole numbers from 2^49", {1, 0x1p49, 1, true}, Signs::non_negative, false, false, true},
      {"one sign, less than 2^9 apart", {-0x1p9, -1.5, 1.5, false}, Signs::any, true, false, true},
      {"one sign, a factor 2^10 apart",
       {1, 0x1p10, 1, false},
       Signs::non_negative,
       false,
       false,
       true},
      {"exponents 8 apart", {0.5, 255.9, 0.5, false}, Signs::non_negative, true, true, true},
      {"exponents 9 apart", {0.5, 256, 0.5, false}, Signs::non_negative, false, false, true},
      {"beyond 2^190", {1, 0x1p191, 1, true}, Signs::non_negative, false, false, false},
      {"below 2^-190", {0, 1, 0x1p-191, false}, Signs::non_negative, false, false, false},
      {"an infinity", {0, kInf, 1, false}, Signs::non_negative, false, false, false},
      {"both infinities", {-kInf, kInf, 1, false}, Signs::any, false, false, false},
  };
  for (const Case& c : cases) {
    const HeightFacts facts = facts_of(c.range);
    EXPECT_EQ(facts.signs, c.signs) << c.what;
    EXPECT_EQ(facts.differences_exact, c.differences_exact) << c.what;
    EXPECT_EQ(facts.neighbour_sums_exact, c.neighbour_sums_exact) << c.what;
    EXPECT_EQ(facts.within_pair_range, c.within_pair_range) << c.what;
  }
}

// Heights and means far apart in magnitude (10 to 13 binades), chosen where the model's
// difference, rounded to 64 bits first, is not the plain double difference: the candidates
// must be unsure (NaN) or give the model's result, never another.
TEST(Kernels, DifferencesOfValuesFarApart) {
  Random random{404};
  std::vector<double> z, m;
  while (z.size() < 600) {
    const int e = random.range(-20, 40);
    const double a = random.real(e, e), b = random.real(e - random.range(10, 13), e - 10);
    if (!same_bits(rnd(xreal(a) - b), a - b)) {
      z.push_back(a);
      m.push_back(b);
    }
  }
  long wrong = 0, unsure = 0;
  std::string first_wrong;
  const auto check = [&](double got, double model, const std::string& what) {
    if (std::isnan(got) && !std::isnan(model)) {
      unsure++;
    } else if (!same_bits(got, model) && wrong++ == 0) {
      first_wrong = what + ": " + hex(got) + ", model " + hex(model);
    }
  };
  for (size_t k = 0; k < z.size(); k++) {
    const double dif = rnd(xreal(z[k]) - m[k]);
    const double square = rnd(xreal(dif) * dif);
    const double square_of_difference = rnd((xreal(z[k]) - m[k]) * (xreal(z[k]) - m[k]));
    check(fast::or_nan(fast::deviation_square_candidate(z[k], m[k])), square,
          "deviation_square_candidate");
    check(fast::or_nan(fast::deviation_square_candidate<true>(z[k], m[k])), square,
          "deviation_square_candidate in the pair range");
    check(fast::or_nan(fast::square_of_difference_candidate(z[k], m[k])), square_of_difference,
          "square_of_difference_candidate");
    EXPECT_EQ(hex(fast::deviation_square(z[k], m[k])), hex(square));
    EXPECT_EQ(hex(model::deviation_square(z[k], m[k])), hex(square));
    EXPECT_EQ(hex(fast::square_of_difference(z[k], m[k])), hex(square_of_difference));
  }
  EXPECT_EQ(wrong, 0) << first_wrong;
  EXPECT_GE(unsure, 2 * static_cast<long>(z.size())) << "every deviation square here is unsure";
}

// A running sum of squared deviations from one mean, for each kind of range the facts can
// describe: every total the model's.
TEST(Kernels, SumsOfDeviationSquaresForEveryKindOfRange) {
  Random random{405};
  const long n = 3000;
  std::vector<double> z(n);
  for (int round = 0; round < 60; round++) {
    const int kind = round % 4;
    for (long k = 0; k < n; k++) {
      switch (kind) {
        case 0:  // one sign within 2^9: differences exact
          z[k] = std::ldexp(1 + std::fabs(random.real(-1, -1)), 8);
          break;
        case 1:  // both signs, many binades
          z[k] = random.real(-12, 12);
          break;
        case 2:  // beyond the pair range
          z[k] = random.real(180, 200);
          break;
        default:  // whole numbers with zeros
          z[k] = static_cast<double>(random.range(0, 3) == 0 ? 0 : random.range(0, 65535));
      }
    }
    const double* rows[1] = {z.data()};
    const HeightFacts facts = facts_of(test::range_of(rows, 1, static_cast<int>(n)));
    const double mean = kind == 0 ? z[n / 2] : z[0] * 0.75;
    double model = 0;
    for (long k = 0; k < n; k++) {
      const double dif = rnd(xreal(z[k]) - mean);
      model = rnd(xreal(model) + rnd(xreal(dif) * dif));
    }
    EXPECT_EQ(hex(add_deviation_squares(0, z.data(), n, mean, facts)), hex(model))
        << "round " << round;
  }
}

}  // namespace
}  // namespace scab
