// RMS error pass: each interior cell against the mean of its neighbours.
//
// The neighbours of cell (i, j), summed in this order, each partial sum a double:
//
//      5 1 6          1 above, 2 right, 3 below, 4 left: the 4 edge neighbours (x 0.25)
//      4 . 2          then 5 upper left, 6 upper right, 7 lower right, 8 lower left:
//      8 3 7          all 8 (x 0.125)
//
// Interior cells (not on the first or last line or column) are visited line by line, and
// within a line from column 1 upward; border cells enter only as neighbours. The regression
// sums run over the cells in that same order, so they are taken during the first sweep, a line
// at a time, rather than from stored copies of every height and mean.
#include <vector>

#include "analysis/passes.h"
#include "arith/chain.h"
#include "arith/rows.h"
#include "arith/xreal.h"

namespace scab {
namespace {

// out[k] = the mean of the 4 edge neighbours of cell (i, k + 1), for the m interior columns.
void edge_means(double* out, const double* above, const double* row, const double* below, long m) {
  std::copy(above + 1, above + 1 + m, out);
  fast::add_each(out, out, row + 2, m);
  fast::add_each(out, out, below + 1, m);
  fast::add_each(out, out, row, m);
  fast::scale_each(out, out, 0.25, m);
}

// out[k] = the mean of all 8 neighbours of cell (i, k + 1).
void all_means(double* out, const double* above, const double* row, const double* below, long m) {
  std::copy(above + 1, above + 1 + m, out);
  fast::add_each(out, out, row + 2, m);
  fast::add_each(out, out, below + 1, m);
  fast::add_each(out, out, row, m);
  fast::add_each(out, out, above, m);
  fast::add_each(out, out, above + 2, m);
  fast::add_each(out, out, below + 2, m);
  fast::add_each(out, out, below, m);
  fast::scale_each(out, out, 0.125, m);
}

}  // namespace

RmsErrorResult rms_error_pass(const double* const* dtab, int nb_lig, int nb_col, long long& kco) {
  RmsErrorResult result;
  if (nb_lig < 3 || nb_col < 3) return result;  // no interior cell: nothing has a value
  const long m = nb_col - 2;                    // interior cells of a line
  std::vector<double> means(static_cast<size_t>(m)), difs(static_cast<size_t>(m));

  // First sweep: 8-neighbour means, their absolute differences, and the regression sums of
  // the means (y) on the heights (x).
  double dif_tot = 0, X = 0, Y = 0, XY = 0, X2 = 0, Y2 = 0;
  for (int i = 1; i < nb_lig - 1; i++) {
    const double* z = dtab[i] + 1;
    all_means(means.data(), dtab[i - 1], dtab[i], dtab[i + 1], m);
    fast::absolute_differences(difs.data(), z, means.data(), m);
    dif_tot = fast::running_sum(dif_tot, difs.data(), m);
    XY = fast::running_sum_of_products(XY, z, means.data(), m);
    X = fast::running_sum(X, z, m);
    X2 = fast::running_sum_of_products(X2, z, z, m);
    Y = fast::running_sum(Y, means.data(), m);
    Y2 = fast::running_sum_of_products(Y2, means.data(), means.data(), m);
  }
  // Counts as doubles: exact, and beyond an int's range on a huge raster.
  const double n = static_cast<double>(nb_lig - 2) * static_cast<double>(m);
  result.n = static_cast<long long>(n);

  // With a single cell the sums describe one point: no slope and no correlation.
  if (n > 1) {
    const xreal slope_denominator = xreal(n) * X2 - xreal(X) * X;
    if (!slope_denominator.is_zero()) {
      result.slope = rnd((xreal(n) * XY - xreal(X) * Y) / slope_denominator);
    }
    const double val1 = rnd(xreal(n) * XY - xreal(X) * Y);
    const double val2 = rnd(xreal(n) * X2 - xreal(X) * X);
    const double val3 = rnd(xreal(n) * Y2 - xreal(Y) * Y);
    const double under_root = rnd(xreal(val2) * val3);
    if (under_root > 0) {
      const double r = rnd(xreal(val1) / sqrt_d(under_root));
      const double R2 = rnd(xreal(r) * r);
      result.r = r;
      result.r_magnitude = sqrt_d(R2);
      result.r2 = R2;
    }
  }
  const double d_mean = rnd(xreal(dif_tot) / n);

  // Second sweep: residuals against the 4-neighbour mean. Their spread is taken about d_mean,
  // the mean absolute difference of the first sweep, not about a mean of this sweep.
  dif_tot = 0;
  double dif_carre_tot = 0;
  for (int i = 1; i < nb_lig - 1; i++) {
    edge_means(means.data(), dtab[i - 1], dtab[i], dtab[i + 1], m);
    fast::absolute_differences(difs.data(), dtab[i] + 1, means.data(), m);
    fast::deviation_squares(means.data(), difs.data(), 0.0, m);  // dif x dif
    dif_carre_tot = fast::running_sum(dif_carre_tot, means.data(), m);
    fast::squares_of_differences(means.data(), difs.data(), d_mean, m);
    dif_tot = fast::running_sum(dif_tot, means.data(), m);
    kco += m;
  }
  // Both divisors are n - 1.
  if (n > 1) {
    result.desv = sqrt_d(xreal(dif_tot) / (n - 1));
    result.rms_error = sqrt_d(xreal(dif_carre_tot) / static_cast<double>(kco - 1));
  }
  return result;
}

void write_rms_error(const RmsErrorResult& result, FILE* console, FILE* report) {
  print_values(console, "\n\tslope = %lf ", {result.slope});
  print_values(console, "\n\n\tr = %lf r(sqrt) = %lf r2 = %lf ",
               {result.r, result.r_magnitude, result.r2});
  fputs("\n\n\tPor parte Ortalvesco", report);
  print_values(report, "\n\t\tSlope = %lf r = %lf r2 = %lf ", {result.slope, result.r, result.r2});
  print_values(report, "\n\t\tRMS Error = %lf     Standard Deviation = %lf \n\n",
               {result.rms_error, result.desv});
  print_values(console, "\n\n\tRMS error = %lf standard deviation = %lf ",
               {result.rms_error, result.desv});
}

}  // namespace scab
