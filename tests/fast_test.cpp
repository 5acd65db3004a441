// The fast operations (arith/fast.h, elementwise.h) against the arithmetic model they shortcut:
// every result must be the double of the xreal expression, bit for bit. The operands are
// random, and built to sit where the model's two roundings (to 64 bits, then to double) part
// from one rounding: on a midpoint between two doubles, or off it by less than a 64-bit unit,
// with huge exponent gaps, cancellation, and values near and below the smallest normal.
#include "arith/fast.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "arith/elementwise.h"
#include "arith/xreal.h"
#include "float_cases.h"

namespace scab {
namespace {

using test::hex;
using test::Random;
using test::same_bits;

struct Tally {
  long cases = 0;
  long wrong = 0;
  std::string first_wrong;

  void check(double fast, double model, const std::string& what) {
    cases++;
    if (same_bits(fast, model)) return;
    if (wrong++ == 0) first_wrong = what + ": fast " + hex(fast) + ", model " + hex(model);
  }
};

#define EXPECT_NONE_WRONG(tally, at_least)              \
  do {                                                  \
    EXPECT_GE((tally).cases, at_least);                 \
    EXPECT_EQ((tally).wrong, 0) << (tally).first_wrong; \
  } while (0)

void check_add(Tally& tally, double a, double b) {
  const std::string what = "add(" + hex(a) + ", " + hex(b) + ")";
  tally.check(fast::add(a, b), rnd(xreal(a) + b), what);
}

void check_mul(Tally& tally, double a, double b) {
  tally.check(fast::mul(a, b), rnd(xreal(a) * b), "mul(" + hex(a) + ", " + hex(b) + ")");
}

void check_muladd(Tally& tally, double total, double x, double y) {
  tally.check(fast::muladd(total, x, y), rnd(xreal(total) + xreal(x) * y),
              "muladd(" + hex(total) + ", " + hex(x) + ", " + hex(y) + ")");
}

void check_square(Tally& tally, double d, double m) {
  tally.check(fast::square_of_difference(d, m), rnd((xreal(d) - m) * (xreal(d) - m)),
              "square_of_difference(" + hex(d) + ", " + hex(m) + ")");
}

// A distance from half a unit in the last place, in units of 2^-53 of that unit; 2^42 of them
// make one unit of the model's 64-bit significand.
std::int64_t near_half_unit_offset(Random& random) {
  switch (random.range(0, 3)) {
    case 0:
      return 0;
    case 1:
      return random.range(-4, 4);
    case 2:
      return static_cast<std::int64_t>(random.range(-2100, 2100)) *
             (std::int64_t{1} << random.range(0, 30));
    default:
      return static_cast<std::int64_t>(random.range(-100000, 100000)) *
             (std::int64_t{1} << random.range(0, 33));
  }
}

TEST(Fast, AddMatchesTheModel) {
  Random random{11};
  Tally tally;
  for (int i = 0; i < 300000; i++) {
    const double a = random.real(-60, 60);
    const int ea = std::ilogb(a);
    double b;
    switch (i % 5) {
      case 0:  // random, of nearby size
        b = random.real(ea - 70, ea + 5);
        break;
      case 1: {  // on or near half a unit of a: 2^(ea-53) (1 + offset 2^-53)
        b = random.sign() *
            std::ldexp(0x1p52 + static_cast<double>(near_half_unit_offset(random)), ea - 53 - 52);
        break;
      }
      case 2:  // cancellation
        b = -a * (1 + random.sign() * std::ldexp(static_cast<double>(random.range(1, 1 << 20)),
                                                 -random.range(20, 70)));
        break;
      case 3:  // huge exponent gap
        b = random.real(ea - 1100, ea - 54);
        break;
      default:  // near and below the smallest normal, and the fast check's own limit 2^-959
        b = random.real(-1074, -940);
        b = random.coin() ? b : b * 0x1p-30;
    }
    if (i % 5 == 4 && random.coin()) {
      check_add(tally, random.real(-1074, -940), b);
    } else {
      check_add(tally, a, b);
      check_add(tally, b, a);
    }
  }
  EXPECT_NONE_WRONG(tally, 300000);
}

TEST(Fast, MulMatchesTheModel) {
  Random random{12};
  Tally tally;
  for (int i = 0; i < 300000; i++) {
    double a, b;
    switch (i % 4) {
      case 0:
        a = random.real(-80, 80);
        b = random.real(-80, 80);
        break;
      case 1: {  // the exact product on or near a midpoint between two doubles
        test::product_near_midpoint(random, near_half_unit_offset(random), a, b);
        a = std::ldexp(a, random.range(-110, 0)) * random.sign();
        b = std::ldexp(b, random.range(-110, 0)) * random.sign();
        break;
      }
      case 2: {  // 27-bit odd factors: a 54-bit product is an exact tie
        a = std::ldexp(static_cast<double>(test::odd_of_bits(random, 27)), random.range(-60, 20));
        b = std::ldexp(static_cast<double>(test::odd_of_bits(random, 27)), random.range(-60, 20));
        a *= random.sign();
        break;
      }
      default:  // huge gaps, and products near 2^-959, the smallest normal and below
        a = random.real(-600, 600);
        b = random.real(-1000 - std::ilogb(a), -900 - std::ilogb(a));
        if (random.coin()) b = random.real(-std::ilogb(a) - 40, -std::ilogb(a) + 40);
    }
    check_mul(tally, a, b);
  }
  EXPECT_NONE_WRONG(tally, 300000);
}

TEST(Fast, MulAddMatchesTheModel) {
  Random random{13};
  Tally tally;
  for (int i = 0; i < 300000; i++) {
    double total, x, y;
    switch (i % 5) {
      case 0:
        x = random.real(-30, 30);
        y = random.real(-30, 30);
        total = random.real(std::ilogb(x * y) - 60, std::ilogb(x * y) + 60);
        break;
      case 1: {  // an exact product that brings the sum on or near a midpoint
        total = random.real(-40, 40);
        const int et = std::ilogb(total);
        x = random.sign() *
            std::ldexp(0x1p52 + static_cast<double>(near_half_unit_offset(random)), et - 105 + 7);
        y = 0x1p-7;
        if (random.coin()) std::swap(x, total);
        break;
      }
      case 2: {  // a product on or near a midpoint itself, with a small or no total
        test::product_near_midpoint(random, near_half_unit_offset(random), x, y);
        x = std::ldexp(x, -60) * random.sign();
        y = std::ldexp(y, -50);
        const int ep = std::ilogb(x * y);
        total = random.range(0, 2) == 0 ? 0.0 : random.real(ep - 100, ep - 40);
        break;
      }
      case 3:  // cancellation
        x = random.real(-30, 30);
        y = random.real(-30, 30);
        total =
            -(x * y) * (1 + random.sign() * std::ldexp(static_cast<double>(random.range(1, 4095)),
                                                       -random.range(12, 60)));
        break;
      default:  // tiny products and sums
        x = random.real(-600, -400);
        y = random.real(-560, -360);
        total = random.coin() ? random.real(-1074, -900) : -(x * y);
    }
    check_muladd(tally, total, x, y);
  }
  EXPECT_NONE_WRONG(tally, 300000);
}

TEST(Fast, SquareOfDifferenceMatchesTheModel) {
  Random random{14};
  Tally tally;
  for (int i = 0; i < 300000; i++) {
    double d, m;
    switch (i % 5) {
      case 0:
        d = random.real(-20, 40);
        m = random.real(std::ilogb(d) - 60, std::ilogb(d) + 2);
        break;
      case 1: {  // difference 2^E + k with k near 2^(E - 26.5): the square lies near a midpoint
        const int e = random.range(28, 52);
        const double centre = std::ldexp(1.0, e - 26) * 0.7071067811865476;
        const double k = std::floor(centre) + random.range(-3000, 3000);
        const double difference = std::ldexp(1.0, e) + k;
        m = std::floor(random.real(0, 40) * (random.coin() ? 1 : 0));
        const int scale = random.range(-60, 20);
        d = std::ldexp(m + difference, scale);
        m = std::ldexp(m, scale);
        if (random.coin()) std::swap(d, m);
        break;
      }
      case 2: {  // 27- and 28-bit odd differences: squares of 54 to 56 bits, many of them ties
        const double difference =
            static_cast<double>(test::odd_of_bits(random, random.range(27, 28)));
        const int scale = random.range(-60, 20);
        m = std::ldexp(static_cast<double>(random.range(0, 1 << 20)), scale);
        d = m + std::ldexp(difference, scale);
        break;
      }
      case 3:  // the difference itself rounded to 64 bits first
        d = random.real(-10, 30);
        m = random.real(std::ilogb(d) - 80, std::ilogb(d) - 40);
        break;
      default:  // equal, and differences near the fast limit 2^-450 and below
        d = random.real(-500, -400);
        m = random.coin() ? d : d + random.real(-520, -440);
    }
    check_square(tally, d, m);
  }
  EXPECT_NONE_WRONG(tally, 300000);
}

// The element-wise kernels over runs of hard operands: values that land a running total on or
// near midpoints, and ordinary ones; each element against the model.
TEST(Fast, ElementwiseKernelsMatchTheModel) {
  Random random{15};
  Tally tally;
  const long n = 1000;
  std::vector<double> x(n), y(n), totals(n), means(n), out(n);
  for (int round = 0; round < 200; round++) {
    double total = random.real(-5, 30);
    for (long k = 0; k < n; k++) {
      const int et = std::ilogb(total) - 53 + 1;
      x[k] = random.coin()
                 ? random.real(0, 12)
                 : random.sign() *
                       std::ldexp(0x1p52 + static_cast<double>(near_half_unit_offset(random)),
                                  et - 53);
      y[k] = random.coin() ? 1.0 : random.real(-3, 3);
      totals[k] = std::fabs(total);
      means[k] = random.coin() ? y[k] : random.real(std::ilogb(x[k]) - 70, std::ilogb(x[k]) + 1);
      total = rnd(xreal(total) + x[k]);
    }
    fast::add_each(out.data(), x.data(), y.data(), n);
    for (long k = 0; k < n; k++)
      tally.check(out[k], rnd(xreal(x[k]) + y[k]), "add_each");
    fast::add_each(out.data(), totals.data(), x.data(), n);
    for (long k = 0; k < n; k++)
      tally.check(out[k], rnd(xreal(totals[k]) + x[k]), "add_each onto totals");
    fast::add_each_deviation_square(out.data(), totals.data(), x.data(), means.data(), n);
    for (long k = 0; k < n; k++) {
      const double dif = rnd(xreal(x[k]) - means[k]);
      tally.check(out[k], rnd(xreal(totals[k]) + rnd(xreal(dif) * dif)),
                  "add_each_deviation_square");
    }
  }
  EXPECT_NONE_WRONG(tally, 200 * 3 * n);
}

}  // namespace
}  // namespace scab
