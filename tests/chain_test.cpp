// Running sums (arith/chain.h) against the arithmetic model, one step at a time: every total
// must be the model's double, bit for bit. The values are built to find where taking steps on
// the grid of the total's binade could go wrong: totals crossing binades up and down, landing on
// a power of two, starting from zero or changing sign; values exactly half a grid step off it
// or within a grid step of such a tie; products too large for the grid; zeros, tiny values,
// infinities.
#include "arith/chain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "arith/xreal.h"
#include "float_cases.h"

namespace scab {
namespace {

using test::hex;
using test::Random;
using test::same_bits;

double model_sum(double total, const std::vector<double>& x) {
  for (double v : x)
    total = rnd(xreal(total) + v);
  return total;
}

double model_products(double total, const std::vector<double>& x, const std::vector<double>& y) {
  for (size_t k = 0; k < x.size(); k++)
    total = rnd(xreal(total) + xreal(x[k]) * y[k]);
  return total;
}

// A value for the next step of a running total: ordinary ones of various sizes beside the
// total, and ones that put the exact sum on a tie of the total's 64-bit grid or close to it.
double next_value(Random& random, double total, int kind) {
  const int e = total == 0 ? 0 : std::ilogb(total);
  const double grid = std::ldexp(1.0, e - 63);  // spacing of 64-bit values at the total
  switch (kind) {
    case 0:  // small beside the total, either sign
      return random.real(e - 40, e - 12);
    case 1:  // positive, growing the total through binades
      return std::fabs(random.real(e - 14, e - 6));
    case 2: {  // half a grid step off the grid, or a few 2^-20 of a step off that
      const double steps = static_cast<double>(random.range(1, 1 << 20)) + 0.5;
      const double off = random.coin() ? 0.0 : random.range(-8, 8) * std::ldexp(grid, -20);
      return random.sign() * (steps * grid + off);
    }
    case 3:  // as large as the total, either sign: cancellation, sign changes
      return random.real(e - 1, e + 1);
    default:  // zero, now and then
      return random.range(0, 3) == 0 ? 0.0 : random.real(e - 30, e - 10);
  }
}

TEST(Chain, RunningSumsGiveTheModelsTotals) {
  Random random{2026};
  long cases = 0, wrong = 0;
  std::string first;
  for (int round = 0; round < 600; round++) {
    const int kind = round % 5;
    double start = 0;
    switch (round % 4) {
      case 0:
        start = 0;
        break;
      case 1:
        start = random.real(10, 40);
        break;
      case 2:  // a power of two, of either sign
        start = random.sign() * std::ldexp(1.0, random.range(-5, 30));
        break;
      default:
        start = random.real(-20, 20);
    }
    const long n = random.range(1, 3000);
    std::vector<double> x(static_cast<size_t>(n));
    double total = start;
    for (long k = 0; k < n; k++) {
      x[k] = next_value(random, total, random.range(0, 9) == 0 ? random.range(0, 4) : kind);
      total = rnd(xreal(total) + x[k]);
    }
    const double model = model_sum(start, x);
    const double fast = fast::running_sum(start, x.data(), n);
    fast::Chain two[2] = {{start, x.data(), nullptr}, {-start, x.data(), nullptr}};
    fast::running_sums(two, n);
    for (const double got : {fast, two[0].total}) {
      cases++;
      if (!same_bits(got, model) && wrong++ == 0)
        first = "round " + std::to_string(round) + ": " + hex(got) + ", model " + hex(model);
    }
    cases++;
    if (!same_bits(two[1].total, model_sum(-start, x)) && wrong++ == 0)
      first = "round " + std::to_string(round) + ", second chain";
  }
  EXPECT_EQ(cases, 600 * 3);
  EXPECT_EQ(wrong, 0) << first;
}

TEST(Chain, ProductsGiveTheModelsTotals) {
  Random random{77};
  long cases = 0, wrong = 0;
  std::string first;
  for (int round = 0; round < 400; round++) {
    const long n = random.range(1, 2500);
    std::vector<double> x(static_cast<size_t>(n)), y(static_cast<size_t>(n));
    const double start = round % 3 == 0 ? 0.0 : random.real(20, 45);
    double total = start;
    for (long k = 0; k < n; k++) {
      const int e = total == 0 ? 0 : std::ilogb(total);
      switch (random.range(0, 4)) {
        case 0:  // ordinary heights and means
          x[k] = random.real(5, 11);
          y[k] = random.real(5, 11);
          break;
        case 1: {  // a product of two halves of a grid tie: on it, or off it by a little
          test::product_near_midpoint(random, random.range(-3, 3), x[k], y[k]);
          const int shift = e - 63 - (std::ilogb(x[k] * y[k]) - 52) + random.range(-2, 2);
          x[k] = std::ldexp(x[k], shift);
          break;
        }
        case 2:  // products as large as the total
          x[k] = random.real(e / 2 - 1, e / 2 + 1);
          y[k] = random.real(e / 2 - 1, e / 2 + 1);
          break;
        case 3:  // a square
          x[k] = y[k] = random.real(0, 12);
          break;
        default:  // a zero factor
          x[k] = 0;
          y[k] = random.real(0, 12);
      }
      total = rnd(xreal(total) + xreal(x[k]) * y[k]);
    }
    const double model = model_products(start, x, y);
    const double alone = fast::running_sum_of_products(start, x.data(), y.data(), n);
    // Three sums beside a product, and two beside two.
    fast::Chain sums[3] = {
        {start, x.data(), nullptr}, {0, y.data(), nullptr}, {1, x.data(), nullptr}};
    fast::Chain product[1] = {{start, x.data(), y.data()}};
    fast::running_sums(sums, product, n);
    fast::Chain two_sums[2] = {{start, x.data(), nullptr}, {0, y.data(), nullptr}};
    fast::Chain products[2] = {{0, x.data(), x.data()}, {-start, y.data(), y.data()}};
    fast::running_sums(two_sums, products, n);
    const double expected[9] = {model,
                                model,
                                model_sum(start, x),
                                model_sum(0, y),
                                model_sum(1, x),
                                model_products(0, x, x),
                                model_products(-start, y, y),
                                model_sum(start, x),
                                model_sum(0, y)};
    const double got[9] = {alone,
                           product[0].total,
                           sums[0].total,
                           sums[1].total,
                           sums[2].total,
                           products[0].total,
                           products[1].total,
                           two_sums[0].total,
                           two_sums[1].total};
    for (int c = 0; c < 9; c++) {
      cases++;
      if (!same_bits(got[c], expected[c]) && wrong++ == 0) {
        first = "round " + std::to_string(round) + ", chain " + std::to_string(c) + ": " +
                hex(got[c]) + ", model " + hex(expected[c]);
      }
    }
  }
  EXPECT_EQ(cases, 400 * 9);
  EXPECT_EQ(wrong, 0) << first;
}

// A total from zero over values of one size with all their bits, as a line's heights: the total
// passes from the size of the values to thousands of times it, where a plain sum stops being
// exact with a 64-bit significand.
TEST(Chain, SumsFromZeroOverValuesOfOneSize) {
  Random random{9};
  for (int round = 0; round < 40; round++) {
    const long n = 6000;
    std::vector<double> x(static_cast<size_t>(n));
    const int e = random.range(-10, 30);
    for (long k = 0; k < n; k++)
      x[k] = std::fabs(random.real(e, e + 1));
    const double model = model_sum(0.0, x);
    ASSERT_TRUE(same_bits(fast::running_sum(0.0, x.data(), n), model)) << "round " << round;
    fast::Chain two[2] = {{0.0, x.data(), nullptr}, {model, x.data(), nullptr}};
    fast::running_sums(two, n);
    ASSERT_TRUE(same_bits(two[0].total, model)) << "round " << round;
    ASSERT_TRUE(same_bits(two[1].total, model_sum(model, x))) << "round " << round;
  }
}

// Steps built one by one from the model's total so far, which stays within a few units of a
// power of two 2^p, so that the exact sum falls on or within a fraction of a 64-bit unit of a
// midpoint between doubles: in the total's binade, just across 2^p upward, or onto the midpoint
// just below 2^p from above (where the model's grid is finer than the one above). Zeros in
// between put those steps anywhere in a window.
TEST(Chain, StepsOntoMidpointsAcrossPowersOfTwo) {
  Random random{31};
  const double fractions[] = {0, 0.25, 0.5, 0.75, 0.5 + 0x1p-20, 0.5 - 0x1p-20};
  long cases = 0, wrong = 0;
  std::string first;
  for (int round = 0; round < 300; round++) {
    std::vector<double> x;
    const int p = random.range(-20, 60);
    const double power = std::ldexp(1.0, p);
    const double start = power * (1 - random.range(1, 3) * 0x1p-53);
    double total = start;
    for (int step = 0; step < 40; step++) {
      for (int zeros = random.range(0, 90); zeros > 0; zeros--)
        x.push_back(0.0);
      const double f = fractions[random.range(0, 5)] + random.range(-1, 1);
      const double grid = std::ldexp(1.0, std::ilogb(total) - 63);  // the model's, at the total
      const double to_power = power - total;                        // exact: a few units
      double v;
      if (random.coin()) {  // in the binade, nearly onto a midpoint above or below the total
        v = random.sign() * (1024 + f + 2048.0 * random.range(0, 2)) * grid;
      } else {
        // Across 2^p, nearly onto the first midpoint above it; or from above, nearly onto the
        // midpoint just below 2^p.
        const double past = total < power ? (1024 + f) * std::ldexp(1.0, p - 63)
                                          : -(512 + f / 2) * std::ldexp(1.0, p - 63);
        v = to_power + past;
        ASSERT_EQ(v - to_power, past);  // the step meant, with all its bits
      }
      x.push_back(v);
      total = rnd(xreal(total) + v);
    }
    const long n = static_cast<long>(x.size());
    const double model = model_sum(start, x);
    fast::Chain two[2] = {{start, x.data(), nullptr}, {start, x.data(), nullptr}};
    fast::running_sums(two, n);
    for (const double got : {fast::running_sum(start, x.data(), n), two[0].total}) {
      cases++;
      if (!same_bits(got, model) && wrong++ == 0)
        first = "round " + std::to_string(round) + ": " + hex(got) + ", model " + hex(model);
    }
  }
  EXPECT_EQ(cases, 600);
  EXPECT_EQ(wrong, 0) << first;
}

// Products whose double lies exactly half way between two points of the total's grid while the
// exact product does not: the model's rounding of the product to 64 bits decides the way, and
// the total sits with an odd last bit where that way shows.
TEST(Chain, ProductsOnGridTies) {
  Random random{5};
  long cases = 0, wrong = 0;
  for (int round = 0; round < 300; round++) {
    std::vector<double> x, y;
    const double start =
        std::ldexp(static_cast<double>(test::odd_of_bits(random, 53)), random.range(-10, 40));
    double total = start;
    for (int step = 0; step < 30; step++) {
      for (int zeros = random.range(0, 90); zeros > 0; zeros--) {
        x.push_back(0.0);
        y.push_back(1.0);
      }
      const double grid = std::ldexp(1.0, std::ilogb(total) - 63);
      const double tie = (1023.5 + 2 * random.range(0, 1)) * grid;  // a product near a midpoint
      // A factor f and a double next to tie / f: their product rounds back to the tie, but is
      // not it, and lies on the side wanted.
      const double side = random.sign();
      double a = 0, b = 0;
      bool found = false;
      for (int f = 3; f < 2000 && !found; f += 2) {
        a = f;
        for (const double near :
             {tie / f, std::nextafter(tie / f, 0.0), std::nextafter(tie / f, INFINITY)}) {
          b = near;
          const double p = a * b;
          if (p == tie && std::fma(a, b, -p) * side > 0) {
            found = true;
            break;
          }
        }
      }
      ASSERT_TRUE(found);
      x.push_back(a);
      y.push_back(b);
      total = rnd(xreal(total) + xreal(a) * b);
    }
    const double model = model_products(start, x, y);
    cases++;
    if (!same_bits(
            fast::running_sum_of_products(start, x.data(), y.data(), static_cast<long>(x.size())),
            model))
      wrong++;
  }
  EXPECT_EQ(cases, 300);
  EXPECT_EQ(wrong, 0);
}

TEST(Chain, ZerosTinyValuesAndInfinities) {
  // Signed zeros: +0 plus either zero stays +0; -0 plus -0 stays -0.
  const std::vector<double> zeros = {0.0, -0.0, 0.0, -0.0};
  EXPECT_TRUE(same_bits(fast::running_sum(0.0, zeros.data(), 4), 0.0));
  const std::vector<double> negative_zeros = {-0.0, -0.0};
  EXPECT_TRUE(same_bits(fast::running_sum(-0.0, negative_zeros.data(), 2), -0.0));
  // A long run of zeros, then values: a flat area of a raster.
  std::vector<double> flat(5000, 0.0);
  for (size_t k = 4000; k < flat.size(); k++)
    flat[k] = 0.1 * static_cast<double>(k % 7);
  EXPECT_TRUE(same_bits(fast::running_sum(0.0, flat.data(), 5000), model_sum(0.0, flat)));
  // Subnormal and tiny values and totals; an infinity; a NaN stays a NaN.
  const std::vector<double> tiny = {0x1p-1074, 0x1.8p-1070, -0x1p-1060, 0x1p-1000, 0x1p-960, 3.0};
  EXPECT_TRUE(same_bits(fast::running_sum(0x1p-1070, tiny.data(), 6), model_sum(0x1p-1070, tiny)));
  EXPECT_TRUE(same_bits(fast::running_sum_of_products(0.0, tiny.data(), tiny.data(), 6),
                        model_products(0.0, tiny, tiny)));
  const std::vector<double> huge = {0x1p1023, 0x1p1023, 1.0};
  EXPECT_EQ(fast::running_sum(0.0, huge.data(), 3), INFINITY);
  const std::vector<double> with_nan = {1.0, NAN, 2.0};
  EXPECT_TRUE(std::isnan(fast::running_sum(0.0, with_nan.data(), 3)));
}

}  // namespace
}  // namespace scab
