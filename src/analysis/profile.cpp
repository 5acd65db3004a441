// Profile pass: the sums of squared deviations from the mean along every line, every column and
// over the whole image, which give the RMS roughness of each (analysis/measures.h).
//
// Each field of ProfileSums is the model's sum of analysis/measures.cpp, taken a faster way:
//   line_squares[i]    squares_about_mean(line i): first sweep, the line's sum (add_line), its
//                      mean (mean_of), its squares (add_deviation_squares, analysis/kernels.h)
//   column_squares[j]  squares_about_mean(column j): the column sums a line at a time in the
//                      first sweep (fast::add_each), the squares in the second
//                      (add_column_squares)
//   image_squares      squares_about_mean(every cell): the image sum in the first sweep beside
//                      each line's (add_line), the squares in the second
//   interior           model_profile_sums' sums of x and x x over the interior cells: first
//                      sweep (add_interior)
//
// Every profile is read twice, once for its mean and once for the deviations from it, and every
// sum runs one cell at a time in a fixed order: a line's cells from column 0 on, a column's from
// line 0 on, the image's line after line. That order fixes the rounding, and with it the printed
// digits; the running sums keep it while taking many steps at once (arith/running_sum.h). The
// raster is read twice, line after line: the first sweep takes each line's sum and, the line's
// mean known, its deviations; the column sums (one running sum per column, advanced a line at a
// time) and the image sum. The second, once the column and image means are known, the
// deviations from them.
//
// A kernel source: compiled once for each instruction set (arith/isa.h).
#include <utility>

#include "analysis/measures.h"
#include "analysis/passes.h"
#include "raster/buffer.h"
// The kernel headers come after kernel_target.h (arith/isa.h says why).
// clang-format off
#include "arith/kernel_target.h"
#include "analysis/kernels.h"
#include "arith/elementwise.h"
#include "arith/fast.h"
#include "arith/running_sum.h"
// clang-format on

namespace scab {
SCABROSIMETER_COPY_BEGIN
namespace {

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

// The sums of the line's interior cells (all but the first and last).
void add_interior(HeightSums& interior, const double* z, long columns) {
  const double* x = z + 1;
  auto x_sum = fast::sum_chain<fast::Signs::any>(interior.x, [x](long k) { return x[k]; });
  auto x2_sum = fast::product_chain<fast::Signs::non_negative>(interior.x2, [x](long k) {
    return fast::Product{x[k], x[k]};
  });
  fast::advance_together(columns - 2, x_sum, x2_sum);
  interior = {x_sum.total, x2_sum.total};
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
    const double square = fast::deviation_square_candidate<true>(z[j], means[j]).value;
    const double sum = totals[j] + square;
    out[j] = fast::model_of_pair(sum, fast::sum_error(totals[j], square, sum));
  }
}

// What the first sweep leaves for the second.
struct Totals {
  Buffer<double> columns;  // each column's sum
  double image = 0;
};

// First sweep: each line's sum, mean and squares; the column and image sums; the interior sums.
Totals first_sweep(const LineSource& heights, LineReader& reader, const HeightFacts& facts,
                   ProfileSums& sums) {
  const int lines = heights.lines(), columns = heights.columns();
  Buffer<double> row(static_cast<size_t>(columns));
  Buffer<double> next(static_cast<size_t>(columns));
  Totals totals{Buffer<double>(static_cast<size_t>(columns))};
  const double* z = row.data();
  for (int i = 0; i < lines; i++) {
    reader.line(i, row.data());
    const double line_total = facts.signs == fast::Signs::non_negative
                                  ? add_line<fast::Signs::non_negative>(z, columns, totals.image)
                                  : add_line<fast::Signs::any>(z, columns, totals.image);
    if (i > 0 && i < lines - 1 && columns >= 3) add_interior(sums.interior, z, columns);
    fast::add_each(next.data(), totals.columns.data(), z, columns);
    std::swap(totals.columns, next);
    const double line_mean = mean_of(line_total, columns);
    sums.line_squares[static_cast<size_t>(i)] =
        add_deviation_squares(0.0, z, columns, line_mean, facts);
  }
  return totals;
}

// Second sweep: the squared deviations of every cell from its column's mean, summed by column,
// and from the image's mean, summed over the image.
void second_sweep(const LineSource& heights, LineReader& reader, const HeightFacts& facts,
                  Totals& totals, ProfileSums& sums) {
  const int lines = heights.lines(), columns = heights.columns();
  Buffer<double>& column_mean = totals.columns;
  for (long j = 0; j < columns; j++)
    column_mean[j] = mean_of(column_mean[j], lines);
  const double image_mean = mean_of(totals.image, static_cast<double>(lines) * columns);
  Buffer<double> row(static_cast<size_t>(columns));
  Buffer<double> column_squares(static_cast<size_t>(columns));
  Buffer<double> next(static_cast<size_t>(columns));
  const double* z = row.data();
  for (int i = 0; i < lines; i++) {
    reader.line(i, row.data());
    sums.image_squares = add_deviation_squares(sums.image_squares, z, columns, image_mean, facts);
    add_column_squares(next.data(), column_squares.data(), z, column_mean.data(), columns, facts);
    std::swap(column_squares, next);
  }
  sums.column_squares.assign(column_squares.data(), column_squares.data() + columns);
}

}  // namespace
SCABROSIMETER_COPY_END

namespace SCABROSIMETER_EXPORTS {

ProfileSums profile_pass(const LineSource& heights) {
  const HeightFacts facts = facts_of(heights.range());
  ProfileSums sums;
  sums.line_squares.resize(static_cast<size_t>(heights.lines()));
  const std::unique_ptr<LineReader> reader = heights.reader();
  Totals totals = first_sweep(heights, *reader, facts, sums);
  second_sweep(heights, *reader, facts, totals, sums);
  return sums;
}

}  // namespace SCABROSIMETER_EXPORTS
}  // namespace scab
