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

// Several running sums over the same count of steps, advanced together so that their chains
// of additions overlap: each chain's total goes on from its value, adding x[k] at step k (as
// running_sum does), or for a chain of products x[k] * y[k] (as running_sum_of_products does).
struct Chain {
  double total;
  const double* x;
  const double* y;  // for a chain of products
};
void running_sums(Chain (&sums)[2], long steps);
void running_sums(Chain (&sums)[1], Chain (&products)[1], long steps);
void running_sums(Chain (&sums)[2], Chain (&products)[2], long steps);
void running_sums(Chain (&sums)[3], Chain (&products)[1], long steps);

}  // namespace scab::fast
