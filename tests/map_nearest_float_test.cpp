// The nearest float to a root of a ratio of integers: the fast decision from a double and the
// exact one, against MPFR.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "map/nearest_float.h"

using scab::map::near_float_boundary;
using scab::map::nearest_float_of_root;
using scab::map::to_mpz;

namespace {

// sqrt(num / den) rounded to the nearest float by MPFR. The quotient and the root are taken at
// 2000 bits: a root that is a float midpoint is then exact (its square, and so the quotient,
// has at most 50 significant bits), and one that is not lies further from every midpoint than
// 2^-1000 of itself for the ratios of these tests, so rounding at 2000 bits cannot reach one.
float mpfr_nearest_root(const mpz_class& num, const mpz_class& den) {
  mpfr_t quotient, divisor;
  mpfr_inits2(2000, quotient, divisor, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_z(quotient, num.get_mpz_t(), MPFR_RNDN);
  mpfr_set_z(divisor, den.get_mpz_t(), MPFR_RNDN);
  mpfr_div(quotient, quotient, divisor, MPFR_RNDN);
  mpfr_sqrt(quotient, quotient, MPFR_RNDN);
  const float nearest = mpfr_get_flt(quotient, MPFR_RNDN);
  mpfr_clears(quotient, divisor, static_cast<mpfr_ptr>(nullptr));
  return nearest;
}

float engine_root(const mpz_class& num, const mpz_class& den, double approx, bool exactly) {
  return nearest_float_of_root(approx, exactly, [&](mpz_class& n, mpz_class& d) {
    n = num;
    d = den;
  });
}

double approx_root(const mpz_class& num, const mpz_class& den) {
  return std::sqrt(num.get_d() / den.get_d());
}

uint32_t bits_of(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// m = significand x 2^exponent exactly, for a double m > 0.
void split(double m, mpz_class& significand, int& exponent) {
  const double fraction = std::frexp(m, &exponent);
  significand = mpz_class(std::ldexp(fraction, 53));
  exponent -= 53;
}

// num / den = (m (1 + shift / scale))^2 ... as integers: m^2 x scale^2 + shift, over scale^2.
void ratio_near_square(double m, const mpz_class& scale, long shift, mpz_class& num,
                       mpz_class& den) {
  mpz_class significand;
  int exponent = 0;
  split(m, significand, exponent);
  num = significand * significand * scale * scale + shift;
  den = scale * scale;
  if (exponent >= 0) {
    num <<= 2 * exponent;
  } else {
    den <<= -2 * exponent;
  }
}

}  // namespace

TEST(NearestFloat, MidpointsGoToTheEvenFloatAndTheirNeighboursToTheNearer) {
  std::mt19937_64 random(21);
  std::uniform_real_distribution<double> exponent(-120, 60);
  for (int trial = 0; trial < 3000; ++trial) {
    // Every binade, its ends included: a float just below a power of two, and one at it.
    float below = static_cast<float>(std::exp2(exponent(random)));
    if (trial % 3 == 1) below = std::nextafter(std::exp2(std::floor(std::log2(below))), 0.0f);
    if (trial % 3 == 2) below = std::exp2(std::floor(std::log2(below)));
    const float above = std::nextafter(below, std::numeric_limits<float>::infinity());
    const double midpoint = (static_cast<double>(below) + above) / 2;
    const float even = bits_of(below) % 2 == 0 ? below : above;
    mpz_class num, den;
    const mpz_class scale = mpz_class(1) << 40;
    for (const long shift : {0L, 1L, -1L}) {
      ratio_near_square(midpoint, shift == 0 ? mpz_class(1) : scale, shift, num, den);
      const float expected = shift == 0 ? even : shift > 0 ? above : below;
      ASSERT_EQ(mpfr_nearest_root(num, den), expected);  // the reference agrees with itself
      // The worst approximations: the midpoint itself, and a few units of a double away.
      for (const double approx :
           {midpoint, midpoint * (1 + 0x1p-49), midpoint * (1 - 0x1p-49), approx_root(num, den)}) {
        EXPECT_EQ(engine_root(num, den, approx, false), expected)
            << "midpoint " << midpoint << " shift " << shift << " approx " << approx;
      }
    }
  }
}

TEST(NearestFloat, RandomRatiosAgreeWithMpfrFastOrExact) {
  std::mt19937_64 random(5);
  gmp_randclass bits(gmp_randinit_default);
  bits.seed(7);
  for (int trial = 0; trial < 20000; ++trial) {
    const mpz_class num = bits.get_z_bits(1 + static_cast<unsigned long>(random() % 126));
    const mpz_class den = bits.get_z_bits(1 + static_cast<unsigned long>(random() % 90)) + 1;
    const float expected = mpfr_nearest_root(num, den);
    const double approx = approx_root(num, den);
    ASSERT_EQ(engine_root(num, den, approx, false), expected) << num << " / " << den;
    ASSERT_EQ(engine_root(num, den, approx, true), expected) << num << " / " << den;
  }
}

TEST(NearestFloat, TheBoundaryTestFlagsEveryApproximationNearAMidpoint) {
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> exponent(-125, 100);
  for (int trial = 0; trial < 2000; ++trial) {
    const float below = static_cast<float>(std::exp2(exponent(random)));
    const double midpoint = (static_cast<double>(below) + std::nextafter(below, 1e30f)) / 2;
    double approx = midpoint;
    for (int step = 0; step <= 32; ++step, approx = std::nextafter(approx, 1e300)) {
      EXPECT_TRUE(near_float_boundary(approx)) << midpoint << " + " << step << " units";
    }
    approx = midpoint;
    for (int step = 0; step <= 32; ++step, approx = std::nextafter(approx, 0.0)) {
      EXPECT_TRUE(near_float_boundary(approx)) << midpoint << " - " << step << " units";
    }
    EXPECT_FALSE(near_float_boundary(below));  // a float itself is 2^-25 from any midpoint
  }
  EXPECT_TRUE(near_float_boundary(0x1p-127));  // subnormal floats: always decided exactly
}

TEST(NearestFloat, SubnormalAndZeroRoots) {
  const mpz_class one = 1;
  const auto power = [](int exponent) -> mpz_class { return mpz_class(1) << exponent; };
  EXPECT_EQ(engine_root(0, one, 0.0, false), 0.0f);
  EXPECT_EQ(engine_root(0, one, 0.0, true), 0.0f);
  // 2^-150 lies halfway between 0 and the least subnormal 2^-149: the even one is 0.
  EXPECT_EQ(engine_root(one, power(300), 0x1p-150, false), 0.0f);
  EXPECT_EQ(engine_root(power(100) + 1, power(400), 0x1p-150, false), 0x1p-149f);
  EXPECT_EQ(engine_root(one, power(298), 0x1p-149, false), 0x1p-149f);
  EXPECT_EQ(engine_root(one, power(280), 0x1p-140, false), 0x1p-140f);
}

TEST(NearestFloat, WholeNumbersOf128BitsConvertExactly) {
  const __int128 big = (static_cast<__int128>(1) << 126) + 12345;
  EXPECT_EQ(to_mpz(big), (mpz_class(1) << 126) + 12345);
  EXPECT_EQ(to_mpz(-big), -((mpz_class(1) << 126) + 12345));
  EXPECT_EQ(to_mpz(-1), -1);
  EXPECT_EQ(to_mpz(0), 0);
  const __int128 lowest = -(static_cast<__int128>(1) << 126) * 2;  // -2^127
  EXPECT_EQ(to_mpz(lowest), -(mpz_class(1) << 127));
}
