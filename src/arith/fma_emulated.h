// A correctly rounded fused multiply-add built from plain double arithmetic, for C libraries
// whose fma() is not correctly rounded.
//
// fast.h needs fma(a, b, c) = a * b + c rounded once: it gives the exact error of a product,
// and the candidate of a sum of products. MinGW-w64's fma() (its runtime up to at least 10.0)
// evaluates in x87 long double: the product is rounded to 64 bits before the addition, which
// gives a wrong error term often and a sum off by many units when the addition cancels. The
// Windows build links fma() to emulated_fma() instead (src/arith/fma_wrap.cpp).
//
// Two ways, both exact:
//  - operands of ordinary size: Dekker's exact product (Veltkamp splitting), the exact sum of
//    its high part and c (Knuth's TwoSum), the low parts added with rounding to odd, and one
//    last rounding to nearest (Boldo and Melquiond, "Emulation of FMA and correctly rounded
//    sums: proved algorithms using rounding to odd", IEEE Trans. Computers 57(4), 2008);
//  - anything else (very large or very small operands, subnormal results, infinities): the
//    exact product in binary128 (106 bits fit in its 113), the sum rounded to odd in binary128,
//    then rounded once to double. Rounding to odd with at least two extra bits, then to
//    nearest, is the same as rounding the exact value to nearest.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "arith/bits.h"

// The binary128 type: GCC's __float128 on x86-64 (MinGW-w64 included), long double where it is
// that format (AArch64 Linux).
#if defined(__SIZEOF_FLOAT128__) && !defined(__clang__)
#define SCABROSIMETER_HAS_EMULATED_FMA 1
#elif LDBL_MANT_DIG == 113
#define SCABROSIMETER_HAS_EMULATED_FMA 1
#else
#define SCABROSIMETER_HAS_EMULATED_FMA 0
#endif

#if SCABROSIMETER_HAS_EMULATED_FMA
namespace scab::emulated {

#if defined(__SIZEOF_FLOAT128__) && !defined(__clang__)
__extension__ typedef __float128 quad;
#else
typedef long double quad;
#endif
__extension__ typedef unsigned __int128 u128;

using bits::bits_of;
using bits::from_bits;

// s + e = a + b exactly (Knuth), whatever the sizes, as long as nothing overflows.
inline void two_sum(double a, double b, double& s, double& e) {
  s = a + b;
  e = bits::sum_error(a, b, s);
}

// p + e = a * b exactly (Dekker, with Veltkamp's splitting into 26 and 27 bits). Exact when
// |a| and |b| stay below 2^995 and the exponents of a and b add up to -970 or more.
inline void two_product(double a, double b, double& p, double& e) {
  constexpr double kSplitter = 134217729.0;  // 2^27 + 1
  const double ca = kSplitter * a;
  const double a_hi = ca - (ca - a);
  const double a_lo = a - a_hi;
  const double cb = kSplitter * b;
  const double b_hi = cb - (cb - b);
  const double b_lo = b - b_hi;
  p = a * b;
  e = ((a_hi * b_hi - p) + a_hi * b_lo + a_lo * b_hi) + a_lo * b_lo;
}

// a + b rounded to odd: the exact sum when it is a double, otherwise whichever of the two
// doubles around it has an odd last significand bit.
inline double add_to_odd(double a, double b) {
  double s, e;
  two_sum(a, b, s, e);
  const std::uint64_t sb = bits_of(s);
  if (e == 0 || (sb & 1u) != 0) return s;
  // s is even, so its neighbour on the side of the exact sum is the odd one. The exact sum is
  // never 0 here: an inexact sum is far from the subnormal range.
  const bool away_from_zero = (e > 0) == (s > 0);
  return from_bits(away_from_zero ? sb + 1 : sb - 1);
}

// Where the double way is exact: a and b in [2^-480, 2^481), c zero or in [2^-900, 2^1000).
inline bool ordinary(double a, double b, double c) {
  const auto exponent = [](double x) { return static_cast<int>((bits_of(x) >> 52) & 0x7ff); };
  const int ea = exponent(a), eb = exponent(b), ec = exponent(c);
  return ea >= 1023 - 480 && ea <= 1023 + 480 && eb >= 1023 - 480 && eb <= 1023 + 480 &&
         (c == 0 || (ec >= 1023 - 900 && ec <= 1023 + 1000));
}

inline double fma_binary128(double a, double b, double c) {
  const quad p = static_cast<quad>(a) * static_cast<quad>(b);  // exact
  const quad qc = c;
  quad s = p + qc;
  const quad b_part = s - p;
  const quad e = (p - (s - b_part)) + (qc - b_part);  // s + e = p + c exactly
  if (e != 0) {
    u128 sb;
    std::memcpy(&sb, &s, sizeof sb);
    if ((sb & 1u) == 0) {
      const bool away_from_zero = (e > 0) == (s > 0);
      sb = away_from_zero ? sb + 1 : sb - 1;
      std::memcpy(&s, &sb, sizeof s);
    }
  }
  return static_cast<double>(s);
}

// a * b + c, rounded once to the nearest double (ties to even): what fma() must give.
inline double emulated_fma(double a, double b, double c) {
  if (!std::isfinite(a) || !std::isfinite(b) || !std::isfinite(c)) {
    // Infinities and NaN: the product of two finite doubles is finite in the exact sum, so a
    // finite product with an infinite c gives c; everything else is the plain expression.
    if (std::isfinite(a) && std::isfinite(b) && std::isinf(c)) return c;
    return a * b + c;
  }
  if (a == 0 || b == 0) return a * b + c;  // the product is an exact (signed) zero
  if (ordinary(a, b, c)) {
    double uh, ul, th, tl;
    two_product(a, b, uh, ul);
    two_sum(c, uh, th, tl);
    const double z = th + add_to_odd(tl, ul);
    // A result brought to zero or near the subnormal range by cancellation takes the other way.
    if (std::fabs(z) >= 0x1p-900) return z;
  }
  return fma_binary128(a, b, c);
}

}  // namespace scab::emulated
#endif
