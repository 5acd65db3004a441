// Tests of the portable xreal.
//
// 1. Exact examples, worked out by hand, that every implementation of xreal must reproduce:
//    they run for scab::xreal, scab::portable::xreal and (where it exists) scab::x87::xreal.
// 2. Where long double is the x87 format, a randomized comparison of the portable class with
//    long double arithmetic, bit for bit: the 64-bit significand, exponent and sign of every
//    intermediate, and the bit pattern of every double it is rounded to.
//
// Size of the randomized run, per operation:
//   SCABROSIMETER_XREAL_PAIRS=N   exactly N operand pairs (or values, or chain steps);
//   SCABROSIMETER_XREAL_LONG=1    the long run, kLongPairs;
//   otherwise                     kDefaultPairs (a few seconds in an optimized build).
//   SCABROSIMETER_XREAL_SEED=S    changes the random seed.
#include "arith/xreal_portable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <type_traits>
#include <utility>

#include "arith/xreal.h"

namespace {

// The store and the library functions of either implementation (arith/store.h).
using scab::abs_d;
using scab::rnd;
using scab::sqrt_d;

std::uint64_t bits_of(double d) {
  std::uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

// ---- hand-worked examples, for every implementation ----

template <class X>
void check_examples() {
  const double inf = std::numeric_limits<double>::infinity();
  // Values the program prints: products of integers by decimal factors.
  EXPECT_EQ(bits_of(rnd(X(3) * 0.1)), bits_of(0x1.3333333333334p-2));
  EXPECT_EQ(bits_of(rnd(X(6139) * 0.1)), bits_of(0x1.32f3333333334p+9));
  EXPECT_EQ(bits_of(rnd(X(19839) * 0.001)), bits_of(0x1.3d6c8b4395810p+4));
  EXPECT_EQ(bits_of(rnd(X(-5) * 0.1)), bits_of(-0.5));

  // Ties at the 64th bit go to even; just past a tie goes up. In [1, 2) the last bit is 2^-63.
  EXPECT_EQ(rnd((X(1.0) + 0x1p-64) - 1.0), 0.0);
  EXPECT_EQ(rnd((X(1.0) + 0x3p-64) - 1.0), 0x1p-62);
  EXPECT_EQ(rnd((X(1.0) + 0x1.0000000000001p-64) - 1.0), 0x1p-63);
  EXPECT_EQ(rnd((X(1.0) + 0x1p-63) - 1.0), 0x1p-63);  // exact at 64 bits
  // (1 + 2^-32)^2 = 1 + 2^-31 + 2^-64: a tie, the even neighbour is 1 + 2^-31.
  EXPECT_EQ(rnd(X(1.0 + 0x1p-32) * (1.0 + 0x1p-32) - 1.0), 0x1p-31);
  EXPECT_EQ(rnd(X(1) / 3), 0x1.5555555555555p-2);
  // 1 - 2^-65 is a tie between 1 and 1 - 2^-64 (the spacing below 1); the extra 2^-128 puts
  // 1 - 2^-65 - 2^-128 below it, although that bit lies far beyond the 64 kept ones.
  EXPECT_EQ(rnd((X(1.0) - (X(0x1p-65) + 0x1p-128)) - 1.0), -0x1p-64);
  EXPECT_EQ(rnd((X(1.0) - X(0x1p-65)) - 1.0), 0.0);

  // Ties at the 53rd bit, and double rounding: 1 + 2^-53 + 2^-70 first rounds to 1 + 2^-53 at
  // 64 bits, which is then a tie at 53 bits and goes to 1, where a single rounding would give
  // 1 + 2^-52. Same with 2^-64 in place of 2^-70, a tie at 64 bits going to the even side.
  EXPECT_EQ(rnd(X(1.0) + 0x1p-53), 1.0);
  EXPECT_EQ(rnd(X(1.0) + 0x3p-53), 1.0 + 0x1p-51);
  EXPECT_EQ(rnd(X(1.0) + (0x1p-53 + 0x1p-70)), 1.0);
  EXPECT_EQ(rnd(X(1.0) + (0x1p-53 + 0x1p-64)), 1.0);
  EXPECT_EQ(rnd(X(1.0) + (0x1p-53 + 0x1p-63)), 1.0 + 0x1p-52);

  // Exponent gaps, cancellation, large exact sums.
  EXPECT_EQ(rnd(X(1e300) + 1e-300), 1e300);
  EXPECT_EQ(bits_of(rnd((X(1e300) + 1e-300) - 1e300)), bits_of(0.0));
  EXPECT_EQ(rnd(X(0x1p53) + 1 - 0x1p53), 1.0);
  EXPECT_EQ(rnd(X(1.0 + 0x1p-52) - 1.0), 0x1p-52);
  EXPECT_EQ(rnd(X(-2147483647 - 1)), -2147483648.0);
  EXPECT_EQ(rnd(X(INT_MAX) * INT_MAX), 4611686014132420609.0);

  // Signs of zero in round-to-nearest.
  EXPECT_FALSE(std::signbit(rnd(X(0.0) + X(-0.0))));
  EXPECT_TRUE(std::signbit(rnd(X(-0.0) + X(-0.0))));
  EXPECT_TRUE(std::signbit(rnd(X(-0.0) - X(0.0))));
  EXPECT_FALSE(std::signbit(rnd(X(0.1) - X(0.1))));
  EXPECT_FALSE(std::signbit(rnd(X(-0.1) + X(0.1))));
  EXPECT_TRUE(std::signbit(rnd(X(0.0) * -1)));
  EXPECT_TRUE(std::signbit(rnd(X(-0.0) / 5)));
  EXPECT_FALSE(std::signbit(rnd(X(-0.0) / -5)));
  EXPECT_TRUE(std::signbit(rnd(X(-0.0) + (X(0.0) * -1))));
  EXPECT_EQ(bits_of(rnd(X(-3.5) + X(0.0))), bits_of(-3.5));

  // is_zero sees the 64-bit value, whose exponent range is wider than a double's.
  EXPECT_TRUE(X(0.0).is_zero());
  EXPECT_TRUE(X(-0.0).is_zero());
  EXPECT_TRUE((X(0.3) - 0.3).is_zero());
  EXPECT_FALSE((X(0x1p-1074) * 0x1p-1074).is_zero());
  EXPECT_EQ(rnd((X(0x1p-1074) * 0x1p-1074) * 0x1p1000 * 0x1p74), 0x1p-1074);

  // Subnormal results, rounded with the subnormal's own last bit (2^-1074).
  EXPECT_EQ(rnd(X(0x1p-537) * 0x1p-537), 0x1p-1074);
  EXPECT_EQ(bits_of(rnd(X(0x1p-538) * 0x1p-537)), bits_of(0.0));    // half: tie, to 0
  EXPECT_EQ(bits_of(rnd(X(-0x1p-538) * 0x1p-537)), bits_of(-0.0));  // negative underflow
  EXPECT_EQ(rnd(X(0x1.8p-538) * 0x1p-537), 0x1p-1074);              // 3/4
  EXPECT_EQ(rnd(X(0x1.8p-537) * 0x1p-537), 0x1p-1073);              // 3/2: tie, to 2
  EXPECT_EQ(rnd(X(0x1.4p-537) * 0x1p-537), 0x1p-1074);              // 5/4
  EXPECT_EQ(rnd(X(0x1.23456789abcdp-1030) * 0x1p-10), 0x1.23456789abcdp-1040);
  // Double rounding into the subnormals: 2^-1075 + 2^-1145 rounds to 2^-1075 at 64 bits,
  // a tie that then goes to 0 (a single rounding would give 2^-1074).
  EXPECT_EQ(rnd(X(0x1p-538) * 0x1p-537 + X(0x1p-600) * 0x1p-545), 0.0);
  // 2^-1022 - 2^-1075 lies halfway between the largest subnormal and the smallest normal.
  EXPECT_EQ(rnd(X(0x1p-1022) - X(0x1p-538) * 0x1p-537), 0x1p-1022);
  EXPECT_EQ(rnd(X(0x1p-1022) - X(0x1p-537) * 0x1p-537), 0x0.fffffffffffffp-1022);

  // Overflow: the exponent is wider than a double's, the store is not.
  EXPECT_EQ(rnd(X(DBL_MAX) * 2), inf);
  EXPECT_EQ(rnd(X(-DBL_MAX) * 2), -inf);
  EXPECT_EQ(rnd(X(DBL_MAX) * 2 / 4), DBL_MAX / 2);
  EXPECT_EQ(rnd(X(DBL_MAX) + X(DBL_MAX) * 0x1p-54), inf);  // tie above DBL_MAX, to even
  EXPECT_EQ(rnd(X(DBL_MAX) + X(DBL_MAX) * 0x1p-55), DBL_MAX);

  // The two library functions round their argument first.
  EXPECT_EQ(sqrt_d(X(2)), std::sqrt(2.0));
  EXPECT_EQ(sqrt_d(X(1.0) + 0x1p-60), 1.0);
  EXPECT_EQ(abs_d(X(-0.1) * 3), 0x1.3333333333334p-2);
  EXPECT_FALSE(std::signbit(abs_d(X(-0.0))));

  // Values that are not finite do not occur in the program, but stay well defined.
  EXPECT_EQ(rnd(X(1) / X(0)), inf);
  EXPECT_EQ(rnd(X(-1) / X(0)), -inf);
  EXPECT_TRUE(std::isnan(rnd(X(0) / X(0))));
  EXPECT_EQ(rnd(X(inf) + 1e300), inf);
  EXPECT_TRUE(std::isnan(rnd(X(inf) - X(inf))));
  EXPECT_TRUE(std::isnan(rnd(X(inf) * 0)));
  EXPECT_EQ(bits_of(rnd(X(-1) / X(inf))), bits_of(-0.0));
}

TEST(XrealPortable, HandWorkedExamplesSelected) {
  check_examples<scab::xreal>();
}
TEST(XrealPortable, HandWorkedExamplesPortable) {
  check_examples<scab::portable::xreal>();
}
#if LDBL_MANT_DIG == 64
TEST(XrealPortable, HandWorkedExamplesX87) {
  check_examples<scab::x87::xreal>();
}
#endif

TEST(XrealPortable, SelectionFollowsTheBuildOption) {
#if defined(SCABROSIMETER_PORTABLE_ARITHMETIC) && SCABROSIMETER_PORTABLE_ARITHMETIC
  EXPECT_TRUE((std::is_same<scab::xreal, scab::portable::xreal>::value));
#elif LDBL_MANT_DIG == 64
  EXPECT_TRUE((std::is_same<scab::xreal, scab::x87::xreal>::value));
#else
  EXPECT_TRUE((std::is_same<scab::xreal, scab::portable::xreal>::value));
#endif
}

}  // namespace

#if LDBL_MANT_DIG == 64
// ---- randomized comparison with the x87 ----

namespace scab::portable {
struct xreal_access {
  struct Parts {
    int kind;  // 0 zero, 1 finite, 2 infinite, 3 NaN
    bool neg;
    int exp;
    std::uint64_t sig;
  };
  static Parts parts(const xreal& x) {
    if (x.kind_ != xreal::kFinite) return {static_cast<int>(x.kind_), x.neg_, 0, 0};
    return {1, x.neg_, x.exp_, x.sig_};
  }
  static xreal make(bool neg, int exp, std::uint64_t sig) {  // sig must have its top bit set
    xreal r;
    r.kind_ = xreal::kFinite;
    r.neg_ = neg;
    r.exp_ = exp;
    r.sig_ = sig;
    return r;
  }
};
}  // namespace scab::portable

namespace {

using P = scab::portable::xreal;
using Access = scab::portable::xreal_access;
using Parts = Access::Parts;
using u64 = std::uint64_t;

constexpr u64 kTop = u64{1} << 63;
#ifdef NDEBUG
constexpr long kDefaultPairs = 6000000;  // about 5 to 8 s per executable, optimized
#else
constexpr long kDefaultPairs = 600000;  // unoptimized builds are several times slower
#endif
constexpr long kLongPairs = 100000000;

long pair_count() {
  if (const char* n = std::getenv("SCABROSIMETER_XREAL_PAIRS")) return std::atol(n);
  if (const char* l = std::getenv("SCABROSIMETER_XREAL_LONG")) {
    if (std::string(l) == "1") return kLongPairs;
  }
  return kDefaultPairs;
}

u64 seed() {
  const char* s = std::getenv("SCABROSIMETER_XREAL_SEED");
  return s != nullptr ? std::strtoull(s, nullptr, 10) : 20240611u;
}

// The x87 extended format in memory: 64-bit significand, then sign and 15-bit biased exponent.
Parts parts_of(long double v) {
  unsigned char raw[10];
  std::memcpy(raw, &v, sizeof raw);
  u64 sig;
  std::uint16_t se;
  std::memcpy(&sig, raw, 8);
  std::memcpy(&se, raw + 8, 2);
  const bool neg = (se >> 15) != 0;
  const int biased = se & 0x7FFF;
  if (biased == 0x7FFF) return {(sig << 1) == 0 ? 2 : 3, neg, 0, 0};
  if (biased == 0 && sig == 0) return {0, neg, 0, 0};
  return {1, neg, biased - 16383, sig};  // (a denormal would show an unnormalized sig)
}

long double long_double_of(bool neg, int exp, u64 sig) {
  unsigned char raw[sizeof(long double)] = {};
  const std::uint16_t se = static_cast<std::uint16_t>((neg ? 0x8000 : 0) | (exp + 16383));
  std::memcpy(raw, &sig, 8);
  std::memcpy(raw + 8, &se, 2);
  long double v;
  std::memcpy(&v, raw, sizeof v);
  return v;
}

std::string describe(const Parts& p) {
  static const char* const kKinds[] = {"zero", "finite", "inf", "nan"};
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s%s sig=0x%016llx exp=%d", p.neg ? "-" : "+", kKinds[p.kind],
                static_cast<unsigned long long>(p.sig), p.exp);
  return buf;
}

bool operator==(const Parts& a, const Parts& b) {
  return a.kind == b.kind && a.neg == b.neg && a.exp == b.exp && a.sig == b.sig;
}

// The same value in both representations.
struct Operand {
  P p;
  long double x;
};
Operand from_double(double d) {
  return {P(d), d};
}
Operand from_int(int i) {
  return {P(i), static_cast<long double>(i)};
}
Operand from_parts(bool neg, int exp, u64 sig) {
  return {Access::make(neg, exp, sig), long_double_of(neg, exp, sig)};
}

std::string describe(const Operand& o) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%La", o.x);
  return buf;
}

