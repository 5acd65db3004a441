// fma() as this build links it, and the program's own emulation of it (fma_emulated.h), round
// a * b + c once to the nearest double, ties to even. src/arith/fast.h depends on it.
//
// The reference does not use fma: the exact product comes from the integer product of the
// significands, split into two doubles, and the sign of an exact sum of doubles from
// Shewchuk's expansion arithmetic. A result r is right when the exact a * b + c lies within half
// the gap to each neighbour of r, and on that half exactly only when r is even.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string>

#include "arith/fma_emulated.h"
#include "float_cases.h"

namespace scab {
namespace {

using test::hex;
using test::Random;
using test::same_bits;

__extension__ typedef unsigned __int128 u128;

// hi + lo = a * b exactly, when neither term falls below the smallest subnormal's precision
// (the exponents of a and b add up to -968 or more) and nothing overflows.
void exact_product(double a, double b, double& hi, double& lo) {
  int ea, eb;
  const double ma = std::frexp(std::fabs(a), &ea);
  const double mb = std::frexp(std::fabs(b), &eb);
  const auto A = static_cast<std::uint64_t>(std::ldexp(ma, 53));
  const auto B = static_cast<std::uint64_t>(std::ldexp(mb, 53));
  const u128 product = static_cast<u128>(A) * B;
  const double sign = (a < 0) != (b < 0) ? -1.0 : 1.0;
  hi = sign *
       std::ldexp(static_cast<double>(static_cast<std::uint64_t>(product >> 53)), ea + eb - 53);
  lo = sign * std::ldexp(static_cast<double>(static_cast<std::uint64_t>(product) &
                                             ((std::uint64_t{1} << 53) - 1)),
                         ea + eb - 106);
}

// The sign (-1, 0, 1) of the exact sum of the terms (Shewchuk's Grow-Expansion with zero
// elimination: the expansion's last component carries the sign).
int sign_of_exact_sum(std::initializer_list<double> terms) {
  double expansion[8];
  int n = 0;
  for (double term : terms) {
    double grown[8];
    int m = 0;
    double q = term;
    for (int i = 0; i < n; i++) {
      const double s = q + expansion[i];
      const double b_part = s - q;
      const double e = (q - (s - b_part)) + (expansion[i] - b_part);
      if (e != 0) grown[m++] = e;
      q = s;
    }
    if (q != 0) grown[m++] = q;
    for (int i = 0; i < m; i++)
      expansion[i] = grown[i];
    n = m;
  }
  return n == 0 ? 0 : (expansion[n - 1] > 0 ? 1 : -1);
}

// Whether r is a * b + c rounded to nearest, ties to even. Results must be 0 or at least
// 2^-1000 in size (half the gap to a neighbour is then a double).
bool rounds_correctly(double r, double a, double b, double c) {
  double hi, lo;
  exact_product(a, b, hi, lo);
  if (r == 0) return sign_of_exact_sum({hi, lo, c}) == 0;
  if (!std::isfinite(r) || std::fabs(r) < 0x1p-1000) return false;
  const double up = std::nextafter(r, std::numeric_limits<double>::infinity()) - r;
  const double down = r - std::nextafter(r, -std::numeric_limits<double>::infinity());
  const bool even = (test::bits_of(r) & 1u) == 0;
  const int above = sign_of_exact_sum({hi, lo, c, -r, -0.5 * up});
  const int below = sign_of_exact_sum({hi, lo, c, -r, 0.5 * down});
  return (above < 0 || (above == 0 && even)) && (below > 0 || (below == 0 && even));
}

// The program's own fma(), where the compiler has the binary128 type it is written with; the
// library's elsewhere (clang on x86-64), which such a build links (cmake/fma.cmake).
double own_fma(double a, double b, double c) {
#if SCABROSIMETER_HAS_EMULATED_FMA
  return emulated::emulated_fma(a, b, c);
#else
  return std::fma(a, b, c);
#endif
}

// Runs both fma()s over the operands and counts the wrong results.
struct Tally {
  long cases = 0;
  long wrong_library = 0;
  long wrong_emulated = 0;
  std::string first_wrong;

  void note(bool library_ok, bool emulated_ok, double a, double b, double c, double library,
            double emulated) {
    cases++;
    wrong_library += library_ok ? 0 : 1;
    wrong_emulated += emulated_ok ? 0 : 1;
    if ((!library_ok || !emulated_ok) && first_wrong.empty()) {
      first_wrong = "fma(" + hex(a) + ", " + hex(b) + ", " + hex(c) + "): library " + hex(library) +
                    (library_ok ? " (right)" : " (wrong)") + ", emulated " + hex(emulated) +
                    (emulated_ok ? " (right)" : " (wrong)");
    }
  }

