// Running sums in their fixed order, fast.
//
// A running sum total = rnd(xreal(total) + v) is one long chain of dependent additions. Done
// with plain double additions, each step waits only for the one before; the check that the
// model would have given the same double (fast.h) does not lie on the chain, so the steps are
// taken ahead of it a block at a time and checked afterwards. A step that fails the check is
// redone the slow way and the chain taken up again from there.
#pragma once

#include "arith/fast.h"

namespace scab::fast {

// total, then rnd(xreal(total) + values[k]) for k = 0 .. count - 1, in that order.
double running_sum(double total, const double* values, long count);

// The same over values[k] x values[k] added to total as rnd(xreal(total) + xreal(v) * v),
// and over x[k] * y[k] as rnd(xreal(total) + xreal(x[k]) * y[k]).
double running_sum_of_products(double total, const double* x, const double* y, long count);

}  // namespace scab::fast