// Counts comparisons and keeps the first few mismatches for the failure message.
class Checker {
 public:
  // Compares an intermediate: its parts, and the double it is stored as.
  void same(const P& p, long double x, const char* what, const Operand* a = nullptr,
            const Operand* b = nullptr) {
    ++checked_;
    const Parts pp = Access::parts(p), xp = parts_of(x);
    const double pd = rnd(p), xd = static_cast<double>(x);
    if (pp == xp && bits_of(pd) == bits_of(xd) && p.is_zero() == (x == 0)) return;
    fail(std::string(what) + ": portable " + describe(pp) + " vs x87 " + describe(xp), a, b);
  }
  // Compares two stored doubles bit for bit.
  void same(double p, double x, const char* what, const Operand* a = nullptr,
            const Operand* b = nullptr) {
    ++checked_;
    if (bits_of(p) == bits_of(x)) return;
    char buf[96];
    std::snprintf(buf, sizeof buf, ": portable %a vs x87 %a", p, x);
    fail(what + std::string(buf), a, b);
  }
  long checked() const { return checked_; }
  long mismatches() const { return mismatches_; }
  const std::string& report() const { return report_; }

 private:
  void fail(const std::string& msg, const Operand* a, const Operand* b) {
    if (++mismatches_ > 10) return;
    report_ += msg;
    if (a != nullptr) report_ += " | a=" + describe(*a);
    if (b != nullptr) report_ += " b=" + describe(*b);
    report_ += "\n";
  }
  long checked_ = 0, mismatches_ = 0;
  std::string report_;
};

