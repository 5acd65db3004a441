// A portable xreal: the 64-bit-significand arithmetic of xreal.h without an 80-bit long double.
//
// Representation. A finite nonzero value is
//
//     (-1)^neg_ * sig_ * 2^(exp_ - 63),   with 2^63 <= sig_ < 2^64,
//
// i.e. the same 64-bit significand as the x87 extended format (explicit leading bit), so a
// value lies in [2^exp_, 2^(exp_+1)). Zero is a separate kind and keeps its sign; infinities
// and NaN are kinds as well, so that nothing turns into garbage if one ever arrives, although
// the program only feeds finite values and checks is_zero() before dividing.
//
// Rounding rule. Every operation (+, -, *, /) computes the exact result, or enough of it, and
// rounds it once to 64 significant bits, to nearest with ties to even: exactly what the x87
// does with its precision control set to 64 bits. round_to_double() then rounds that 64-bit
// value to the double format, again to nearest-even, including into the subnormal range and
// up to infinity. A result is therefore rounded twice on its way to a stored double (first to
// 64 bits, then to 53 or fewer), and that double rounding is deliberate: it is what the x87
// produces and what the program's printed digits depend on.
//
// Exponent range. exp_ is an int. The program's values are products and quotients of a few
// doubles and ints, so their exponents stay within a few thousand of zero, far inside the x87
// range (2^-16382 .. 2^16384) where both implementations agree. This class does not mimic the
// x87's overflow or denormals at the edges of that range, which the program never reaches.
//
// Zero signs follow IEEE 754 in round-to-nearest: x + (-x) = +0, (+0) + (-0) = +0,
// (-0) + (-0) = -0, and a product or quotient of zeros takes the exclusive-or of the signs.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "arith/isa.h"
#include "arith/store.h"

// unsigned __int128 is used for the 64x64 multiplication and the 128/64 division when the
// compiler has it (GCC and Clang on 64-bit targets, including MinGW-w64). Otherwise, as on
// MSVC, plain 64-bit code does the same job. Defining SCABROSIMETER_XREAL_NO_INT128 forces
// that plain path, so it can be tested on any machine.
#if defined(__SIZEOF_INT128__) && !defined(SCABROSIMETER_XREAL_NO_INT128)
#define SCABROSIMETER_XREAL_INT128 1
#else
#define SCABROSIMETER_XREAL_INT128 0
#endif

namespace scab {
SCABROSIMETER_COPY_BEGIN
namespace portable {

namespace detail {

using u64 = std::uint64_t;
constexpr u64 kTopBit = u64{1} << 63;
#if SCABROSIMETER_XREAL_INT128
__extension__ typedef unsigned __int128 u128;  // __extension__: no -Wpedantic warning
#endif

// Number of leading zero bits; x must not be 0.
inline int clz64(u64 x) {
#if defined(__GNUC__) || defined(__clang__)
  return __builtin_clzll(x);
#else
  int n = 0;
  for (int step = 32; step > 0; step /= 2) {
    if ((x >> (64 - step)) == 0) {
      n += step;
      x <<= step;
    }
  }
  return n;
#endif
}

// Full product a * b as hi * 2^64 + lo.
inline void mul_64x64(u64 a, u64 b, u64* hi, u64* lo) {
#if SCABROSIMETER_XREAL_INT128
  const u128 p = static_cast<u128>(a) * b;
  *hi = static_cast<u64>(p >> 64);
  *lo = static_cast<u64>(p);
#else
  // Schoolbook on 32-bit halves; `mid` gathers the three terms that land on bits 32..95 and
  // is below 3 * 2^32, so it cannot overflow.
  const u64 a_lo = a & 0xFFFFFFFFu, a_hi = a >> 32;
  const u64 b_lo = b & 0xFFFFFFFFu, b_hi = b >> 32;
  const u64 ll = a_lo * b_lo, lh = a_lo * b_hi, hl = a_hi * b_lo, hh = a_hi * b_hi;
  const u64 mid = (ll >> 32) + (lh & 0xFFFFFFFFu) + (hl & 0xFFFFFFFFu);
  *lo = (mid << 32) | (ll & 0xFFFFFFFFu);
  *hi = hh + (lh >> 32) + (hl >> 32) + (mid >> 32);
#endif
}

// (hi * 2^64 + lo) / d with hi < d, so that the quotient fits in 64 bits.
inline u64 div_128by64(u64 hi, u64 lo, u64 d, u64* rem) {
#if SCABROSIMETER_XREAL_INT128
  const u128 n = (static_cast<u128>(hi) << 64) | lo;
  *rem = static_cast<u64>(n % d);
  return static_cast<u64>(n / d);
#else
  // Restoring long division, one quotient bit per step. The running remainder r stays below
  // d; when doubling it carries out of 64 bits, the true value is at least 2^64 > d, and the
  // wrapped subtraction still gives the right remainder.
  u64 r = hi, q = 0;
  for (int i = 63; i >= 0; --i) {
    const u64 carry = r >> 63;
    r = (r << 1) | ((lo >> i) & 1u);
    q <<= 1;
    if (carry != 0 || r >= d) {
      r -= d;
      q |= 1u;
    }
  }
  *rem = r;
  return q;
#endif
}

// Shifts hi:lo left by s (0 <= s < 128).
inline void shl_128(u64* hi, u64* lo, int s) {
  if (s >= 64) {
    *hi = *lo << (s - 64);
    *lo = 0;
  } else if (s > 0) {
    *hi = (*hi << s) | (*lo >> (64 - s));
    *lo <<= s;
  }
}

}  // namespace detail

class xreal {
 public:
  xreal(double v) { from_double(v); }  // NOLINT: implicit on purpose, an exact widening
  xreal(int v) { from_int(v); }        // NOLINT: exact in 64 bits

