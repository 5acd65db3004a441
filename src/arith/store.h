// The store of the arithmetic model, for either implementation of xreal (arith/xreal.h): an
// expression rounded to the nearest double when it is stored, and the program's two library
// functions, which take and return doubles.
#pragma once

#include <cmath>
#include <type_traits>
#include <utility>

#include "arith/isa.h"

namespace scab {
SCABROSIMETER_COPY_BEGIN

// An xreal: a class that rounds itself to a double.
template <class X>
using RoundsToDouble = decltype(std::declval<const X&>().round_to_double());

// The store: round an expression to the nearest double.
template <class X, class = RoundsToDouble<X>>
double rnd(const X& x) {
  return x.round_to_double();
}

// The square root and the absolute value: the argument is rounded first, and the square root is
// the correctly rounded double square root.
template <class X, class = RoundsToDouble<X>>
double sqrt_d(const X& x) {
  return std::sqrt(rnd(x));
}
inline double sqrt_d(double x) {
  return std::sqrt(x);
}
template <class X, class = RoundsToDouble<X>>
double abs_d(const X& x) {
  return std::fabs(rnd(x));
}

SCABROSIMETER_COPY_END
}  // namespace scab
