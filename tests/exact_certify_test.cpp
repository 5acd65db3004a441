// Certification at its edges (exact/certify.h): numbers exactly on a tie of the 6th decimal,
// on a midpoint between two doubles, or on 0, which only the exact test can settle; numbers
// within 1e-20 of such a boundary, which only enough precision can; sums of roots that are
// whole in disguise; and the quick path of the table's rows where its error bound matters.
// The expected texts come from the oracle's own rounding of exact rationals, or from MPFR at
// 4000 bits (exact_oracle.h).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "exact/certify.h"
#include "exact_oracle.h"

namespace scab::exact {
namespace {

using test::OracleFigure;
using test::Real;

mpq_class ratio(const mpz_class& a, const mpz_class& b) {
  mpq_class q(a, b);
  q.canonicalize();
  return q;
}

Surd rational(const mpq_class& q) {
  Surd s;
  s.scale = q;
  return s;
}

// scale × √radicand, as the figures build it.
struct OneRoot {
  OneRoot(const mpq_class& scale, const mpz_class& radicand) : sum({radicand}) {
    surd.scale = scale;
    surd.numerator = {{1, &sum}};
  }
  RootSum sum;
  Surd surd;
};

// The oracle's text and double of scale × √radicand.
std::pair<std::string, double> oracle_root(const mpq_class& scale, const mpz_class& radicand) {
  const OracleFigure f{true, Real(scale) * sqrt(Real(mpq_class(radicand)))};
  bool sure;
  const std::string text = test::oracle_text(f, &sure);
  EXPECT_TRUE(sure);
  return {text, test::oracle_double(f)};
}

TEST(Certify, TiesOfTheSixthDecimalGoToEven) {
  const mpz_class million = 1000000;
  for (long m : {0L, 1L, 2L, 3L, 617283L, 999999L, 1000000L, 123456789012L}) {
    for (long sign : {1L, -1L}) {
      const mpq_class tie = ratio(sign * (2 * m + 1), 2 * million);
      const Certified c = certify(rational(tie), true);
      EXPECT_EQ(c.text, test::text_of(tie)) << m << " " << sign;
      EXPECT_EQ(c.nearest, test::oracle_double(OracleFigure{true, Real(tie)}));
    }
  }
  // Binary fractions are exact doubles: printf's own rounding of them agrees.
  char printed[64];
  for (double tie : {0.0078125, 0.0234375, -std::ldexp(1.0, -21), 1.5 / 64, 2.5e-6, -0.0000005,
                     0.0000015, 1e15 + 0.0625}) {
    std::snprintf(printed, sizeof printed, "%f", tie);
    EXPECT_EQ(certify(rational(mpq_class(tie)), false).text, printed) << tie;
  }
  EXPECT_EQ(certify(rational(ratio(-1, 2 * million)), false).text, "-0.000000");
  EXPECT_EQ(certify(rational(ratio(-3, 2 * million)), false).text, "-0.000002");
  EXPECT_EQ(certify(rational(ratio(5, 2 * million)), false).text, "0.000002");
}

// Sums of roots that are rational, and land on a tie: √8 + √12 − 2√2 − 2√3 + √25 is 5, and
// (√8 − √2) / √2 is 1. No enclosure can settle them; the exact test must.
TEST(Certify, SumsOfRootsThatAreRationalTies) {
  const RootSum pairs({8, 12}), singles({2, 3}), five({25}), eight({8}), two({2});
  Surd sum;
  sum.scale = ratio(2469135, 10000000);  // 5 × it = 1.2345675
  sum.numerator = {{1, &pairs}, {-2, &singles}, {1, &five}};
  Certified c = certify(sum, true);
  EXPECT_EQ(c.text, "1.234568");
  EXPECT_EQ(c.nearest, 1.2345675);
  Surd quotient;
  quotient.scale = ratio(-2469135 * 5, 10000000);
  quotient.numerator = {{1, &eight}, {-1, &two}};
  quotient.denominator = {{1, &two}};
  c = certify(quotient, true);
  EXPECT_EQ(c.text, "-1.234568");
  EXPECT_EQ(c.nearest, -1.2345675);
  EXPECT_EQ(sign_of(quotient), -1);
}

// √N / D within about 1e-27 of a tie of the 6th decimal, either side: N = (h D)² ± 1 for a tie
// h = (2m + 1) / (2 × 10^6) and D = 2 × 10^16, so that h D is whole.
TEST(Certify, RootsWithinATinyDistanceOfATie) {
  const mpz_class d = mpz_class("20000000000000000");
  for (long m : {0L, 7L, 617283L, 4000000123L}) {
    const mpz_class h_d = (2 * m + 1) * mpz_class("10000000000");
    for (int side : {1, -1}) {
      const mpz_class radicand = h_d * h_d + side;
      const OneRoot root(ratio(1, d), radicand);
      const Certified c = certify(root.surd, true);
      const auto [text, nearest] = oracle_root(ratio(1, d), radicand);
      EXPECT_EQ(c.text, text) << m << " " << side;
      EXPECT_EQ(c.nearest, nearest) << m << " " << side;
    }
  }
  // A sum of roots likewise: (√(a²) + √(b² ± 1)) / D with (a + b) / D the tie 0.2000005 and b
  // large, about 1e-42 above or below it.
  const mpz_class b("300000000000000000000"), k("1000000000000000");
  const mpz_class a = 400001 * k - b;
  for (int side : {1, -1}) {
    const RootSum sum({a * a, b * b + side});
    Surd near;
    near.scale = ratio(1, 2000000 * k);
    near.numerator = {{1, &sum}};
    const Certified c = certify(near, true);
    EXPECT_EQ(c.text, side > 0 ? "0.200001" : "0.200000");
    const Real exact =
        Real(near.scale) * (Real(mpq_class(a)) + sqrt(Real(mpq_class(b * b + side))));
    EXPECT_EQ(c.nearest, test::oracle_double(OracleFigure{true, exact}));
  }
}

// The double nearest to a number on a midpoint between two doubles is the even one; a number
// within 2^-70 of it is on its own side.
TEST(Certify, NearestDoubleAtAndNearMidpoints) {
  const mpq_class step = ratio(1, mpz_class(1) << 53);  // half the spacing of doubles in [1, 2)
  for (long k : {1L, 3L, 5L, 1001L}) {
    const mpq_class midpoint = 1 + k * step;
    const double below = mpq_class(1 + (k - 1) * step).get_d();
    const double above = mpq_class(1 + (k + 1) * step).get_d();
    uint64_t bits;
    std::memcpy(&bits, &below, sizeof bits);
    EXPECT_EQ(certify(rational(midpoint), true).nearest, (bits & 1) == 0 ? below : above) << k;
    // The midpoint again as (√8 − √2) / √2 × midpoint, whose enclosures never shrink to a
    // point: the exact test finds the tie.
    const RootSum eight({8}), two({2});
    Surd disguised;
    disguised.scale = midpoint;
    disguised.numerator = {{1, &eight}, {-1, &two}};
    disguised.denominator = {{1, &two}};
    EXPECT_EQ(certify(disguised, true).nearest, (bits & 1) == 0 ? below : above) << k;
    // √N / 2^64 with N = (2^64 × midpoint)² ± 1.
    const mpz_class scaled = mpq_class(midpoint * mpq_class(mpz_class(1) << 64)).get_num();
    for (int side : {1, -1}) {
      const OneRoot root(ratio(1, mpz_class(1) << 64), scaled * scaled + side);
      EXPECT_EQ(certify(root.surd, true).nearest, side > 0 ? above : below) << k;
    }
  }
}

// Zero, and values so close to it that only their sign is in doubt: "0.000000" and
// "-0.000000" differ.
TEST(Certify, ZeroAndItsSign) {
  const RootSum two_a({2}), two_b({2}), eight({8}),
      big({mpz_class("1000000000000000000000000000000")}),
      big_next({mpz_class("1000000000000000000000000000001")});
  Surd zero;
  zero.numerator = {{1, &two_a}, {-1, &two_b}};
  EXPECT_EQ(certify(zero, true).text, "0.000000");
  EXPECT_EQ(sign_of(zero), 0);
  zero.numerator = {{1, &eight}, {-2, &two_a}};
  EXPECT_EQ(certify(zero, true).text, "0.000000");
  EXPECT_EQ(certify(zero, true).nearest, 0.0);
  // Scaled so that no enclosure of fewer than 2^20 bits around 0 underflows to a double 0:
  // only the exact test, once for the text and the double, settles it.
  zero.scale = mpq_class(mpz_class(1) << 1100000);
  EXPECT_EQ(certify(zero, true).text, "0.000000");
  EXPECT_EQ(certify(zero, true).nearest, 0.0);
  Surd tiny;  // √(10^30) − √(10^30 + 1), about −5e-16
  tiny.numerator = {{1, &big}, {-1, &big_next}};
  EXPECT_EQ(certify(tiny, true).text, "-0.000000");
  EXPECT_EQ(sign_of(tiny), -1);
  tiny.numerator = {{-1, &big}, {1, &big_next}};
  EXPECT_EQ(certify(tiny, true).text, "0.000000");
  EXPECT_GT(certify(tiny, true).nearest, 0.0);
}

// The grouping by square-free part: radicands f s² with random f and s, whose weights are made
// to cancel within each f; then one weight changed. Some radicands are multiples of the primes
// that key the groups, which must still find each other.
TEST(Certify, IsZeroGroupsRadicandsBySquareFreePart) {
  std::mt19937_64 random(31);
  const long parts[] = {2, 3, 5, 6, 7, 10, 65537 * 3, 65539, 1000003, 2 * 65651};
  for (int round = 0; round < 40; round++) {
    std::vector<std::pair<mpz_class, mpz_class>> terms;
    for (long f : parts) {
      mpz_class balance = 0;
      for (int k = 0; k < 3; k++) {
        const long s = 1 + static_cast<long>(random() % 200000);
        const long w = static_cast<long>(random() % 19) - 9;
        terms.emplace_back(w * 1, mpz_class(f) * s * s);
        balance += w * s;
      }
      // A last term with s = 1 cancels the group: its weight is minus the others' Σ w s.
      terms.emplace_back(-balance, f);
    }
    terms.emplace_back(1, 49);  // perfect squares: 7 − 3 − 4
    terms.emplace_back(-1, 9);
    terms.emplace_back(-4, 1);
    std::shuffle(terms.begin(), terms.end(), random);
    EXPECT_TRUE(is_zero(terms)) << round;
    terms[random() % terms.size()].first += 1;
    EXPECT_FALSE(is_zero(terms)) << round;
  }
  // A group whose first (least) radicand is a multiple of a key prime, 65537, and another one
  // that is not: 65538 √(5 × 65537²) − 65537 √(5 × 65538²) = 0.
  const mpz_class s0 = 65537, s1 = 65538;
  EXPECT_TRUE(is_zero({{s1, 5 * s0 * s0}, {-s0, 5 * s1 * s1}}));
  EXPECT_FALSE(is_zero({{s1, 5 * s0 * s0}, {-s0 + 1, 5 * s1 * s1}}));
  EXPECT_TRUE(is_zero({{2, 2}, {-1, 8}}));
  EXPECT_FALSE(is_zero({{1, 2}, {-1, 8}}));
  EXPECT_FALSE(is_zero({{1, 2}, {-1, 3}}));
}

unsigned __int128 to_128(const mpz_class& z) {
  const mpz_class low = z & mpz_class("18446744073709551615");
  return (static_cast<unsigned __int128>(mpz_class(z >> 64).get_ui()) << 64) | low.get_ui();
}

// A row's quick path (√A / divisor in double-double): with A within 1 of the square of a tie
// of the 6th decimal, or of a midpoint between two doubles, it is closer to the boundary than
// the path's error bound, which must make it decline; elsewhere it answers as the oracle does.
TEST(Certify, QuickRowPathDeclinesWithinItsErrorBound) {
  std::mt19937_64 random(41);
  std::string text;
  double nearest;
  for (int round = 0; round < 200; round++) {
    // A tie: √A / 2e12 = (2m + 1) / 2e6 (2e12 is C × 10^3 for C = 2 × 10^9 columns).
    const long m = 1000000000000L + static_cast<long>(random() % 4000000000000L);
    const mpz_class tie = (2 * m + 1) * mpz_class(1000000);
    EXPECT_FALSE(quick_root(to_128(tie * tie + (round % 2 ? 1 : -1)), 2e12, false, text, nearest))
        << round << " " << text;
    // A midpoint μ = 1 + (2k + 1) 2^-53, and d near 2^52: A = ⌊(μ d)²⌋ or one more puts √A / d
    // within 2^-104 of μ.
    const mpz_class k = random() % (1 << 20), d = (mpz_class(1) << 52) - random() % 1000;
    const mpq_class midpoint = 1 + mpq_class(2 * k + 1, mpz_class(1) << 53);
    const mpq_class square = midpoint * midpoint * d * d;
    const mpz_class a = mpz_class(square.get_num() / square.get_den()) + round % 2;
    EXPECT_FALSE(quick_root(to_128(a), d.get_d(), true, text, nearest)) << round;
    const OneRoot root(ratio(1, d), a);
    EXPECT_EQ(certify(root.surd, true).nearest, oracle_root(ratio(1, d), a).second) << round;
  }
  // Elsewhere: random radicands and divisors, settled by the quick path as the oracle does.
  int settled = 0;
  for (int round = 0; round < 300; round++) {
    const mpz_class a = mpz_class(random()) * random() >> (random() % 100);
    const long d = 1 + static_cast<long>(random() % 20000000000L);
    if (!quick_root(to_128(a), static_cast<double>(d), true, text, nearest)) continue;
    settled++;
    const auto [want_text, want_nearest] = oracle_root(ratio(1, d), a);
    EXPECT_EQ(text, want_text) << a.get_str() << " / " << d;
    EXPECT_EQ(nearest, want_nearest) << a.get_str() << " / " << d;
  }
  EXPECT_GT(settled, 280);
  ASSERT_TRUE(quick_root(0, 7000.0, true, text, nearest));
  EXPECT_EQ(text, "0.000000");
  EXPECT_EQ(nearest, 0.0);
}

TEST(Certify, FixedTextOfWholeMillionths) {
  EXPECT_EQ(fixed_text(0, false), "0.000000");
  EXPECT_EQ(fixed_text(0, true), "-0.000000");
  EXPECT_EQ(fixed_text(-7, true), "-0.000007");
  EXPECT_EQ(fixed_text(mpz_class("123456789012345678901"), false), "123456789012345.678901");
}

}  // namespace
}  // namespace scab::exact
