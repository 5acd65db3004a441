// Running sums taken a block at a time (arith/running_sum.h) against the arithmetic model, one
// step at a time: every total must be the model's double, bit for bit. The increments are
// built where the block rule must give way: midpoints between multiples of the total's spacing
// at the first, a middle and the last step of a block, whose rounding depends on the parity of
// the total before them; totals that cross a power of two upwards and downwards inside a
// block; whole numbers around 2^53, where the spacing grows from 1 to 2 and every odd increment
// is a midpoint; several sums through one loop; and sums that start from zero. Then random
// runs: totals crossing binades, landing on a power of two, changing sign; products too large
// for the grid or on its ties; zeros, tiny values, infinities.
#include "arith/running_sum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "arith/xreal.h"
#include "float_cases.h"

namespace scab {
namespace {

using fast::Product;
using fast::Signs;
using test::hex;
using test::Random;
using test::same_bits;

// The model, step by step, and the block rule over the same steps, compared at the end.
struct Case {
  std::string what;
  double start;
  std::vector<double> x, y;  // y empty for a sum of x
};

double model(const Case& c) {
  double total = c.start;
  for (size_t k = 0; k < c.x.size(); k++)
    total = c.y.empty() ? rnd(xreal(total) + c.x[k]) : rnd(xreal(total) + xreal(c.x[k]) * c.y[k]);
  return total;
}

template <Signs kSigns>
double by_blocks(const Case& c) {
  const double *x = c.x.data(), *y = c.y.data();
  const long n = static_cast<long>(c.x.size());
  if (c.y.empty()) return fast::sum_of<kSigns>(c.start, n, [x](long k) { return x[k]; });
  auto products = fast::product_chain<kSigns>(c.start, [x, y](long k) {
    return Product{x[k], y[k]};
  });
  fast::advance_together(n, products);
  return products.total;
}

void expect_model(const Case& c) {
  bool non_negative = true;
  for (size_t k = 0; k < c.x.size(); k++)
    non_negative &= !(c.x[k] < 0) && (c.y.empty() || !(c.y[k] < 0));
  const double expected = model(c);
  EXPECT_EQ(hex(by_blocks<Signs::any>(c)), hex(expected)) << c.what;
  if (non_negative && !(c.start < 0)) {
    EXPECT_EQ(hex(by_blocks<Signs::non_negative>(c)), hex(expected)) << c.what << " (one way)";
  }
}

TEST(RunningSum, MidpointsAtTheFirstAMiddleAndTheLastStepOfABlock) {
  // Totals in [2^52, 2^53): the spacing u is 1, and an increment k + 1/2 is a midpoint, which
  // goes to the even total. Blocks are 256 steps, taken again in pieces of 64.
  for (const long block : {64L, 256L}) {
    for (const long place : {0L, 1L, block / 2, block - 1}) {
      for (const double start : {0x1p52, 0x1p52 + 1}) {
        Case c{"midpoint at step " + std::to_string(place) + " of " + std::to_string(block) +
                   " from " + hex(start),
               start,
               std::vector<double>(static_cast<size_t>(2 * block), 2.0),
               {}};
        c.x[1] = 3;  // an odd step before: the parity at the midpoint changes
        c.x[static_cast<size_t>(place)] = 5.5;
        c.x[static_cast<size_t>(block + place)] = 0.5;
        expect_model(c);
        // The same as products: (2k + 1) x 0.5.
        Case products{c.what + ", products", start, {}, {}};
        for (const double v : c.x) {
          products.x.push_back(2 * v);
          products.y.push_back(0.5);
        }
        expect_model(products);
      }
    }
  }
}

TEST(RunningSum, MidpointsInEveryBlockAsDataOnADecimalGridGives) {
  // Heights in decimetres: sums of their squares land on midpoints of the total's spacing at
  // some sizes of the total; and random midpoints among ordinary increments.
  std::mt19937_64 random(1209);
  std::uniform_int_distribution<int> sample(5000, 30000);
  for (int round = 0; round < 20; round++) {
    Case squares{"squares of decimetres, round " + std::to_string(round), 0, {}, {}};
    Case heights{"decimetres, round " + std::to_string(round), 0, {}, {}};
    for (int k = 0; k < 20000; k++) {
      const double z = rnd(xreal(sample(random)) * 0.1);
      const double mean = rnd(xreal(sample(random) + sample(random)) * 0.0625);
      squares.x.push_back(mean);
      squares.y.push_back(mean);
      heights.x.push_back(z);
    }
    expect_model(squares);
    expect_model(heights);
  }
}

TEST(RunningSum, TotalsThatCrossAPowerOfTwoUpAndDownInsideABlock) {
  std::mt19937_64 random(77);
  std::uniform_int_distribution<int> step(-64, 64);
  for (const double power : {0x1p20, 0x1p40, 0x1p-30}) {
    for (int round = 0; round < 20; round++) {
      Case c{"around " + hex(power) + ", round " + std::to_string(round), power, {}, {}};
      // Steps of about 2^-20 of the total, which wander over the power of two and back, with
      // low bits that the spacing below and above rounds differently.
      for (int k = 0; k < 1000; k++) {
        c.x.push_back(power * 0x1p-20 * step(random) + power * 0x1p-60 * step(random));
      }
      expect_model(c);
      c.start = -power;
      expect_model(c);
    }
  }
}

TEST(RunningSum, WholeNumbersAtAndBeyondTwoToThe53) {
  // Below 2^53 every sum of whole numbers is exact; from 2^53 on the spacing is 2 and every odd
  // increment a midpoint, from 2^54 the spacing is 4.
  for (const double start : {0x1p53 - 300, 0x1p53 - 1, 0x1p53, 0x1p54 - 100}) {
    Case c{"whole numbers from " + hex(start), start, {}, {}};
    for (int k = 0; k < 600; k++)
      c.x.push_back(1 + k % 3);
    expect_model(c);
    Case products{c.what + ", products", start, {}, {}};
    for (int k = 0; k < 600; k++) {
      products.x.push_back(1 + k % 5);
      products.y.push_back(1 + k % 2);
    }
    expect_model(products);
  }
}

TEST(RunningSum, SumsFromZeroWithIncrementsOfEverySize) {
  // As a line's sums start: the total crosses a power of two every few steps, and increments
  // far larger than it, or zero, come in among the others.
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> exponent(-10, 10);
  std::uniform_int_distribution<int> zero(0, 9);
  for (int round = 0; round < 40; round++) {
    Case c{"from zero, round " + std::to_string(round), 0, {}, {}};
    for (int k = 0; k < 3000; k++)
      c.x.push_back(zero(random) == 0 ? 0.0 : std::exp2(exponent(random)));
    expect_model(c);
    for (double& v : c.x)
      v = -v;
    c.what += ", below zero";
    expect_model(c);
  }
}

TEST(RunningSum, SeveralSumsThroughOneLoop) {
  std::mt19937_64 random(11);
  std::uniform_int_distribution<int> sample(-20000, 65535);
  for (int round = 0; round < 10; round++) {
    const long n = 5000;
    std::vector<double> z(n), y(n);
    for (long k = 0; k < n; k++) {
      z[k] = rnd(xreal(sample(random)) * 0.01);
      y[k] = rnd(xreal(sample(random) + sample(random)) * 0.005);
    }
    const double *pz = z.data(), *py = y.data();
    auto a = fast::sum_chain<Signs::any>(0.0, [pz](long k) { return pz[k]; });
    auto b = fast::sum_chain<Signs::any>(1e9, [py](long k) { return py[k]; });
    auto c = fast::product_chain<Signs::any>(0.0, [pz, py](long k) {
      return Product{pz[k], py[k]};
    });
    auto d = fast::product_chain<Signs::non_negative>(-3e12, [py](long k) {
      return Product{py[k], py[k]};
    });
    auto e = fast::sum_chain<Signs::non_negative>(0.0, [pz](long k) { return std::fabs(pz[k]); });
    auto f = fast::product_chain<Signs::non_negative>(7.5, [pz](long k) {
      return Product{pz[k], pz[k]};
    });
    fast::advance_together(n, a, b, c, d, e, f);
    double ma = 0, mb = 1e9, mc = 0, md = -3e12, me = 0, mf = 7.5;
    for (long k = 0; k < n; k++) {
      ma = rnd(xreal(ma) + z[k]);
      mb = rnd(xreal(mb) + y[k]);
      mc = rnd(xreal(mc) + xreal(z[k]) * y[k]);
      md = rnd(xreal(md) + xreal(y[k]) * y[k]);
      me = rnd(xreal(me) + std::fabs(z[k]));
      mf = rnd(xreal(mf) + xreal(z[k]) * z[k]);
    }
    EXPECT_EQ(hex(a.total), hex(ma)) << round;
    EXPECT_EQ(hex(b.total), hex(mb)) << round;
    EXPECT_EQ(hex(c.total), hex(mc)) << round;
    EXPECT_EQ(hex(d.total), hex(md)) << round;
    EXPECT_EQ(hex(e.total), hex(me)) << round;
    EXPECT_EQ(hex(f.total), hex(mf)) << round;
  }
}

TEST(RunningSum, UnsureIncrementsAreTakenTheSureWay) {
  // value(k) gives NaN now and then: those steps are the sure function's.
  std::vector<double> v(3000);
  for (size_t k = 0; k < v.size(); k++)
    v[k] = rnd(xreal(static_cast<int>(k % 977) + 1000) * 0.1);
  const double* pv = v.data();
  const double total = fast::sum_of<Signs::non_negative>(
      0.0, static_cast<long>(v.size()),
      [pv](long k) {
        return fast::or_nan({pv[k], k % 37 == 0});
      },
      [pv](long k) { return pv[k]; });
  double expected = 0;
  for (const double x : v)
    expected = rnd(xreal(expected) + x);
  EXPECT_EQ(hex(total), hex(expected));
}

// Random runs, each checked as a sum alone and beside others in one loop.

// A sum of values[k] from `start`, or of x[k] y[k], as a pass takes it beside others.
auto summing(double start, const double* values) {
  return fast::sum_chain<Signs::any>(start, [values](long k) { return values[k]; });
}
auto multiplying(double start, const double* x, const double* y) {
  return fast::product_chain<Signs::any>(start, [x, y](long k) { return Product{x[k], y[k]}; });
}
double sum_alone(double start, const double* x, long n) {
  return fast::sum_of<Signs::any>(start, n, [x](long k) { return x[k]; });
}
double products_alone(double start, const double* x, const double* y, long n) {
  auto products = multiplying(start, x, y);
  fast::advance_together(n, products);
  return products.total;
}

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

TEST(RunningSum, RandomSumsAloneAndBesideAnother) {
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
    const double fast = sum_alone(start, x.data(), n);
    auto first_sum = summing(start, x.data()), second_sum = summing(-start, x.data());
    fast::advance_together(n, first_sum, second_sum);
    for (const double got : {fast, first_sum.total}) {
      cases++;
      if (!same_bits(got, model) && wrong++ == 0)
        first = "round " + std::to_string(round) + ": " + hex(got) + ", model " + hex(model);
    }
    cases++;
    if (!same_bits(second_sum.total, model_sum(-start, x)) && wrong++ == 0)
      first = "round " + std::to_string(round) + ", second chain";
  }
  EXPECT_EQ(cases, 600 * 3);
  EXPECT_EQ(wrong, 0) << first;
}

TEST(RunningSum, RandomProductsAloneAndBesideSums) {
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
    const double alone = products_alone(start, x.data(), y.data(), n);
    // Three sums beside a product, and two beside two.
    auto sum_of_x = summing(start, x.data()), sum_of_y = summing(0, y.data()),
         sum_from_one = summing(1, x.data());
    auto product = multiplying(start, x.data(), y.data());
    fast::advance_together(n, sum_of_x, sum_of_y, sum_from_one, product);
    auto second_x = summing(start, x.data()), second_y = summing(0, y.data());
    auto squares_of_x = multiplying(0, x.data(), x.data()),
         squares_of_y = multiplying(-start, y.data(), y.data());
    fast::advance_together(n, second_x, second_y, squares_of_x, squares_of_y);
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
                           product.total,
                           sum_of_x.total,
                           sum_of_y.total,
                           sum_from_one.total,
                           squares_of_x.total,
                           squares_of_y.total,
                           second_x.total,
                           second_y.total};
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
TEST(RunningSum, SumsFromZeroOverValuesOfOneSize) {
  Random random{9};
  for (int round = 0; round < 40; round++) {
    const long n = 6000;
    std::vector<double> x(static_cast<size_t>(n));
    const int e = random.range(-10, 30);
    for (long k = 0; k < n; k++)
      x[k] = std::fabs(random.real(e, e + 1));
    const double model = model_sum(0.0, x);
    ASSERT_TRUE(same_bits(sum_alone(0.0, x.data(), n), model)) << "round " << round;
    auto from_zero = summing(0.0, x.data()), from_total = summing(model, x.data());
    fast::advance_together(n, from_zero, from_total);
    ASSERT_TRUE(same_bits(from_zero.total, model)) << "round " << round;
    ASSERT_TRUE(same_bits(from_total.total, model_sum(model, x))) << "round " << round;
  }
}

// Steps built one by one from the model's total so far, which stays within a few units of a
// power of two 2^p, so that the exact sum falls on or within a fraction of a 64-bit unit of a
// midpoint between doubles: in the total's binade, just across 2^p upward, or onto the midpoint
// just below 2^p from above (where the model's grid is finer than the one above). Zeros in
// between put those steps anywhere in a window.
TEST(RunningSum, StepsOntoMidpointsAcrossPowersOfTwo) {
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
    auto first_sum = summing(start, x.data()), second_sum = summing(start, x.data());
    fast::advance_together(n, first_sum, second_sum);
    for (const double got : {sum_alone(start, x.data(), n), first_sum.total}) {
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
TEST(RunningSum, ProductsOnGridTies) {
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
    if (!same_bits(products_alone(start, x.data(), y.data(), static_cast<long>(x.size())), model))
      wrong++;
  }
  EXPECT_EQ(cases, 300);
  EXPECT_EQ(wrong, 0);
}

TEST(RunningSum, ZerosTinyValuesAndInfinities) {
  // Signed zeros: +0 plus either zero stays +0; -0 plus -0 stays -0.
  const std::vector<double> zeros = {0.0, -0.0, 0.0, -0.0};
  EXPECT_TRUE(same_bits(sum_alone(0.0, zeros.data(), 4), 0.0));
  const std::vector<double> negative_zeros = {-0.0, -0.0};
  EXPECT_TRUE(same_bits(sum_alone(-0.0, negative_zeros.data(), 2), -0.0));
  // A long run of zeros, then values: a flat area of a raster.
  std::vector<double> flat(5000, 0.0);
  for (size_t k = 4000; k < flat.size(); k++)
    flat[k] = 0.1 * static_cast<double>(k % 7);
  EXPECT_TRUE(same_bits(sum_alone(0.0, flat.data(), 5000), model_sum(0.0, flat)));
  // Subnormal and tiny values and totals; an infinity; a NaN stays a NaN.
  const std::vector<double> tiny = {0x1p-1074, 0x1.8p-1070, -0x1p-1060, 0x1p-1000, 0x1p-960, 3.0};
  EXPECT_TRUE(same_bits(sum_alone(0x1p-1070, tiny.data(), 6), model_sum(0x1p-1070, tiny)));
  EXPECT_TRUE(
      same_bits(products_alone(0.0, tiny.data(), tiny.data(), 6), model_products(0.0, tiny, tiny)));
  const std::vector<double> huge = {0x1p1023, 0x1p1023, 1.0};
  EXPECT_EQ(sum_alone(0.0, huge.data(), 3), INFINITY);
  const std::vector<double> with_nan = {1.0, NAN, 2.0};
  EXPECT_TRUE(std::isnan(sum_alone(0.0, with_nan.data(), 3)));
}

}  // namespace
}  // namespace scab
