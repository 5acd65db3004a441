// The model's own evaluation of the hot expressions (arith/xreal.h), one 64-bit operation after
// another: what the fast way (arith/fast.h) falls back on where it is unsure, and the definition
// that the tests compare it with. Kept out of line: the fast loops that call them stay small.
#pragma once

#include "arith/isa.h"
#include "arith/xreal.h"

namespace scab {
SCABROSIMETER_COPY_BEGIN
namespace model {

// rnd(xreal(a) + b)
[[gnu::noinline]] inline double add(double a, double b) {
  return rnd(xreal(a) + b);
}

// rnd(xreal(a) * b)
[[gnu::noinline]] inline double mul(double a, double b) {
  return rnd(xreal(a) * b);
}

// rnd(xreal(total) + xreal(x) * y): a product kept to 64 bits, then added.
[[gnu::noinline]] inline double muladd(double total, double x, double y) {
  return rnd(xreal(total) + xreal(x) * y);
}

// dif = rnd(xreal(z) - m), then rnd(xreal(dif) * dif): a deviation stored as a double, squared.
[[gnu::noinline]] inline double deviation_square(double z, double m) {
  const double dif = rnd(xreal(z) - m);
  return rnd(xreal(dif) * dif);
}

// rnd((xreal(d) - m) * (xreal(d) - m)): a difference kept to 64 bits, squared.
[[gnu::noinline]] inline double square_of_difference(double d, double m) {
  return rnd((xreal(d) - m) * (xreal(d) - m));
}

}  // namespace model
SCABROSIMETER_COPY_END
}  // namespace scab
