// Element-wise operations over rows of doubles, with the results of the arithmetic model.
// Each first computes every element the fast way (a loop the compiler vectorizes), noting the
// doubtful ones, then redoes those few the slow way.
#pragma once

namespace scab::fast {

// out[j] = rnd(xreal(a[j]) + b[j]); out may be a.
void add_each(double* out, const double* a, const double* b, long n);

// out[j] = rnd(xreal(a[j]) * factor); out may be a.
void scale_each(double* out, const double* a, double factor, long n);

// dif = rnd(xreal(z[j]) - mean); out[j] = rnd(xreal(dif) * dif).
void deviation_squares(double* out, const double* z, double mean, long n);

// The same about a mean of its own for each element.
void deviation_squares(double* out, const double* z, const double* mean, long n);

// out[j] = |rnd(xreal(z[j]) - y[j])|; out may be y.
void absolute_differences(double* out, const double* z, const double* y, long n);

// out[j] = rnd((xreal(d[j]) - mean) * (xreal(d[j]) - mean)).
void squares_of_differences(double* out, const double* d, double mean, long n);

}  // namespace scab::fast