void summarize(const Checker& c, const char* what, long n) {
  std::printf("[ xreal    ] %s: %ld cases, %ld comparisons, %ld mismatches\n", what, n, c.checked(),
              c.mismatches());
  EXPECT_EQ(c.mismatches(), 0) << c.report();
  EXPECT_GT(c.checked(), 0);
}

// Random operands, biased towards the hard cases. Random draws are made in separate statements
// throughout, so that a seed gives the same cases whatever order a compiler evaluates function
// arguments in.
class Gen {
 public:
  Gen() : rng_(seed()) {}
  u64 bits() { return rng_(); }
  int uniform(int lo, int hi) {
    return lo + static_cast<int>(rng_() % static_cast<u64>(hi - lo + 1));
  }
  bool one_in(int n) { return rng_() % static_cast<u64>(n) == 0; }

  // The top `keep` bits of a random word of `width` bits, the rest zero. Few significant bits
  // make exact ties at the 64th or 53rd bit common in sums and products.
  u64 sparse(int width, int keep) {
    const u64 r = bits() >> (64 - width);
    return keep >= width ? r : keep == 0 ? 0 : (r >> (width - keep)) << (width - keep);
  }
  u64 fraction52() { return sparse(52, one_in(2) ? 52 : uniform(0, 52)); }
  u64 sig64() { return kTop | sparse(63, one_in(2) ? 63 : uniform(0, 63)); }