  friend xreal operator+(xreal a, xreal b) { return add(a, b, false); }
  friend xreal operator-(xreal a, xreal b) { return add(a, b, true); }
  friend xreal operator*(xreal a, xreal b) { return mul(a, b); }
  friend xreal operator/(xreal a, xreal b) { return div(a, b); }

  bool is_zero() const { return kind_ == kZero; }
  double round_to_double() const;

 private:
  using u64 = detail::u64;
  enum Kind : unsigned char { kZero, kFinite, kInf, kNaN };

  friend struct xreal_access;  // lets the tests read and build the parts

  xreal() = default;
  static xreal special(Kind kind, bool neg) {
    xreal r;
    r.kind_ = kind;
    r.neg_ = neg;
    return r;
  }

  void from_double(double v);
  void from_int(int v);

  // Rounds the value (-1)^neg * (hi + lo / 2^64) * 2^(exp - 63) to 64 bits, nearest-even.
  // hi must have its top bit set; lo holds every bit below the 64 kept ones, with any bits
  // lost further down already folded into its lowest bit (see add()).
  static xreal round_pack(bool neg, int exp, u64 hi, u64 lo);

  static xreal add(xreal a, xreal b, bool subtract);
  static xreal mul(xreal a, xreal b);
  static xreal div(xreal a, xreal b);

