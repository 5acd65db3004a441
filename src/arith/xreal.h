// The program's arithmetic model, stated once.
//
// Stored values are IEEE doubles. Every expression is evaluated with a 64-bit significand
// (round to nearest, ties to even) and rounded to double only when its value is stored in a
// named variable, passed to printf, or passed to a function that takes a double (the square
// root and the absolute value). Sums run one cell at a time in a fixed order, so the printed
// digits are the same on every platform and build.
//
// In the code this reads as:   d_tot = rnd(xreal(d_tot) + dtab[i][j]);
// where `xreal` is the intermediate type and `rnd` the store. Beware: an operation between two
// plain doubles (X * Y) is double arithmetic; at least one operand must already be an xreal.
#pragma once

#include <cfloat>
#include <cmath>

#if LDBL_MANT_DIG != 64
#error \
    "scabrosimeter needs a long double with a 64-bit significand (x87 extended) for its arithmetic"
#endif

namespace scab {

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

// The store: round an expression to the nearest double.
inline double rnd(xreal x) {
  return x.round_to_double();
}

// The two library functions of the program take and return doubles: the argument is rounded
// first, and the square root is the correctly rounded double square root.
inline double sqrt_d(xreal x) {
  return std::sqrt(rnd(x));
}
inline double abs_d(xreal x) {
  return std::fabs(rnd(x));
}

}  // namespace scab