  // A normal double with an exponent in [emin, emax] (clamped to the double range).
  double dbl(int emin, int emax) {
    const int e = std::max(-1022, std::min(1023, uniform(emin, emax)));
    const u64 sign = one_in(2) ? kTop : 0;
    const u64 b = sign | (static_cast<u64>(e + 1023) << 52) | fraction52();
    double d;
    std::memcpy(&d, &b, sizeof d);
    return d;
  }
  double subnormal() {
    const u64 top = sparse(52, uniform(1, 52));
    const u64 f = std::max<u64>(1, top >> uniform(0, 51));
    const u64 b = (one_in(2) ? kTop : 0) | f;
    double d;
    std::memcpy(&d, &b, sizeof d);
    return d;
  }
  int integer() {
    switch (uniform(0, 3)) {
      case 0:
        return uniform(-100, 100);
      case 1:
        return uniform(-1000000, 1000000);
      case 2:
        return static_cast<int>(static_cast<std::uint32_t>(bits()));
      default:
        return one_in(2) ? INT_MIN : INT_MAX;
    }
  }
  Operand ext(int emin, int emax) {
    const bool neg = one_in(2);
    const int e = uniform(emin, emax);
    return from_parts(neg, e, sig64());
  }

 private:
  std::mt19937_64 rng_;
};