  u64 sig_ = 0;
  int exp_ = 0;
  bool neg_ = false;
  Kind kind_ = kZero;
};

// ---- implementation ----

inline void xreal::from_double(double v) {
  u64 bits;
  std::memcpy(&bits, &v, sizeof bits);
  neg_ = (bits >> 63) != 0;
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  const u64 frac = bits & ((u64{1} << 52) - 1);
  if (biased == 0x7FF) {
    kind_ = frac == 0 ? kInf : kNaN;
  } else if (biased != 0) {  // normal: 1.frac * 2^(biased - 1023)
    kind_ = kFinite;
    sig_ = ((u64{1} << 52) | frac) << 11;
    exp_ = biased - 1023;
  } else if (frac != 0) {  // subnormal: frac * 2^-1074, normalized here
    kind_ = kFinite;
    const int lz = detail::clz64(frac);
    sig_ = frac << lz;
    exp_ = 63 - lz - 1074;
  } else {
    kind_ = kZero;
  }
}

inline void xreal::from_int(int v) {
  neg_ = v < 0;
  if (v == 0) {
    kind_ = kZero;
    return;
  }
  kind_ = kFinite;
  const std::int64_t wide = v;
  const u64 mag = neg_ ? u64{0} - static_cast<u64>(wide) : static_cast<u64>(wide);
  const int lz = detail::clz64(mag);
  sig_ = mag << lz;
  exp_ = 63 - lz;
}

inline xreal xreal::round_pack(bool neg, int exp, u64 hi, u64 lo) {
  const u64 half = detail::kTopBit;
  if (lo > half || (lo == half && (hi & 1u) != 0)) {
    if (++hi == 0) {  // 0xFF..F rounded up to 2^64
      hi = detail::kTopBit;
      ++exp;
    }
  }
  xreal r;
  r.kind_ = kFinite;
  r.neg_ = neg;
  r.exp_ = exp;
  r.sig_ = hi;
  return r;
}

// Longer than the house's 45 lines: an arithmetic kernel, the special operands, the alignment,
// the addition or subtraction of the significands and the sticky bits in one place, as the
// hardware's adder does them; split up, the carries and sticky bits would cross functions.
inline xreal xreal::add(xreal a, xreal b, bool subtract) {
  if (subtract) b.neg_ = !b.neg_;
  if (a.kind_ != kFinite || b.kind_ != kFinite) {
    if (a.kind_ == kNaN || b.kind_ == kNaN) return special(kNaN, false);
    if (a.kind_ == kInf && b.kind_ == kInf) return a.neg_ == b.neg_ ? a : special(kNaN, false);
    if (a.kind_ == kInf) return a;
    if (b.kind_ == kInf) return b;
    if (a.kind_ == kZero && b.kind_ == kZero) return special(kZero, a.neg_ && b.neg_);
    return a.kind_ == kZero ? b : a;
  }
  // Make a the operand of larger magnitude; the result takes its sign.
  if (b.exp_ > a.exp_ || (b.exp_ == a.exp_ && b.sig_ > a.sig_)) {
    const xreal t = a;
    a = b;
    b = t;
  }
  // Work in 128 bits: a's significand in the high word, b's aligned below it. b's bits that
  // fall off the bottom are not dropped silently: if any is nonzero, the lowest kept bit is
  // set (the "sticky" bit). That bit lies at least 62 places below where the result is
  // rounded, so it never changes the sum's kept bits; it only tells a result exactly halfway
  // (a tie) from one slightly above or below it, which is all the rounding needs to know.
  // Bits are lost only when the exponent gap d is more than 64, and then a - b still has its
  // top bit at 126 or 127, so the sticky bit stays far below the rounding position. (It can
  // decide the result only for d = 65: 1 - (2^-65 + 2^-128) must not round like the tie
  // 1 - 2^-65.)
  const int d = a.exp_ - b.exp_;
  u64 b_hi, b_lo;
  if (d == 0) {
    b_hi = b.sig_;
    b_lo = 0;
  } else if (d < 64) {
    b_hi = b.sig_ >> d;
    b_lo = b.sig_ << (64 - d);
  } else if (d < 128) {
    b_hi = 0;
    b_lo = b.sig_ >> (d - 64);
    if (d > 64 && (b.sig_ << (128 - d)) != 0) b_lo |= 1u;
  } else {
    b_hi = 0;
    b_lo = 1;  // b is nonzero but entirely below the sticky position
  }

  u64 hi = a.sig_, lo = 0;
  int exp = a.exp_;
  if (a.neg_ == b.neg_) {
    lo = b_lo;  // a's low word is zero, so no carry out of the low word
    const u64 sum = hi + b_hi;
    const bool carry = sum < hi;
    hi = sum;
    if (carry) {  // the sum reached 2^128: shift right one place
      // A carry needs d < 64, where b lost no bits and lo's lowest bit is 0: nothing is lost.
      lo = (lo >> 1) | (hi << 63);
      hi = (hi >> 1) | detail::kTopBit;
      ++exp;
    }
  } else {
    lo = u64{0} - b_lo;
    hi = hi - b_hi - (b_lo != 0 ? 1u : 0u);
    if (hi == 0 && lo == 0) return special(kZero, false);  // x - x is +0 in round-to-nearest
    const int shift = hi != 0 ? detail::clz64(hi) : 64 + detail::clz64(lo);
    detail::shl_128(&hi, &lo, shift);
    exp -= shift;
  }
  return round_pack(a.neg_, exp, hi, lo);
}

inline xreal xreal::mul(xreal a, xreal b) {
  const bool neg = a.neg_ != b.neg_;
  if (a.kind_ != kFinite || b.kind_ != kFinite) {
    if (a.kind_ == kNaN || b.kind_ == kNaN) return special(kNaN, false);
    if (a.kind_ == kInf || b.kind_ == kInf) {
      return (a.kind_ == kZero || b.kind_ == kZero) ? special(kNaN, false) : special(kInf, neg);
    }
    return special(kZero, neg);
  }
  // The product of two 64-bit significands lies in [2^126, 2^128).
  u64 hi, lo;
  detail::mul_64x64(a.sig_, b.sig_, &hi, &lo);
  int exp = a.exp_ + b.exp_ + 1;
  if ((hi & detail::kTopBit) == 0) {
    detail::shl_128(&hi, &lo, 1);
    --exp;
  }
  return round_pack(neg, exp, hi, lo);
}

inline xreal xreal::div(xreal a, xreal b) {
  const bool neg = a.neg_ != b.neg_;
  if (a.kind_ != kFinite || b.kind_ != kFinite) {
    if (a.kind_ == kNaN || b.kind_ == kNaN) return special(kNaN, false);
    if (a.kind_ == kInf) return special(b.kind_ == kInf ? kNaN : kInf, neg);
    if (b.kind_ == kInf) return special(kZero, neg);
    if (b.kind_ == kZero) return special(a.kind_ == kZero ? kNaN : kInf, neg);
    return special(kZero, neg);  // 0 / finite
  }
  // The quotient of the significands lies in (1/2, 2). Scale the dividend so the integer
  // quotient has exactly 64 bits: by 2^63 when a.sig_ >= b.sig_, by 2^64 otherwise.
  u64 rem, q;
  int exp = a.exp_ - b.exp_;
  if (a.sig_ >= b.sig_) {
    q = detail::div_128by64(a.sig_ >> 1, a.sig_ << 63, b.sig_, &rem);
  } else {
    q = detail::div_128by64(a.sig_, 0, b.sig_, &rem);
    --exp;
  }
  // The remainder only matters through its comparison with half the divisor; encode that as
  // a low word above, at, or below one half (nonzero if the remainder is).
  u64 lo = 0;
  if (rem != 0) {
    const u64 rest = b.sig_ - rem;  // rem vs b.sig_ / 2, without overflowing 2 * rem
    lo = rem > rest ? detail::kTopBit + 1 : rem == rest ? detail::kTopBit : 1;
  }
  return round_pack(neg, exp, q, lo);
}

inline double xreal::round_to_double() const {
  u64 bits;
  switch (kind_) {
    case kZero:
      bits = 0;
      break;
    case kInf:
      bits = u64{0x7FF} << 52;
      break;
    case kNaN:
      return std::numeric_limits<double>::quiet_NaN();
    default:
      if (exp_ > 1023) {
        bits = u64{0x7FF} << 52;  // beyond the largest finite double
        break;
      }
      // Keep 53 bits for a normal double, fewer for a subnormal one (whose last bit weighs
      // 2^-1074), and round the dropped bits to nearest-even. A carry out of the kept bits
      // moves naturally into the exponent field when the pieces are added below, including
      // from the largest subnormal to the smallest normal and from the largest finite to inf.
      const int drop = exp_ >= -1022 ? 11 : -exp_ - 1011;
      if (drop > 64) {  // below half the smallest subnormal
        bits = 0;
        break;
      }
      const u64 kept = drop == 64 ? 0 : sig_ >> drop;
      const u64 rest = drop == 64 ? sig_ : sig_ & ((u64{1} << drop) - 1);
      const u64 half = u64{1} << (drop - 1);
      const u64 rounded = kept + ((rest > half || (rest == half && (kept & 1u) != 0)) ? 1 : 0);
      // A normal value stores its leading bit implicitly; adding it to the biased exponent
      // (exp_ + 1023) - 1 gives the encoding directly.
      bits = exp_ >= -1022 ? (static_cast<u64>(exp_ + 1022) << 52) + rounded : rounded;
      break;
  }
  if (neg_) bits |= detail::kTopBit;
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

}  // namespace portable
SCABROSIMETER_COPY_END
}  // namespace scab
