// RMS error pass: each interior cell against the mean of its neighbours (arith/rows.h shows
// which neighbours, and the order of their sum).
//
// Interior cells (not on the first or last line or column) are visited line by line, and
// within a line from column 1 upward; border cells enter only as neighbours. The regression
// sums run over the cells in that same order, so they are taken during the first sweep, a line
// at a time, rather than from stored copies of every height and mean.
#include <type_traits>
#include <utility>

#include "analysis/kernels.h"
#include "analysis/passes.h"
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
  // dtab has at least 3 lines. Where every sum of neighbours is exact (`sums_exact`), no band
  // is checked.
  Window(const LineSource& dtab, bool sums_exact)
      : dtab_(dtab),
        sums_exact_(sums_exact),
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
  bool in_band() const { return sums_exact_ || (in_band_[0] && in_band_[1] && in_band_[2]); }

 private:
  void load(int slot, int line) {
    dtab_.line(line, lines_[slot].data());
    if (!sums_exact_) in_band_[slot] = fast::within(band_, lines_[slot].data(), dtab_.columns());
  }

  const LineSource& dtab_;
  bool sums_exact_;
  Buffer<double> lines_[3];
  fast::Band band_;
  bool in_band_[3] = {false, false, false};
};

// The neighbour means of the m interior cells of the window's middle line, and the absolute
// differences of the cells from them (arith/rows.h shows the neighbours and their order). Where
// the raster's range makes every sum and difference exact, plain double arithmetic gives the
// model's results.
template <int kNeighbours>
void neighbour_differences(double* means, double* difs, const Window& window, long m,
                           const HeightFacts& facts) {
  const double *above = window.above(), *row = window.row(), *below = window.below();
  if (!facts.neighbour_sums_exact || !facts.differences_exact) {
    if (kNeighbours == 8) {
      fast::all_differences(means, difs, above, row, below, m, window.in_band());
    } else {
      fast::edge_differences(means, difs, above, row, below, m, window.in_band());
    }
    return;
  }
  const double weight = kNeighbours == 8 ? 0.125 : 0.25;  // a power of two: exact
#pragma omp simd
  for (long j = 0; j < m; j++) {
    double dval = above[j + 1];
    dval = dval + row[j + 2];
    dval = dval + below[j + 1];
    dval = dval + row[j];
    if (kNeighbours == 8) {
      dval = dval + above[j];
      dval = dval + above[j + 2];
      dval = dval + below[j + 2];
      dval = dval + below[j];
    }
    const double mean = dval * weight;
    means[j] = mean;
    difs[j] = std::fabs(row[j + 1] - mean);
  }
}

}  // namespace