// An operand pair from one of several families; `family` picks it.
void make_pair(Gen& g, int family, Operand* a, Operand* b) {
  switch (family) {
    case 0:  // ordinary doubles
      *a = from_double(g.dbl(-40, 40));
      *b = from_double(g.dbl(-40, 40));
      break;
    case 1:  // doubles over the whole range
      *a = from_double(g.dbl(-1022, 1023));
      *b = from_double(g.dbl(-1022, 1023));
      break;
    case 2:  // full 64-bit significands, as in the middle of a chain
      *a = g.ext(-100, 100);
      *b = g.ext(-100, 100);
      break;
    case 3: {  // nearly equal magnitudes: cancellation in a - b (or a + b, signs differing)
      *a = g.ext(-60, 60);
      const Parts pa = Access::parts(a->p);
      const int k = g.uniform(0, 63);
      const u64 low = k == 0 ? 0 : g.bits() >> (64 - k);
      if (g.one_in(3)) {  // exponents one apart: a = 1.000..xx * 2^e, b = 1.111..yy * 2^(e-1)
        *a = from_parts(pa.neg, pa.exp, kTop | (low >> 1));
        const bool neg = g.one_in(2);
        *b = from_parts(neg, pa.exp - 1, ~(g.bits() >> (64 - std::max(k, 1))));
      } else {
        *b = from_parts(g.one_in(2), pa.exp, pa.sig ^ low);
      }
      break;
    }
    case 4: {  // exponent gaps around the width of the significand and the 128-bit workspace
      // Powers of two and odd significands: 1 - (2^-65 + 2^-128) is where dropped bits of b
      // decide the rounding.
      const u64 special[] = {kTop, kTop | 1, ~u64{0}, g.sig64()};
      const int ea = g.uniform(-50, 50);
      const bool neg_a = g.one_in(2);
      *a = from_parts(neg_a, ea, special[g.uniform(0, 3)]);
      const int centres[] = {0, 1, 53, 63, 64, 65, 127, 128, 129};
      int gap = g.uniform(0, 200);
      if (!g.one_in(3)) {
        gap = centres[g.uniform(0, 8)];
        gap += g.uniform(-1, 1);
      }
      const bool neg_b = g.one_in(2);
      *b = from_parts(neg_b, ea - std::max(gap, 0), special[g.uniform(0, 3)]);
      break;
    }
    case 5:  // an int and a double
      *a = from_int(g.integer());
      *b = g.one_in(4) ? from_int(g.integer()) : from_double(g.dbl(-40, 40));
      break;
    case 6:  // tiny doubles, whose products fall below the double range
      *a = from_double(g.one_in(4) ? g.subnormal() : g.dbl(-700, -300));
      *b = from_double(g.one_in(4) ? g.subnormal() : g.dbl(-700, -300));
      break;
    case 7: {  // zeros of either sign
      *a = from_double(g.one_in(2) ? -0.0 : 0.0);
      *b = g.one_in(3) ? from_double(g.one_in(2) ? -0.0 : 0.0) : from_double(g.dbl(-40, 40));
      break;
    }
    case 8:  // few significant bits: exact ties at 64 and 53 bits
      *a = from_double(g.dbl(-10, 10));
      *b = from_double(g.dbl(-70, 10));
      break;
    default:  // huge exponent gaps, like 1e300 + 1e-300
      *a = from_double(g.dbl(900, 1023));
      *b = from_double(g.one_in(3) ? g.subnormal() : g.dbl(-1022, -900));
      break;
  }
  if (g.one_in(2)) std::swap(*a, *b);
}
constexpr int kFamilies = 10;

