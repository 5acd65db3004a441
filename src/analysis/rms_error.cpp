// RMS error pass: each interior cell against the mean of its neighbours (arith/rows.h shows
// which neighbours, and the order of their sum).
//
// Interior cells (not on the first or last line or column) are visited line by line, and
// within a line from column 1 upward; border cells enter only as neighbours. The regression
// sums run over the cells in that same order, so they are taken during the first sweep, a line
// at a time, rather than from stored copies of every height and mean.
#include <utility>

#include "analysis/passes.h"
#include "arith/chain.h"
#include "arith/rows.h"
#include "arith/xreal.h"
#include "raster/buffer.h"

namespace scab {
namespace {

// Three consecutive lines of the heights, moved down one line at a time, each with whether it
// lies within the band of binades of the raster's first interior line (arith/rows.h): most
// rasters do, and then no neighbour sum needs a check.
class Window {
 public:
  // dtab has at least 3 lines.
  explicit Window(const LineSource& dtab)
      : dtab_(dtab),
        lines_{Buffer<double>(static_cast<size_t>(dtab.columns())),
               Buffer<double>(static_cast<size_t>(dtab.columns())),
               Buffer<double>(static_cast<size_t>(dtab.columns()))} {
    dtab_.line(1, lines_[1].data());
    band_ = fast::band_about(lines_[1][dtab.columns() / 2]);
  }
  // Lines i - 1, i and i + 1 for i from 1 upward, one call per i in order.
  void move_to(int i) {
    if (i == 1) {
      load(0, 0);
      load(1, 1);
    } else {
      std::swap(lines_[0], lines_[1]);
      std::swap(lines_[1], lines_[2]);
      in_band_[0] = in_band_[1];
      in_band_[1] = in_band_[2];
    }
    load(2, i + 1);
  }
  const double* above() const { return lines_[0].data(); }
  const double* row() const { return lines_[1].data(); }
  const double* below() const { return lines_[2].data(); }
  bool in_band() const { return in_band_[0] && in_band_[1] && in_band_[2]; }

 private:
  void load(int slot, int line) {
    dtab_.line(line, lines_[slot].data());
    in_band_[slot] = fast::within(band_, lines_[slot].data(), dtab_.columns());
  }

  const LineSource& dtab_;
  Buffer<double> lines_[3];
  fast::Band band_;
  bool in_band_[3] = {false, false, false};
};

}  // namespace

HeightSums height_sums(const LineSource& dtab) {
  HeightSums sums;
  const int nb_lig = dtab.lines(), nb_col = dtab.columns();
  if (nb_lig < 3 || nb_col < 3) return sums;
  Buffer<double> line(static_cast<size_t>(nb_col));
  const double* z = line.data() + 1;  // the interior cells of the line
  fast::Chain X[1] = {{0, z, nullptr}};
  fast::Chain X2[1] = {{0, z, z}};
  for (int i = 1; i < nb_lig - 1; i++) {
    dtab.line(i, line.data());
    fast::running_sums(X, X2, nb_col - 2);
  }
  sums.X = X[0].total;
  sums.X2 = X2[0].total;
  return sums;
}

RmsErrorResult rms_error_sums(const LineSource& dtab, long long& kco) {
  const int nb_lig = dtab.lines(), nb_col = dtab.columns();
  RmsErrorResult result;
  if (nb_lig < 3 || nb_col < 3) return result;  // no interior cell: nothing has a value
  const long m = nb_col - 2;                    // interior cells of a line
  Buffer<double> means(static_cast<size_t>(m)), difs(static_cast<size_t>(m)),
      squares(static_cast<size_t>(m));
  Window window(dtab);

  // First sweep: 8-neighbour means (y), the absolute differences of the heights (x) from
  // them, and the regression sums with y (those of x alone are taken elsewhere: HeightSums).
  // Sums of |x - y| and y; sums of x y and y y: each in the order of the cells.
  fast::Chain sums[2] = {{0, difs.data(), nullptr}, {0, means.data(), nullptr}};
  fast::Chain products[2] = {{0, nullptr, means.data()}, {0, means.data(), means.data()}};
  for (int i = 1; i < nb_lig - 1; i++) {
    window.move_to(i);
    fast::all_differences(means.data(), difs.data(), window.above(), window.row(), window.below(),
                          m, window.in_band());
    products[0].x = window.row() + 1;
    fast::running_sums(sums, products, m);
  }
  const double dif_tot = sums[0].total;
  result.Y = sums[1].total;
  result.XY = products[0].total;
  result.Y2 = products[1].total;
  // Counts as doubles: exact, and beyond an int's range on a huge raster.
  const double n = static_cast<double>(nb_lig - 2) * static_cast<double>(m);
  result.n = static_cast<long long>(n);
  const double d_mean = rnd(xreal(dif_tot) / n);

  // Second sweep: residuals against the 4-neighbour mean. Their spread is taken about d_mean,
  // the mean absolute difference of the first sweep, not about a mean of this sweep.
  fast::Chain second[2] = {{0, means.data(), nullptr}, {0, squares.data(), nullptr}};
  for (int i = 1; i < nb_lig - 1; i++) {
    window.move_to(i);
    fast::edge_differences(means.data(), difs.data(), window.above(), window.row(), window.below(),
                           m, window.in_band());
    fast::squares(means.data(), difs.data(), m);  // dif x dif
    fast::squares_of_differences(squares.data(), difs.data(), d_mean, m);
    fast::running_sums(second, m);  // sums of dif x dif and of dif2
    kco += m;
  }
  // Both divisors are n - 1.
  if (n > 1) {
    result.desv = sqrt_d(xreal(second[1].total) / (n - 1));
    result.rms_error = sqrt_d(xreal(second[0].total) / static_cast<double>(kco - 1));
  }
  return result;
}

void finish_regression(RmsErrorResult& result, const HeightSums& heights) {
  // With a single cell the sums describe one point: no slope and no correlation.
  if (result.n <= 1) return;
  const double n = static_cast<double>(result.n);
  const double X = heights.X, X2 = heights.X2, Y = result.Y, XY = result.XY, Y2 = result.Y2;
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

RmsErrorResult rms_error_pass(const LineSource& dtab, long long& kco) {
  RmsErrorResult result = rms_error_sums(dtab, kco);
  finish_regression(result, height_sums(dtab));
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
