// Element-wise operations over rows of doubles, with the results of the arithmetic model.
// Each first computes every element the fast way (a loop the compiler vectorizes), noting the
// doubtful ones, then redoes those few the slow way. The output is never one of the inputs.
#pragma once

namespace scab::fast {

// out[j] = rnd(xreal(a[j]) + b[j]).
void add_each(double* out, const double* a, const double* b, long n);

// out[j] = rnd(xreal(totals[j]) + rnd(xreal(dif) * dif)), dif = rnd(xreal(z[j]) - means[j]): a
// running sum of squared deviations for each element.
void add_each_deviation_square(double* out, const double* totals, const double* z,
                               const double* means, long n);

// out[j] = rnd(xreal(a[j]) * factor).
void scale_each(double* out, const double* a, double factor, long n);

// dif = rnd(xreal(z[j]) - mean); out[j] = rnd(xreal(dif) * dif).
void deviation_squares(double* out, const double* z, double mean, long n);

// The same about a mean of its own for each element.
void deviation_squares(double* out, const double* z, const double* mean, long n);

// out[j] = |rnd(xreal(z[j]) - y[j])|.
void absolute_differences(double* out, const double* z, const double* y, long n);

// out[j] = rnd(xreal(d[j]) * d[j]).
void squares(double* out, const double* d, long n);

// out[j] = rnd((xreal(d[j]) - mean) * (xreal(d[j]) - mean)).
void squares_of_differences(double* out, const double* d, double mean, long n);

// Eight binades about a reference value: a sum of up to eight values that lie within them (or
// are zero) is exact with a 64-bit significand, so the plain double sum is the model's. Empty
// (nothing within) for a reference too small or too large.
struct Band {
  double low = 0;
  double high = 0;
};
Band band_about(double reference);
bool within(const Band& band, const double* values, long n);

// The neighbour means of the m interior cells of a line, cell k of out being column k + 1:
//
//      5 1 6          1 above, 2 right, 3 below, 4 left: the 4 edge neighbours (x 0.25)
//      4 . 2          then 5 upper left, 6 upper right, 7 lower right, 8 lower left:
//      8 3 7          all 8 (x 0.125)
//
// summed in that order, each partial sum a double; the cell itself is not among them.
// `in_band`: the caller knows that the three lines lie within one band.
void edge_means(double* out, const double* above, const double* row, const double* below, long m,
                bool in_band);
void all_means(double* out, const double* above, const double* row, const double* below, long m,
               bool in_band);

// The same means, and difs[k] = |rnd(xreal(row[k + 1]) - means[k])|, the absolute differences
// of the cells from them.
void edge_differences(double* means, double* difs, const double* above, const double* row,
                      const double* below, long m, bool in_band);
void all_differences(double* means, double* difs, const double* above, const double* row,
                     const double* below, long m, bool in_band);

}  // namespace scab::fast