TEST(XrealPortable, ReferenceIsX87WithFullPrecision) {
  // The comparison is only meaningful if long double really rounds to 64 bits here.
  volatile long double one = 1, tiny = 0x1p-63L;
  EXPECT_NE(one + tiny, one);
  EXPECT_EQ(one + tiny / 2, one);
}

TEST(XrealPortable, BinaryOperationsMatchX87) {
  const long n = pair_count();
  Gen g;
  Checker add, sub, mul, div;
  for (long i = 0; i < n; ++i) {
    Operand a{0, 0}, b{0, 0};
    make_pair(g, static_cast<int>(i % kFamilies), &a, &b);
    add.same(a.p + b.p, a.x + b.x, "a + b", &a, &b);
    sub.same(a.p - b.p, a.x - b.x, "a - b", &a, &b);
    mul.same(a.p * b.p, a.x * b.x, "a * b", &a, &b);
    if (!b.p.is_zero()) div.same(a.p / b.p, a.x / b.x, "a / b", &a, &b);
  }
  summarize(add, "add", n);
  summarize(sub, "sub", n);
  summarize(mul, "mul", n);
  summarize(div, "div", n);
}

TEST(XrealPortable, ConversionsMatchX87) {
  const long n = pair_count();
  Gen g;
  Checker from_d, from_i, to_d;
  for (long i = 0; i < n; ++i) {
    // From double: any finite double, including subnormals and zeros.
    double d;
    switch (i % 4) {
      case 0:
        d = g.dbl(-1022, 1023);
        break;
      case 1:
        d = g.subnormal();
        break;
      case 2:
        d = g.one_in(100) ? (g.one_in(2) ? 0.0 : -0.0) : g.dbl(-60, 60);
        break;
      default: {
        const u64 b = g.bits();
        std::memcpy(&d, &b, sizeof d);
        if (!std::isfinite(d)) d = 1.5;
      }
    }
    from_d.same(P(d), static_cast<long double>(d), "xreal(double)");
    from_d.same(rnd(P(d)), d, "rnd(xreal(double))");
    const int k = g.integer();
    from_i.same(P(k), static_cast<long double>(k), "xreal(int)");

    // To double: 64-bit values in the normal range, at its edges, in the subnormal range and
    // below it, with the dropped bits often set just at, above or below one half.
    int e;
    switch (i % 4) {
      case 0:
        e = g.uniform(-1022, 1023);
        break;
      case 1:
        e = g.uniform(-1090, -1020);
        break;
      case 2:
        e = g.uniform(1020, 1025);
        break;
      default:
        e = g.uniform(-3000, 3000);
        break;
    }
    u64 sig = g.sig64();
    const int drop = e >= -1022 ? 11 : std::min(64, -e - 1011);
    if (g.one_in(2) && drop < 64) {
      const u64 half = u64{1} << (drop - 1);
      sig = (sig & ~((half << 1) - 1)) | (half + static_cast<u64>(g.uniform(-1, 1)));
      sig |= kTop;
    }
    const Operand v = from_parts(g.one_in(2), e, sig);
    to_d.same(rnd(v.p), static_cast<double>(v.x), "rnd", &v);
  }
  summarize(from_d, "from double", n);
  summarize(from_i, "from int", n);
  summarize(to_d, "to double", n);
}

