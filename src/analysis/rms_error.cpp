// RMS error pass: each interior cell against the mean of its neighbours
// (analysis/neighbourhood.h shows which neighbours, and the order of their sum).
//
// Each field of NeighbourSums is the model's sum of analysis/measures.cpp
// (model_rms_error_sums), taken a faster way:
//   differences      the sum of |x - y| over the interior cells, y the mean of the 8 neighbours
//                    (neighbour_mean): first sweep, the means and differences a line at a time
//                    (all_neighbour_differences), their sums (add_line)
//   y, xy, y2        the regression's sums of y, x y, y y: first sweep, through the same loop
//   squares          the sum of (x - q)^2, q the mean of the 4 edge neighbours: second sweep
//                    (edge_neighbour_differences, then the running sums)
//   spreads          the sum of (|x - q| - d)^2, d = mean_of(differences, n): second sweep
//
// Interior cells (not on the first or last line or column) are visited line by line, and
// within a line from column 1 upward; border cells enter only as neighbours. The sums run over
// the cells in that same order, so they are taken a line at a time, rather than from stored
// copies of every height and mean.
//
// A kernel source: compiled once for each instruction set (arith/isa.h).
#include <type_traits>
#include <utility>

#include "analysis/measures.h"
#include "analysis/passes.h"
#include "raster/buffer.h"
// The kernel headers come after kernel_target.h (arith/isa.h says why).
// clang-format off
#include "arith/kernel_target.h"
#include "analysis/kernels.h"
#include "analysis/neighbourhood.h"
#include "arith/fast.h"
#include "arith/running_sum.h"
// clang-format on

namespace scab {
SCABROSIMETER_COPY_BEGIN
namespace {

using fast::Product;
using fast::Signs;

// Advances the first sweep's sums over the m interior cells x of a line, their means y and
// their differences. Sums of means take the one-way check where no height is below zero
// (kSigns).
template <Signs kSigns>
void add_line(NeighbourSums& sums, const double* x, const double* y, const double* dif, long m) {
  auto differences =
      fast::sum_chain<Signs::non_negative>(sums.differences, [dif](long k) { return dif[k]; });
  auto y_sum = fast::sum_chain<kSigns>(sums.y, [y](long k) { return y[k]; });
  auto xy_sum = fast::product_chain<kSigns>(sums.xy, [x, y](long k) {
    return Product{x[k], y[k]};
  });
  auto y2_sum = fast::product_chain<Signs::non_negative>(sums.y2, [y](long k) {
    return Product{y[k], y[k]};
  });
  fast::advance_together(m, differences, y_sum, xy_sum, y2_sum);
  sums.differences = differences.total;
  sums.y = y_sum.total;
  sums.xy = xy_sum.total;
  sums.y2 = y2_sum.total;
}

// First sweep: 8-neighbour means (y), the absolute differences of the heights (x) from them,
// and their sums, each in the order of the cells.
void first_sweep(Window& window, int lines, long m, const HeightFacts& facts, NeighbourSums& sums) {
  Buffer<double> means(static_cast<size_t>(m)), difs(static_cast<size_t>(m));
  for (int i = 1; i < lines - 1; i++) {
    window.move_to(i);
    all_neighbour_differences(means.data(), difs.data(), window, m, facts);
    const double* x = window.row() + 1;
    if (facts.signs == Signs::non_negative) {
      add_line<Signs::non_negative>(sums, x, means.data(), difs.data(), m);
    } else {
      add_line<Signs::any>(sums, x, means.data(), difs.data(), m);
    }
  }
}

// Second sweep: residuals against the 4-neighbour mean. Their spread is taken about the mean
// absolute difference d of the first sweep, not about a mean of this sweep. The sums of
// dif x dif and of (dif - d)^2, each stored as a double before it is added.
void second_sweep(Window& window, int lines, long m, const HeightFacts& facts, double d,
                  NeighbourSums& result) {
  Buffer<double> means(static_cast<size_t>(m)), difs(static_cast<size_t>(m));
  const double* dif = difs.data();
  const auto sure_square = [dif](long k) { return fast::mul(dif[k], dif[k]); };
  const auto sure_spread = [dif, d](long k) { return fast::square_of_difference(dif[k], d); };
  auto squares = fast::sum_chain<Signs::non_negative>(
      0.0, [dif](long k) { return fast::mul_candidate(dif[k], dif[k]).value; }, sure_square);
  auto spreads = fast::sum_chain<Signs::non_negative>(
      0.0,
      [dif, d](long k) { return fast::or_nan(fast::square_of_difference_candidate(dif[k], d)); },
      sure_spread);
  // Where the range does not keep every square in model_of_pair's range, the sure ways alone.
  auto sure_squares = fast::sum_chain<Signs::non_negative>(0.0, sure_square);
  auto sure_spreads = fast::sum_chain<Signs::non_negative>(0.0, sure_spread);
  for (int i = 1; i < lines - 1; i++) {
    window.move_to(i);
    edge_neighbour_differences(means.data(), difs.data(), window, m, facts);
    if (facts.within_pair_range) {
      fast::advance_together(m, squares, spreads);
    } else {
      fast::advance_together(m, sure_squares, sure_spreads);
    }
  }
  // One of each pair stayed 0.
  result.squares = squares.total + sure_squares.total;
  result.spreads = spreads.total + sure_spreads.total;
}

}  // namespace
SCABROSIMETER_COPY_END

namespace SCABROSIMETER_EXPORTS {

NeighbourSums rms_error_pass(const LineSource& heights) {
  const int lines = heights.lines(), columns = heights.columns();
  NeighbourSums sums;
  if (lines < 3 || columns < 3) return sums;  // no interior cell
  const HeightFacts facts = facts_of(heights.range());
  const long m = columns - 2;  // interior cells of a line
  Window window(heights, facts);
  first_sweep(window, lines, m, facts, sums);
  // Counts as doubles: exact, and beyond an int's range on a huge raster.
  const double n = static_cast<double>(lines - 2) * static_cast<double>(m);
  second_sweep(window, lines, m, facts, mean_of(sums.differences, n), sums);
  return sums;
}

}  // namespace SCABROSIMETER_EXPORTS
}  // namespace scab