  // Checked against the exact reference.
  void check(double a, double b, double c) {
    const double library = std::fma(a, b, c);
    const double emulated = own_fma(a, b, c);
    note(rounds_correctly(library, a, b, c), rounds_correctly(emulated, a, b, c), a, b, c, library,
         emulated);
  }

  // Checked against a known result.
  void expect(double a, double b, double c, double result) {
    const double library = std::fma(a, b, c);
    const double emulated = own_fma(a, b, c);
    note(same_bits(library, result), same_bits(emulated, result), a, b, c, library, emulated);
  }
};

#define EXPECT_NONE_WRONG(tally, at_least)                                                 \
  do {                                                                                     \
    EXPECT_GE((tally).cases, at_least);                                                    \
    EXPECT_EQ((tally).wrong_library, 0) << "fma() of this build; " << (tally).first_wrong; \
    EXPECT_EQ((tally).wrong_emulated, 0) << "emulated fma; " << (tally).first_wrong;       \
  } while (0)

int exponent_of(double x) {
  return std::ilogb(x);
}

TEST(Fma, TheReferenceTellsRightFromWrong) {
  // (1 + 2^-52)^2 = 1 + 2^-51 + 2^-104: rounded once, 1 + 2^-51.
  const double a = 1 + 0x1p-52;
  EXPECT_TRUE(rounds_correctly(1 + 0x1p-51, a, a, 0));
  EXPECT_FALSE(rounds_correctly(1 + 0x1p-51 + 0x1p-52, a, a, 0));
  EXPECT_FALSE(rounds_correctly(1.0, a, a, 0));
  // Exact ties go to the even neighbour, below or above.
  EXPECT_TRUE(rounds_correctly(1.0, a, 0.5, 0.5));  // 1 + 2^-53
  EXPECT_FALSE(rounds_correctly(1 + 0x1p-52, a, 0.5, 0.5));
  EXPECT_TRUE(rounds_correctly(1 + 0x1p-51, a, 0.5, 0.5 + 0x1p-52));  // 1 + 3 * 2^-53
  EXPECT_FALSE(rounds_correctly(1 + 0x1p-52, a, 0.5, 0.5 + 0x1p-52));
  // Just off a tie, the nearer neighbour: 1 + 2^-53 + 2^-104 rounds up.
  EXPECT_TRUE(rounds_correctly(1 + 0x1p-52, a, 0.5 + 0x1p-53, 0.5 - 0x1p-53));
  EXPECT_FALSE(rounds_correctly(1.0, a, 0.5 + 0x1p-53, 0.5 - 0x1p-53));
  // Exact zero.
  EXPECT_TRUE(rounds_correctly(0.0, 3.0, 3.0, -9.0));
  EXPECT_FALSE(rounds_correctly(0x1p-60, 3.0, 3.0, -9.0));
}

TEST(Fma, RandomOperands) {
  Random random{1};
  Tally tally;
  for (int i = 0; i < 200000; i++) {
    const double a = random.real(-200, 200);
    const double b = random.real(-200, 200);
    const int ep = exponent_of(a * b);
    tally.check(a, b, random.real(ep - 60, ep + 60));
  }
  EXPECT_NONE_WRONG(tally, 200000);
}

TEST(Fma, ProductErrorsAreExact) {
  // fma(a, b, -p) with p the double product is the product's exact error, a double itself
  // when the exponents of a and b add up to -968 or more.
  Random random{2};
  Tally tally;
  for (int i = 0; i < 200000; i++) {
    // Up to past the edges of the emulation's double way (2^-480 .. 2^481).
    const int spread = i % 4 == 0 ? 495 : 300;
    const double a = random.real(-spread, spread);
    double b = random.real(-spread, spread) * (i % 3 == 0 ? 1.0 : 0x1p-100);
    if (std::ilogb(a) + std::ilogb(b) < -968) b = random.real(-968 - std::ilogb(a), 0);
    const double p = a * b;
    double hi, lo;
    exact_product(a, b, hi, lo);
    const double library = std::fma(a, b, -p);
    const double emulated = own_fma(a, b, -p);
    tally.note(sign_of_exact_sum({hi, lo, -p, -library}) == 0,
               sign_of_exact_sum({hi, lo, -p, -emulated}) == 0, a, b, -p, library, emulated);
  }
  EXPECT_NONE_WRONG(tally, 200000);
}

TEST(Fma, TiesAndNearTies) {
  Random random{3};
  Tally tally;
  for (int i = 0; i < 200000; i++) {
    // The exact product is on a midpoint (offset 0) or a few units of 2^-53 ulp off it.
    const int kind = i % 4;
    const std::int64_t offset = kind == 0 ? 0
                                : kind == 1
                                    ? random.range(-3, 3)
                                    : static_cast<std::int64_t>(random.range(-1000000, 1000000)) *
                                          (std::int64_t{1} << random.range(0, 20));
    double a, b;
    test::product_near_midpoint(random, offset, a, b);
    a = std::ldexp(a, random.range(-350, 250)) * random.sign();
    b = std::ldexp(b, random.range(-350, 250)) * random.sign();
    const int ep = exponent_of(a * b);
    double c = 0;
    switch (random.range(0, 3)) {
      case 0:  // nothing to add: the product's own rounding
        break;
      case 1:  // far below the product: decides a tie, changes nothing else
        c = random.real(ep - random.range(54, 900), ep - 54);
        break;
      case 2:  // a few units of the product's last place, or a fraction of one
        c = random.sign() *
            std::ldexp(static_cast<double>(random.range(1, 15)), ep - 52 - random.range(0, 60));
        break;
      default:  // of the product's size
        c = random.real(ep - 2, ep + 2);
    }
    tally.check(a, b, c);
  }
  EXPECT_NONE_WRONG(tally, 200000);
}

TEST(Fma, CancellationAndHugeExponentGaps) {
  Random random{4};
  Tally tally;
  for (int i = 0; i < 200000; i++) {
    const double a = random.real(-300, 300);
    const double b = random.real(-300, 300);
    const double p = a * b;
    const int ep = exponent_of(p);
    double c;
    switch (i % 3) {
      case 0:  // the product cancels almost all of c
        c = -p * (1 + random.sign() * std::ldexp(static_cast<double>(random.range(1, 255)),
                                                 -random.range(8, 60)));
        break;
      case 1:  // c far above the product
        c = random.real(ep + 54, std::min(ep + 900, 1000));
        break;
      default:  // c far below the product
        c = random.real(std::max(ep - 900, -990), ep - 54);
    }
    tally.check(a, b, c);
  }
  EXPECT_NONE_WRONG(tally, 200000);
}

TEST(Fma, TinyAndSubnormalResults) {
  // Products of two 26-bit numbers are doubles, even far down in the subnormal range: the
  // reference is then one IEEE double addition.
  Random random{5};
  Tally tally;
  for (int i = 0; i < 200000; i++) {
    const double A = static_cast<double>(random.next() >> 38);  // below 2^26
    const double B = static_cast<double>((random.next() >> 38) | 1u);
    const int ka = random.range(-1074, 0);
    const int kb = random.range(-1074 - ka, -900 - ka);
    const double a = std::ldexp(A, ka) * random.sign();
    const double b = std::ldexp(B, kb) * random.sign();
    const double p = a * b;  // exact
    double c;
    switch (i % 3) {
      case 0:
        c = random.real(-1074, -1000);
        break;
      case 1:
        c = -p + random.real(-1074, -1040);
        break;
      default:
        c = -p;
    }
    tally.expect(a, b, c, p + c);
  }
  EXPECT_NONE_WRONG(tally, 200000);
}

TEST(Fma, LargeAndSmallOperands) {
  Random random{6};
  Tally tally;
  for (int i = 0; i < 100000; i++) {
    const int ea = random.range(470, 990);
    const double a = random.real(ea, ea);
    const double b = random.real(std::max(-ea - 300, -1000), -ea + 300);
    const int ep = exponent_of(a * b);
    const double c = random.real(ep - 60, ep + 60);
    tally.check(a, b, c);
    tally.check(b, a, c);
  }
  EXPECT_NONE_WRONG(tally, 200000);
}

TEST(Fma, ZerosInfinitiesAndNaN) {
  const double inf = std::numeric_limits<double>::infinity();
  Tally tally;
  tally.expect(0.0, 5.0, -0.0, 0.0);
  tally.expect(-0.0, 5.0, -0.0, -0.0);
  tally.expect(2.0, -3.0, 6.0, 0.0);
  tally.expect(2.0, 3.0, inf, inf);
  tally.expect(0x1p600, 0x1p600, -inf, -inf);  // the exact product is finite
  tally.expect(0x1p600, 0x1p600, -0x1p1000, inf);
  tally.expect(0x1p600, -0x1p600, 1.0, -inf);
  tally.expect(inf, 2.0, 1.0, inf);
  EXPECT_NONE_WRONG(tally, 8);
  EXPECT_TRUE(std::isnan(own_fma(inf, 0.0, 1.0)));
  EXPECT_TRUE(std::isnan(own_fma(inf, 1.0, -inf)));
  EXPECT_TRUE(std::isnan(own_fma(std::nan(""), 1.0, 1.0)));
  EXPECT_TRUE(std::isnan(std::fma(inf, 0.0, 1.0)));
}

}  // namespace
}  // namespace scab