// A running sum as the program does it, one stored double at a time, and a sum of squares.
TEST(XrealPortable, RunningSumsMatchX87) {
  const long n = pair_count();
  Gen g;
  Checker c;
  double s_p = 0, s_x = 0, q_p = 0, q_x = 0;
  long steps = 0;
  while (steps < n) {
    s_p = s_x = q_p = q_x = 0;
    const int length = g.uniform(1, 500);
    for (int j = 0; j < length && steps < n; ++j, ++steps) {
      double v;
      switch (g.uniform(0, 9)) {
        case 0:
        case 1:
        case 2:
        case 3:
          v = g.dbl(-10, 30);
          break;  // large sums
        case 4:
        case 5:
          v = g.dbl(-20, 5);
          break;
        case 6: {  // cancels the sum, or nearly
          const int k = g.uniform(-4, 4);
          v = -s_x * (1 + std::ldexp(k, -g.uniform(20, 60)));
          break;
        }
        case 7:
          v = g.one_in(2) ? g.subnormal() : g.dbl(-1022, -900);
          break;
        case 8:
          v = g.integer();
          break;
        default:
          v = g.dbl(900, 1000);
          break;
      }
      const Operand vo = from_double(v);
      const P sum = P(s_p) + v;
      const long double sum_x = static_cast<long double>(s_x) + v;
      c.same(sum, sum_x, "s + v", &vo);
      s_p = rnd(sum);
      s_x = static_cast<double>(sum_x);
      c.same(s_p, s_x, "s = rnd(s + v)", &vo);
      q_p = rnd(P(q_p) + P(v) * v);
      q_x = static_cast<double>(q_x + static_cast<long double>(v) * v);
      c.same(q_p, q_x, "q = rnd(q + v*v)", &vo);
    }
  }
  summarize(c, "running sums (steps)", steps);
}

