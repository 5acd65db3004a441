// The program's arithmetic model, stated once.
//
// Stored values are IEEE doubles. Every expression is evaluated with a 64-bit significand
// (round to nearest, ties to even) and rounded to double only when its value is stored in a
// named variable, passed to printf, or passed to a function that takes a double (the square
// root and the absolute value). Sums run one cell at a time in a fixed order, so the printed
// digits are the same on every platform and build.
//
// In the code this reads as:   total = rnd(xreal(total) + height);
// where `xreal` is the intermediate type and `rnd` the store. Beware: an operation between two
// plain doubles (X * Y) is double arithmetic; at least one operand must already be an xreal.
#pragma once

#include <cfloat>
#include <cmath>

#include "arith/isa.h"
#include "arith/store.h"

// Two implementations with the same interface:
//  - scab::x87::xreal wraps a long double, which must be the x87 80-bit format (64-bit
//    significand) with the x87 precision control at 64 bits, as on Linux, and on MinGW-w64
//    whose startup code runs fninit in every thread (linking its CRT_fp8.o instead would
//    select 53 bits and break this);
//  - scab::portable::xreal (xreal_portable.h) does the same rounding in integer code and runs
//    anywhere.
// scab::xreal is the portable one when SCABROSIMETER_PORTABLE_ARITHMETIC is set (CMake option
// of the same name) or when long double is not the 64-bit-significand format (MSVC, AArch64,
// ...); otherwise it is the x87 one. Both give the same bits; the tests compare them.
#if (defined(SCABROSIMETER_PORTABLE_ARITHMETIC) && SCABROSIMETER_PORTABLE_ARITHMETIC) || \
    LDBL_MANT_DIG != 64
#define SCABROSIMETER_XREAL_PORTABLE 1
#include "arith/xreal_portable.h"
#else
#define SCABROSIMETER_XREAL_PORTABLE 0
#endif

namespace scab {
SCABROSIMETER_COPY_BEGIN

#if LDBL_MANT_DIG == 64
namespace x87 {

class xreal {
 public:
  xreal(double v) : v_(v) {}  // NOLINT: implicit on purpose, an exact widening
  xreal(int v) : v_(v) {}     // NOLINT: exact in 64 bits

  friend xreal operator+(xreal a, xreal b) { return xreal(a.v_ + b.v_); }
  friend xreal operator-(xreal a, xreal b) { return xreal(a.v_ - b.v_); }
  friend xreal operator*(xreal a, xreal b) { return xreal(a.v_ * b.v_); }
  friend xreal operator/(xreal a, xreal b) { return xreal(a.v_ / b.v_); }

  bool is_zero() const { return v_ == 0; }
  double round_to_double() const { return static_cast<double>(v_); }

 private:
  explicit xreal(long double v) : v_(v) {}
  long double v_;
};

}  // namespace x87
#endif

#if SCABROSIMETER_XREAL_PORTABLE
namespace arith_impl = portable;
#else
namespace arith_impl = x87;
#endif

using arith_impl::xreal;  // a type alias in effect: do not forward-declare `class xreal`

SCABROSIMETER_COPY_END
}  // namespace scab
