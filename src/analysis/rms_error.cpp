// RMS error pass: each interior cell against the mean of its neighbours
// (analysis/neighbourhood.h shows which neighbours, and the order of their sum).
//
// Interior cells (not on the first or last line or column) are visited line by line, and
// within a line from column 1 upward; border cells enter only as neighbours. The regression
// sums run over the cells in that same order, so they are taken during the first sweep, a line
// at a time, rather than from stored copies of every height and mean.
#include <type_traits>
#include <utility>

#include "analysis/passes.h"
#include "raster/buffer.h"
// The kernel headers come after kernel_target.h (arith/isa.h says why).
// clang-format off
#include "arith/kernel_target.h"
#include "analysis/kernels.h"
#include "analysis/neighbourhood.h"
#include "arith/running_sum.h"
#include "arith/xreal.h"
// clang-format on

namespace scab::SCABROSIMETER_ISA {
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

// First sweep: 8-neighbour means (y), the absolute differences of the heights (x) from them,
// and the regression sums, each in the order of the cells.
FirstSweepSums first_sweep(Window& window, int lines, long m, const HeightFacts& facts,
                           bool height_sums, LinesRead* progress) {
  Buffer<double> means(static_cast<size_t>(m)), difs(static_cast<size_t>(m));
  FirstSweepSums sums;
  for (int i = 1; i < lines - 1; i++) {
    window.move_to(i);
    if (progress) progress->fetch_add(1, std::memory_order_relaxed);
    all_neighbour_differences(means.data(), difs.data(), window, m, facts);
    const double* x = window.row() + 1;
    if (facts.signs == Signs::non_negative) {
      add_line<Signs::non_negative>(sums, x, means.data(), difs.data(), m, height_sums);
    } else {
      add_line<Signs::any>(sums, x, means.data(), difs.data(), m, height_sums);
    }
  }
  return sums;
}

// The sums of the second sweep: of the squared residuals and of their squared spread.
struct SecondSweepSums {
  double squares = 0;
  double spreads = 0;
};

// Second sweep: residuals against the 4-neighbour mean. Their spread is taken about the mean
// absolute difference of the first sweep, not about a mean of this sweep. The sums of
// dif x dif and of (dif - that mean)^2, each stored as a double before it is added.
SecondSweepSums second_sweep(Window& window, int lines, long m, const HeightFacts& facts,
                             double mean_difference, LinesRead* progress) {
  Buffer<double> means(static_cast<size_t>(m)), difs(static_cast<size_t>(m));
  const double* dif = difs.data();
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
  // One of each pair stayed 0.
  return {squares.total + exact_squares.total, spreads.total + exact_spreads.total};
}

}  // namespace

RmsErrorResult rms_error_pass(const LineSource& heights, bool height_sums, LinesRead* progress) {
  const int lines = heights.lines(), columns = heights.columns();
  RmsErrorResult result;
  if (lines < 3 || columns < 3) return result;  // no interior cell: nothing has a value
  const HeightFacts facts = facts_of(heights.range());
  const long m = columns - 2;  // interior cells of a line
  Window window(heights, facts);
  const FirstSweepSums sums = first_sweep(window, lines, m, facts, height_sums, progress);
  result.sum_x = sums.x;
  result.sum_x2 = sums.x2;
  result.sum_y = sums.y;
  result.sum_xy = sums.xy;
  result.sum_y2 = sums.y2;
  // Counts as doubles: exact, and beyond an int's range on a huge raster.
  const double n = static_cast<double>(lines - 2) * static_cast<double>(m);
  result.interior_cells = static_cast<long long>(n);
  const double mean_difference = rnd(xreal(sums.differences) / n);
  const SecondSweepSums residuals =
      second_sweep(window, lines, m, facts, mean_difference, progress);
  // Both divisors are n - 1.
  if (n > 1) {
    result.standard_deviation = sqrt_d(xreal(residuals.spreads) / (n - 1));
    result.rms_error = sqrt_d(xreal(residuals.squares) / (n - 1));
  }
  if (height_sums) scab::finish_regression(result);
  return result;
}

}  // namespace scab::SCABROSIMETER_ISA
