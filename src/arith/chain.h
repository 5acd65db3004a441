// Running sums over arrays of values, in their fixed order: arith/running_sum.h does the work.
#pragma once

#include "arith/fast.h"

namespace scab::fast {

// total, then rnd(xreal(total) + values[k]) for k = 0 .. count - 1, in that order.
double running_sum(double total, const double* values, long count);

// The same over rnd(xreal(total) + xreal(x[k]) * y[k]).
double running_sum_of_products(double total, const double* x, const double* y, long count);

// Several running sums over the same count of steps: each chain's total goes on from its value,
// adding x[k] at step k (as running_sum does), or for a chain of products x[k] * y[k] (as
// running_sum_of_products does).
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
