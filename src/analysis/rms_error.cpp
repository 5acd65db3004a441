// RMS error pass: each interior cell against the mean of its neighbours
// (analysis/neighbourhood.h shows which neighbours, and the order of their sum).
//
// Interior cells (not on the first or last line or column) are visited line by line, and
// within a line from column 1 upward; border cells enter only as neighbours. The regression
// sums run over the cells in that same order, so they are taken during the first sweep, a line
// at a time, rather than from stored copies of every height and mean.
#include <type_traits>
#include <utility>

#include "analysis/kernels.h"
#include "analysis/neighbourhood.h"
#include "analysis/passes.h"
#include "arith/running_sum.h"
#include "arith/xreal.h"
#include "raster/buffer.h"

namespace scab {
namespace {

using fast::Product;
using fast::Signs;

// The sums of the first sweep: of the cells' absolute differences from their 8-neighbour mean,
// and the regression's sums of the heights x and the means y.
struct FirstSweepSums {
  double differences = 0;
  double x = 0, x2 = 0, y = 0, xy = 0, y2 = 0;
};

// Advances the first sweep's sums over the m interior cells x of a line, their means y and
// their differences. Sums of heights and means take the one-way check where no height is below
// zero (kSigns). Without `height_sums`, the sums of x alone are left to another.
template <Signs kSigns>
void add_line(FirstSweepSums& sums, const double* x, const double* y, const double* dif, long m,
              bool height_sums) {
  auto differences =
      fast::sum_chain<Signs::non_negative>(sums.differences, [dif](long k) { return dif[k]; });
  auto x_sum = fast::sum_chain<kSigns>(sums.x, [x](long k) { return x[k]; });
  auto x2_sum = fast::product_chain<Signs::non_negative>(sums.x2, [x](long k) {
    return Product{x[k], x[k]};
  });
  auto y_sum = fast::sum_chain<kSigns>(sums.y, [y](long k) { return y[k]; });
  auto xy_sum = fast::product_chain<kSigns>(sums.xy, [x, y](long k) {
    return Product{x[k], y[k]};
  });
  auto y2_sum = fast::product_chain<Signs::non_negative>(sums.y2, [y](long k) {
    return Product{y[k], y[k]};
  });
  if (height_sums) {
    fast::advance_together(m, differences, x_sum, x2_sum, y_sum, xy_sum, y2_sum);
  } else {
    fast::advance_together(m, differences, y_sum, xy_sum, y2_sum);
  }
  sums = {differences.total, x_sum.total, x2_sum.total, y_sum.total, xy_sum.total, y2_sum.total};
}

}  // namespace

RmsErrorResult rms_error_pass(const LineSource& heights, bool height_sums, LinesRead* progress) {
  const int lines = heights.lines(), columns = heights.columns();
  RmsErrorResult result;
  if (lines < 3 || columns < 3) return result;  // no interior cell: nothing has a value
  const HeightFacts facts = facts_of(heights.range());
  const long m = columns - 2;  // interior cells of a line
  Buffer<double> means(static_cast<size_t>(m)), difs(static_cast<size_t>(m));
  Window window(heights, facts);
  const double* dif = difs.data();

  // First sweep: 8-neighbour means (y), the absolute differences of the heights (x) from them,
  // and the regression sums, each in the order of the cells.
  FirstSweepSums sums;
  for (int i = 1; i < lines - 1; i++) {
    window.move_to(i);
    if (progress) progress->fetch_add(1, std::memory_order_relaxed);
    all_neighbour_differences(means.data(), difs.data(), window, m, facts);
    if (facts.signs == Signs::non_negative) {
      add_line<Signs::non_negative>(sums, window.row() + 1, means.data(), dif, m, height_sums);
    } else {
      add_line<Signs::any>(sums, window.row() + 1, means.data(), dif, m, height_sums);
    }
  }
  result.sum_x = sums.x;
  result.sum_x2 = sums.x2;
  result.sum_y = sums.y;
  result.sum_xy = sums.xy;
  result.sum_y2 = sums.y2;
  // Counts as doubles: exact, and beyond an int's range on a huge raster.
  const double n = static_cast<double>(lines - 2) * static_cast<double>(m);
  result.interior_cells = static_cast<long long>(n);
  const double mean_difference = rnd(xreal(sums.differences) / n);

  // Second sweep: residuals against the 4-neighbour mean. Their spread is taken about the mean
  // absolute difference of the first sweep, not about a mean of this sweep. The sums of
  // dif x dif and of (dif - that mean)^2, each stored as a double before it is added.
  const auto exact_square = [dif](long k) { return fast::mul(dif[k], dif[k]); };
  const auto exact_spread = [dif, mean_difference](long k) {
    return fast::square_of_difference(dif[k], mean_difference);
  };
  auto squares = fast::sum_chain<Signs::non_negative>(
      0.0, [dif](long k) { return kernel::product(dif[k], dif[k]); }, exact_square);
  auto spreads = fast::sum_chain<Signs::non_negative>(
      0.0,
      [dif, mean_difference](long k) {
        return kernel::checked_square_of_difference(dif[k], mean_difference);
      },
      exact_spread);
  auto exact_squares = fast::sum_chain<Signs::non_negative>(0.0, exact_square, exact_square);
  auto exact_spreads = fast::sum_chain<Signs::non_negative>(0.0, exact_spread, exact_spread);
  for (int i = 1; i < lines - 1; i++) {
    window.move_to(i);
    if (progress) progress->fetch_add(1, std::memory_order_relaxed);
    edge_neighbour_differences(means.data(), difs.data(), window, m, facts);
    if (facts.within_pair_range) {
      fast::advance_together(m, squares, spreads);
    } else {
      fast::advance_together(m, exact_squares, exact_spreads);
    }
  }
  const double square_total = squares.total + exact_squares.total;  // one of each pair is 0
  const double spread_total = spreads.total + exact_spreads.total;
  // Both divisors are n - 1.
  if (n > 1) {
    result.standard_deviation = sqrt_d(xreal(spread_total) / (n - 1));
    result.rms_error = sqrt_d(xreal(square_total) / (n - 1));
  }
  if (height_sums) finish_regression(result);
  return result;
}

void finish_regression(RmsErrorResult& result) {
  // With a single cell the sums describe one point: no slope and no correlation.
  if (result.interior_cells <= 1) return;
  const double n = static_cast<double>(result.interior_cells);
  const double x = result.sum_x, x2 = result.sum_x2, y = result.sum_y, xy = result.sum_xy,
               y2 = result.sum_y2;
  const xreal slope_denominator = xreal(n) * x2 - xreal(x) * x;
  if (!slope_denominator.is_zero()) {
    result.slope = rnd((xreal(n) * xy - xreal(x) * y) / slope_denominator);
  }
  // r = covariance / sqrt(variance of x times variance of y), each scaled by n^2.
  const double covariance = rnd(xreal(n) * xy - xreal(x) * y);
  const double variance_x = rnd(xreal(n) * x2 - xreal(x) * x);
  const double variance_y = rnd(xreal(n) * y2 - xreal(y) * y);
  const double under_root = rnd(xreal(variance_x) * variance_y);
  if (under_root > 0) {
    const double r = rnd(xreal(covariance) / sqrt_d(under_root));
    const double r_squared = rnd(xreal(r) * r);
    result.r = r;
    result.r_magnitude = sqrt_d(r_squared);
    result.r_squared = r_squared;
  }
}

void write_rms_error(const RmsErrorResult& result, FILE* console, FILE* report) {
  print_values(console, "\n\tslope = %lf ", {result.slope});
  print_values(console, "\n\n\tr = %lf r(sqrt) = %lf r2 = %lf ",
               {result.r, result.r_magnitude, result.r_squared});
  fputs("\n\n\tPor parte Ortalvesco", report);
  print_values(report, "\n\t\tSlope = %lf r = %lf r2 = %lf ",
               {result.slope, result.r, result.r_squared});
  print_values(report, "\n\t\tRMS Error = %lf     Standard Deviation = %lf \n\n",
               {result.rms_error, result.standard_deviation});
  print_values(console, "\n\n\tRMS error = %lf standard deviation = %lf ",
               {result.rms_error, result.standard_deviation});
}

}  // namespace scab
