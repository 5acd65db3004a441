// Profile pass: RMS roughness (root mean square of the deviations from the mean) of every line,
// of every column and of the whole image, and the homogeneity of the three.
//
// Every profile is read twice, once for its mean and once for the deviations from it, and every
// sum runs one cell at a time in a fixed order: a line's cells from column 0 on, a column's from
// line 0 on, the image's line after line. That order fixes the rounding, and with it the printed
// digits; the running sums keep it while taking many steps at once (arith/running_sum.h). The
// raster is read twice, line after line: the first sweep takes each line's sum and, the line's
// mean known, its deviations; the column sums (one running sum per column, advanced a line at a
// time) and the image sum. The second, once the column and image means are known, the
// deviations from them.
#include <utility>

#include "analysis/passes.h"
#include "raster/buffer.h"
// The kernel headers come after kernel_target.h (arith/isa.h says why).
// clang-format off
#include "arith/kernel_target.h"
#include "analysis/kernels.h"
#include "arith/elementwise.h"
#include "arith/xreal.h"
// clang-format on

namespace scab::SCABROSIMETER_ISA {
namespace {

// The double nearest one third: the averages of three values multiply by it.
constexpr double kThird = 0x1.5555555555555p-2;

// The line's sum from 0, and the image's running sum from `image_total`, through one loop.
template <fast::Signs kSigns>
double add_line(const double* z, long columns, double& image_total) {
  const auto height = [z](long k) { return z[k]; };
  auto line_sum = fast::sum_chain<kSigns>(0.0, height);
  auto image_sum = fast::sum_chain<kSigns>(image_total, height);
  fast::advance_together(columns, line_sum, image_sum);
  image_total = image_sum.total;
  return line_sum.total;
}

// The RMS error pass's sums of the line's interior cells (all but the first and last).
void add_interior(HeightSums& interior, const double* z, long columns) {
  const double* x = z + 1;
  auto x_sum = fast::sum_chain<fast::Signs::any>(interior.sum_x, [x](long k) { return x[k]; });
  auto x2_sum = fast::product_chain<fast::Signs::non_negative>(interior.sum_x2, [x](long k) {
    return fast::Product{x[k], x[k]};
  });
  fast::advance_together(columns - 2, x_sum, x2_sum);
  interior.sum_x = x_sum.total;
  interior.sum_x2 = x2_sum.total;
}

// out[j] = each column's running sum of squared deviations from its mean, one line on.
void add_column_squares(double* out, const double* totals, const double* z, const double* means,
                        long columns, const HeightFacts& facts) {
  if (!facts.differences_exact) {
    fast::add_each_deviation_square(out, totals, z, means, columns);
    return;
  }
  // The model's sum from the exact rest of the double one (a sum of values well inside the
  // range).
#pragma omp simd
  for (long j = 0; j < columns; j++) {
    const double square = kernel::deviation_square(z[j], means[j]);
    const double sum = totals[j] + square;
    out[j] = fast::model_of_pair(sum, fast::sum_error(totals[j], square, sum));
  }
}

// What the first sweep leaves for the second.
struct Totals {
  Buffer<double> columns;  // each column's sum
  double image = 0;
};

// First sweep: each line's sum, mean and RMS; the column and image sums; the interior sums
// when asked for.
Totals first_sweep(const LineSource& heights, const HeightFacts& facts, ProfileResult& result,
                   HeightSums* interior, LinesRead* progress) {
  const int lines = heights.lines(), columns = heights.columns();
  Buffer<double> row(static_cast<size_t>(columns));
  Buffer<double> next(static_cast<size_t>(columns));
  Totals totals{Buffer<double>(static_cast<size_t>(columns))};
  const double* z = row.data();
  for (int i = 0; i < lines; i++) {
    heights.line(i, row.data());
    if (progress) progress->fetch_add(1, std::memory_order_relaxed);
    const double line_total = facts.signs == fast::Signs::non_negative
                                  ? add_line<fast::Signs::non_negative>(z, columns, totals.image)
                                  : add_line<fast::Signs::any>(z, columns, totals.image);
    if (interior != nullptr && i > 0 && i < lines - 1 && columns >= 3)
      add_interior(*interior, z, columns);
    fast::add_each(next.data(), totals.columns.data(), z, columns);
    std::swap(totals.columns, next);
    const double line_mean = rnd(xreal(line_total) / columns);
    // The line's RMS: divisor n, the number of cells.
    const double squares = add_deviation_squares(0.0, z, columns, line_mean, facts);
    result.line_rms[static_cast<size_t>(i)] = sqrt_d(xreal(squares) / columns);
  }
  return totals;
}

// Second sweep: the squared deviations of every cell from its column's mean, summed by column,
// and from the image's mean, summed over the image; gives the column RMS average and S.
double second_sweep(const LineSource& heights, const HeightFacts& facts, Totals& totals,
                    ProfileResult& result, LinesRead* progress) {
  const int lines = heights.lines(), columns = heights.columns();
  const double cells = static_cast<double>(lines) * columns;  // exact as a double
  Buffer<double>& column_mean = totals.columns;
  for (long j = 0; j < columns; j++)
    column_mean[j] = rnd(xreal(column_mean[j]) / lines);
  const double image_mean = rnd(xreal(totals.image) / cells);
  Buffer<double> row(static_cast<size_t>(columns));
  Buffer<double> column_squares(static_cast<size_t>(columns));
  Buffer<double> next(static_cast<size_t>(columns));
  const double* z = row.data();
  double image_squares = 0;
  for (int i = 0; i < lines; i++) {
    heights.line(i, row.data());
    if (progress) progress->fetch_add(1, std::memory_order_relaxed);
    image_squares = add_deviation_squares(image_squares, z, columns, image_mean, facts);
    add_column_squares(next.data(), column_squares.data(), z, column_mean.data(), columns, facts);
    std::swap(column_squares, next);
  }
  double column_rms_total = 0;
  for (long j = 0; j < columns; j++)
    column_rms_total = fast::add(column_rms_total, sqrt_d(xreal(column_squares[j]) / lines));
  result.rms_column = rnd(xreal(column_rms_total) / columns);
  return image_squares;
}

// Homogeneity: the spread of the three RMS values relative to their mean, in percent.
void add_homogeneity(ProfileResult& result) {
  const double line = result.rms_line, column = result.rms_column, image = result.rms_image;
  result.rms_total = rnd((xreal(abs_d(xreal(line) - column)) + abs_d(xreal(line) - image) +
                          abs_d(xreal(column) - image)) *
                         kThird);
  result.average_rms = rnd((xreal(line) + column + image) * kThird);
  if (result.average_rms != 0)
    result.homogeneity = rnd(xreal(result.rms_total) / result.average_rms * 100);
}

}  // namespace

ProfileResult profile_pass(const LineSource& heights, HeightSums* interior, LinesRead* progress) {
  const int lines = heights.lines(), columns = heights.columns();
  const HeightFacts facts = facts_of(heights.range());
  ProfileResult result;
  result.line_rms.resize(static_cast<size_t>(lines));
  Totals totals = first_sweep(heights, facts, result, interior, progress);
  double line_rms_total = 0;
  for (const double rms : result.line_rms)
    line_rms_total = fast::add(line_rms_total, rms);
  result.rms_line = rnd(xreal(line_rms_total) / lines);
  const double image_squares = second_sweep(heights, facts, totals, result, progress);
  // The image: S / n, its root the image RMS; the standard deviation divides S / n once more,
  // by n - 1: sqrt(S / (n (n - 1))).
  const double cells = static_cast<double>(lines) * columns;
  const double mean_square = rnd(xreal(image_squares) / cells);
  result.rms_image = sqrt_d(mean_square);
  if (cells > 1) result.standard_deviation = sqrt_d(xreal(mean_square) / (cells - 1));
  add_homogeneity(result);
  return result;
}

}  // namespace scab::SCABROSIMETER_ISA