RmsErrorResult rms_error_pass(const LineSource& heights, bool height_sums, LinesRead* progress) {
  const int lines = heights.lines(), columns = heights.columns();
  RmsErrorResult result;
  if (lines < 3 || columns < 3) return result;  // no interior cell: nothing has a value
  using fast::Product;
  using fast::Signs;
  const HeightFacts facts = facts_of(heights.range());
  const long m = columns - 2;  // interior cells of a line
  Buffer<double> means(static_cast<size_t>(m)), difs(static_cast<size_t>(m));
  Window window(heights, facts.neighbour_sums_exact);
  const double* y = means.data();
  const double* dif = difs.data();

  // First sweep: 8-neighbour means (y), the absolute differences of the heights (x) from
  // them, and the regression sums: of |x - y|, x, x x, y, x y and y y, each in the order of
  // the cells.
  double dif_tot = 0, X = 0, X2 = 0, Y = 0, XY = 0, Y2 = 0;
  const auto sums_of_line = [&](const double* x, auto signs) {
    constexpr Signs kSigns = decltype(signs)::value;
    auto difs_sum = fast::sum_chain<Signs::non_negative>(dif_tot, [dif](long k) { return dif[k]; });
    auto x_sum = fast::sum_chain<kSigns>(X, [x](long k) { return x[k]; });
    auto x2_sum = fast::product_chain<Signs::non_negative>(X2, [x](long k) {
      return Product{x[k], x[k]};
    });
    auto y_sum = fast::sum_chain<kSigns>(Y, [y](long k) { return y[k]; });
    auto xy_sum = fast::product_chain<kSigns>(XY, [x, y](long k) { return Product{x[k], y[k]}; });
    auto y2_sum = fast::product_chain<Signs::non_negative>(Y2, [y](long k) {
      return Product{y[k], y[k]};
    });
    if (height_sums) {
      fast::advance_together(m, difs_sum, x_sum, x2_sum, y_sum, xy_sum, y2_sum);
    } else {
      fast::advance_together(m, difs_sum, y_sum, xy_sum, y2_sum);
    }
    dif_tot = difs_sum.total;
    X = x_sum.total;
    X2 = x2_sum.total;
    Y = y_sum.total;
    XY = xy_sum.total;
    Y2 = y2_sum.total;
  };
  for (int i = 1; i < lines - 1; i++) {
    window.move_to(i);
    if (progress) progress->fetch_add(1, std::memory_order_relaxed);
    neighbour_differences<8>(means.data(), difs.data(), window, m, facts);
    if (facts.signs == Signs::non_negative) {
      sums_of_line(window.row() + 1, std::integral_constant<Signs, Signs::non_negative>());
    } else {
      sums_of_line(window.row() + 1, std::integral_constant<Signs, Signs::any>());
    }
  }
  result.X = X;
  result.X2 = X2;
  result.Y = Y;
  result.XY = XY;
  result.Y2 = Y2;
  // Counts as doubles: exact, and beyond an int's range on a huge raster.
  const double n = static_cast<double>(lines - 2) * static_cast<double>(m);
  result.n = static_cast<long long>(n);
  const double d_mean = rnd(xreal(dif_tot) / n);

  // Second sweep: residuals against the 4-neighbour mean. Their spread is taken about d_mean,
  // the mean absolute difference of the first sweep, not about a mean of this sweep. The sums
  // of dif x dif and of dif2 = (dif - d_mean)^2, each stored as a double before it is added.
  const auto exact_square = [dif](long k) { return fast::mul(dif[k], dif[k]); };
  const auto exact_spread = [dif, d_mean](long k) {
    return fast::square_of_difference(dif[k], d_mean);
  };
  auto squares = fast::sum_chain<Signs::non_negative>(
      0.0, [dif](long k) { return kernel::product(dif[k], dif[k]); }, exact_square);
  auto spreads = fast::sum_chain<Signs::non_negative>(
      0.0, [dif, d_mean](long k) { return kernel::checked_square_of_difference(dif[k], d_mean); },
      exact_spread);
  auto exact_squares = fast::sum_chain<Signs::non_negative>(0.0, exact_square, exact_square);
  auto exact_spreads = fast::sum_chain<Signs::non_negative>(0.0, exact_spread, exact_spread);
  for (int i = 1; i < lines - 1; i++) {
    window.move_to(i);
    if (progress) progress->fetch_add(1, std::memory_order_relaxed);
    neighbour_differences<4>(means.data(), difs.data(), window, m, facts);
    if (facts.within_pair_range) {
      fast::advance_together(m, squares, spreads);
    } else {
      fast::advance_together(m, exact_squares, exact_spreads);
    }
  }
  const double dif_carre_tot = squares.total + exact_squares.total;
  const double dif2_tot = spreads.total + exact_spreads.total;
  // Both divisors are n - 1.
  if (n > 1) {
    result.desv = sqrt_d(xreal(dif2_tot) / (n - 1));
    result.rms_error = sqrt_d(xreal(dif_carre_tot) / (n - 1));
  }
  if (height_sums) finish_regression(result);
  return result;
}

void finish_regression(RmsErrorResult& result) {
  // With a single cell the sums describe one point: no slope and no correlation.
  if (result.n <= 1) return;
  const double n = static_cast<double>(result.n);
  const double X = result.X, X2 = result.X2, Y = result.Y, XY = result.XY, Y2 = result.Y2;
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
