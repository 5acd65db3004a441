// Running sums taken a block at a time (arith/running_sum.h) against the arithmetic model, one
// step at a time: every total must be the model's double, bit for bit. The increments are
// built where the block rule must give way: midpoints between multiples of the total's spacing
// at the first, a middle and the last step of a block, whose rounding depends on the parity of
// the total before them; totals that cross a power of two upwards and downwards inside a
// block; whole numbers around 2^53, where the spacing grows from 1 to 2 and every odd increment
// is a midpoint; several sums through one loop; and sums that start from zero.
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

double by_blocks(const Case& c, Signs signs) {
  const double *x = c.x.data(), *y = c.y.data();
  const long n = static_cast<long>(c.x.size());
  if (c.y.empty()) return fast::sum_of(signs, c.start, n, [x](long k) { return x[k]; });
  return fast::sum_of_products(signs, c.start, n, [x, y](long k) { return Product{x[k], y[k]}; });
}

void expect_model(const Case& c) {
  bool non_negative = true;
  for (size_t k = 0; k < c.x.size(); k++)
    non_negative &= !(c.x[k] < 0) && (c.y.empty() || !(c.y[k] < 0));
  const double expected = model(c);
  EXPECT_EQ(hex(by_blocks(c, Signs::any)), hex(expected)) << c.what;
  if (non_negative && !(c.start < 0)) {
    EXPECT_EQ(hex(by_blocks(c, Signs::non_negative)), hex(expected)) << c.what << " (one way)";
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

TEST(RunningSum, IncrementsThatAreNotSureAreTakenExactly) {
  // value(k) gives NaN now and then: those steps are the exact function's.
  std::vector<double> v(3000);
  for (size_t k = 0; k < v.size(); k++)
    v[k] = rnd(xreal(static_cast<int>(k % 977) + 1000) * 0.1);
  const double* pv = v.data();
  const double total = fast::sum_of<Signs::non_negative>(
      0.0, static_cast<long>(v.size()),
      [pv](long k) { return fast::unless_doubtful(pv[k], k % 37 == 0); },
      [pv](long k) { return pv[k]; });
  double expected = 0;
  for (const double x : v)
    expected = rnd(xreal(expected) + x);
  EXPECT_EQ(hex(total), hex(expected));
}

}  // namespace
}  // namespace scab
