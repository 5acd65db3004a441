// RMS error pass: each interior cell against the mean of its neighbours.
//
// The neighbours of cell (i, j), summed in this order, each partial sum a double:
//
//      5 1 6          1 above, 2 right, 3 below, 4 left: the 4 edge neighbours (x 0.25)
//      4 . 2          then 5 upper left, 6 upper right, 7 lower right, 8 lower left:
//      8 3 7          all 8 (x 0.125)
//
// Interior cells (not on the first or last line or column) are visited line by line, and
// within a line from column 1 upward; border cells enter only as neighbours.
#include <cstdint>

#include "analysis/passes.h"
#include "arith/xreal.h"
#include "raster/nrutil.h"

namespace scab {
namespace {

double mean_of_4(const double* const* dtab, int i, int j) {
  double dval = dtab[i - 1][j];
  dval = rnd(xreal(dval) + dtab[i][j + 1]);
  dval = rnd(xreal(dval) + dtab[i + 1][j]);
  dval = rnd(xreal(dval) + dtab[i][j - 1]);
  return rnd(xreal(dval) * 0.25);
}

double mean_of_8(const double* const* dtab, int i, int j) {
  double dval = dtab[i - 1][j];
  dval = rnd(xreal(dval) + dtab[i][j + 1]);
  dval = rnd(xreal(dval) + dtab[i + 1][j]);
  dval = rnd(xreal(dval) + dtab[i][j - 1]);
  dval = rnd(xreal(dval) + dtab[i - 1][j - 1]);
  dval = rnd(xreal(dval) + dtab[i - 1][j + 1]);
  dval = rnd(xreal(dval) + dtab[i + 1][j + 1]);
  dval = rnd(xreal(dval) + dtab[i + 1][j - 1]);
  return rnd(xreal(dval) * 0.125);
}

}  // namespace

bool rms_error_pass(const double* const* dtab, int nb_lig, int nb_col, int& kco,
                    RmsErrorResult& result) {
  result = RmsErrorResult();
  if (nb_lig < 3 || nb_col < 3)
    return true;  // no interior cell: nothing has a value

  // The k-th interior cell (k from 1) keeps its height in xx[k] and its 8-neighbour mean in
  // yy[k] for the regression.
  const long long cells = static_cast<long long>(nb_lig) * nb_col;
  if (cells > INT32_MAX)
    return false;
  double* xx = dvecteur(static_cast<int>(cells));
  double* yy = dvecteur(static_cast<int>(cells));
  if (!xx || !yy) {
    frdvecteur(xx);
    frdvecteur(yy);
    return false;
  }

  // First sweep: 8-neighbour means.
  int ico = 0;
  double dif_tot = 0;
  for (int i = 1; i < nb_lig - 1; i++) {
    for (int j = 1; j < nb_col - 1; j++) {
      const double z = dtab[i][j];
      ico++;
      const double dval = mean_of_8(dtab, i, j);
      xx[ico] = z;
      yy[ico] = dval;
      dif_tot = rnd(xreal(dif_tot) + abs_d(xreal(z) - dval));
    }
  }
  const int n = ico;
  result.n = n;

  // Regression of the 8-neighbour means (y) on the heights (x).
  double X = 0, Y = 0, XY = 0, X2 = 0, Y2 = 0;
  for (int k = 1; k <= n; k++) {
    XY = rnd(xreal(XY) + xreal(xx[k]) * yy[k]);
    X = rnd(xreal(X) + xx[k]);
    X2 = rnd(xreal(X2) + xreal(xx[k]) * xx[k]);
    Y = rnd(xreal(Y) + yy[k]);
    Y2 = rnd(xreal(Y2) + xreal(yy[k]) * yy[k]);
  }
  frdvecteur(xx);
  frdvecteur(yy);
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
    for (int j = 1; j < nb_col - 1; j++) {
      const double z = dtab[i][j];
      kco++;
      const double dif = abs_d(xreal(z) - mean_of_4(dtab, i, j));
      const double dif_carre = rnd(xreal(dif) * dif);
      dif_carre_tot = rnd(xreal(dif_carre_tot) + dif_carre);
      const double dif2 = rnd((xreal(dif) - d_mean) * (xreal(dif) - d_mean));
      dif_tot = rnd(xreal(dif_tot) + dif2);
    }
  }
  // Both divisors are n - 1.
  if (n > 1) {
    result.desv = sqrt_d(xreal(dif_tot) / (ico - 1));
    result.rms_error = sqrt_d(xreal(dif_carre_tot) / (kco - 1));
  }
  return true;
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