// rnd(a*b + c*d), often with c*d close to -a*b.
TEST(XrealPortable, SumsOfProductsMatchX87) {
  const long n = pair_count();
  Gen g;
  Checker c;
  for (long i = 0; i < n; ++i) {
    const double a = g.dbl(-30, 30), b = g.dbl(-30, 30);
    double cc = g.dbl(-30, 30), d = g.dbl(-30, 30);
    if (g.one_in(2)) {
      cc = -a;
      const int k = g.uniform(-8, 8);
      d = b * (1 + std::ldexp(k, -g.uniform(1, 60)));
    } else if (g.one_in(4)) {
      cc = g.dbl(-700, -400);
      d = g.dbl(-700, -400);
    }
    const Operand ao = from_double(a), bo = from_double(b);
    const P ab = P(a) * b, cd = P(cc) * d;
    const long double ab_x = static_cast<long double>(a) * b,
                      cd_x = static_cast<long double>(cc) * d;
    c.same(ab, ab_x, "a*b", &ao, &bo);
    c.same(ab + cd, ab_x + cd_x, "a*b + c*d", &ao, &bo);
    c.same(rnd(P(a) * b + P(cc) * d), static_cast<double>(ab_x + cd_x), "rnd(a*b + c*d)", &ao, &bo);
    c.same(rnd(P(a) * b - P(cc) * d), static_cast<double>(ab_x - cd_x), "rnd(a*b - c*d)", &ao, &bo);
  }
  summarize(c, "sums of products", n);
}

// A regression slope as the program computes one: sums of x, y, xy, xx stored as doubles, then
// (n*XY - X*Y) / (n*XX - X*X), with the is_zero check, the square root and the absolute value.
TEST(XrealPortable, RegressionChainsMatchX87) {
  const long n = pair_count();
  Gen g;
  Checker c;
  long done = 0;
  while (done < n) {
    const int count = g.uniform(1, 40);
    const int style = g.uniform(0, 2);
    const double x0 = g.dbl(-5, 20), step = g.dbl(-30, 3), slope = g.dbl(-10, 10);
    double X_p = 0, Y_p = 0, XY_p = 0, XX_p = 0, X_x = 0, Y_x = 0, XY_x = 0, XX_x = 0;
    for (int k = 0; k < count; ++k, ++done) {
      double x, y;
      if (style == 0) {  // integer grid with integer heights
        x = k;
        y = g.integer() % 1000;
      } else if (style == 1) {  // close x values: the denominator cancels
        x = x0 + k * step;
        y = slope * x + g.dbl(-40, -10);
      } else {
        x = g.dbl(-20, 20);
        y = g.dbl(-20, 20);
      }
      X_p = rnd(P(X_p) + x), Y_p = rnd(P(Y_p) + y);
      XY_p = rnd(P(XY_p) + P(x) * y), XX_p = rnd(P(XX_p) + P(x) * x);
      X_x = static_cast<double>(static_cast<long double>(X_x) + x);
      Y_x = static_cast<double>(static_cast<long double>(Y_x) + y);
      XY_x = static_cast<double>(XY_x + static_cast<long double>(x) * y);
      XX_x = static_cast<double>(XX_x + static_cast<long double>(x) * x);
    }
    c.same(XY_p, XY_x, "XY");
    c.same(XX_p, XX_x, "XX");
    const P num = P(count) * XY_p - P(X_p) * Y_p, den = P(count) * XX_p - P(X_p) * X_p;
    const long double num_x =
        static_cast<long double>(count) * XY_x - static_cast<long double>(X_x) * Y_x;
    const long double den_x =
        static_cast<long double>(count) * XX_x - static_cast<long double>(X_x) * X_x;
    c.same(num, num_x, "n*XY - X*Y");
    c.same(den, den_x, "n*XX - X*X");
    if (!den.is_zero() && den_x != 0) {
      c.same(num / den, num_x / den_x, "slope");
      const double num_d = rnd(num), den_d = rnd(den);
      if (den_d != 0)
        c.same(rnd(P(num_d) / den_d), static_cast<double>(num_d / static_cast<long double>(den_d)),
               "rnd(num)/rnd(den)");
    }
    c.same(sqrt_d(den), std::sqrt(static_cast<double>(den_x)), "sqrt_d(den)");
    c.same(abs_d(num), std::fabs(static_cast<double>(num_x)), "abs_d(num)");
  }
  summarize(c, "regression chains (points)", done);
}

}  // namespace
#endif  // LDBL_MANT_DIG == 64
