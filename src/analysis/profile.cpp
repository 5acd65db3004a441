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

#include "analysis/kernels.h"
#include "analysis/passes.h"
#include "arith/elementwise.h"
#include "arith/xreal.h"
#include "raster/buffer.h"

namespace scab {
namespace {

// The double nearest one third: the averages of three values multiply by it.
constexpr double kThird = 0x1.5555555555555p-2;

}  // namespace

ProfileResult profile_pass(const LineSource& heights, HeightSums* interior, LinesRead* progress) {
  const int lines = heights.lines(), columns = heights.columns();
  const HeightFacts facts = facts_of(heights.range());
  const double cells = static_cast<double>(lines) * columns;  // exact as a double
  ProfileResult result;
  result.line_rms.resize(static_cast<size_t>(lines));
  Buffer<double> row(static_cast<size_t>(columns));
  Buffer<double> column_total(static_cast<size_t>(columns));
  Buffer<double> next_total(static_cast<size_t>(columns));
  const double* z = row.data();
  const auto height = [z](long k) { return z[k]; };

  // First sweep: each line's sum, mean and squared deviations; the column and image sums.
  double image_total = 0;
  for (int i = 0; i < lines; i++) {
    heights.line(i, row.data());
    if (progress) progress->fetch_add(1, std::memory_order_relaxed);
    double line_total = 0;
    if (facts.signs == fast::Signs::non_negative) {
      auto line_sum = fast::sum_chain<fast::Signs::non_negative>(0.0, height);
      auto image_sum = fast::sum_chain<fast::Signs::non_negative>(image_total, height);
      fast::advance_together(columns, line_sum, image_sum);
      line_total = line_sum.total;
      image_total = image_sum.total;
    } else {
      auto line_sum = fast::sum_chain<fast::Signs::any>(0.0, height);
      auto image_sum = fast::sum_chain<fast::Signs::any>(image_total, height);
      fast::advance_together(columns, line_sum, image_sum);
      line_total = line_sum.total;
      image_total = image_sum.total;
    }
    if (interior != nullptr && i > 0 && i < lines - 1 && columns >= 3) {
      const double* x = z + 1;  // the line's interior cells
      auto x_sum = fast::sum_chain<fast::Signs::any>(interior->sum_x, [x](long k) { return x[k]; });
      auto x2_sum = fast::product_chain<fast::Signs::non_negative>(interior->sum_x2, [x](long k) {
        return fast::Product{x[k], x[k]};
      });
      fast::advance_together(columns - 2, x_sum, x2_sum);
      interior->sum_x = x_sum.total;
      interior->sum_x2 = x2_sum.total;
    }
    fast::add_each(next_total.data(), column_total.data(), z, columns);
    std::swap(column_total, next_total);
    const double line_mean = rnd(xreal(line_total) / columns);
    // The line's RMS: divisor n, the number of cells.
    const double squares = add_deviation_squares(0.0, z, columns, line_mean, facts);
    result.line_rms[static_cast<size_t>(i)] = sqrt_d(xreal(squares) / columns);
  }
  double line_rms_total = 0;
  for (const double rms : result.line_rms)
    line_rms_total = fast::add(line_rms_total, rms);
  result.rms_line = rnd(xreal(line_rms_total) / lines);

  // Second sweep: the deviations of every cell from its column's mean and the image's.
  Buffer<double>& column_mean = column_total;
  for (long j = 0; j < columns; j++)
    column_mean[j] = rnd(xreal(column_mean[j]) / lines);
  Buffer<double> column_squares(static_cast<size_t>(columns));
  const double image_mean = rnd(xreal(image_total) / cells);
  double image_squares = 0;
  for (int i = 0; i < lines; i++) {
    heights.line(i, row.data());
    if (progress) progress->fetch_add(1, std::memory_order_relaxed);
    image_squares = add_deviation_squares(image_squares, z, columns, image_mean, facts);
    if (facts.differences_exact) {
      // Each column's running sum of squared deviations, one step for each: the model's sum
      // from the exact rest of the double one (a sum of values well inside the range).
      const double *totals = column_squares.data(), *means = column_mean.data();
      double* out = next_total.data();
#pragma omp simd
      for (long j = 0; j < columns; j++) {
        const double square = kernel::deviation_square(z[j], means[j]);
        const double sum = totals[j] + square;
        out[j] = fast::model_of_pair(sum, fast::sum_error(totals[j], square, sum));
      }
    } else {
      fast::add_each_deviation_square(next_total.data(), column_squares.data(), z,
                                      column_mean.data(), columns);
    }
    std::swap(column_squares, next_total);
  }
  double column_rms_total = 0;
  for (long j = 0; j < columns; j++)
    column_rms_total = fast::add(column_rms_total, sqrt_d(xreal(column_squares[j]) / lines));
  result.rms_column = rnd(xreal(column_rms_total) / columns);

  // The image: S / n, its root the image RMS; the standard deviation divides S / n once more,
  // by n - 1: sqrt(S / (n (n - 1))).
  const double mean_square = rnd(xreal(image_squares) / cells);
  result.rms_image = sqrt_d(mean_square);
  if (cells > 1) result.standard_deviation = sqrt_d(xreal(mean_square) / (cells - 1));

  // Homogeneity: the spread of the three RMS values relative to their mean, in percent.
  const double line = result.rms_line, column = result.rms_column, image = result.rms_image;
  result.rms_total = rnd((xreal(abs_d(xreal(line) - column)) + abs_d(xreal(line) - image) +
                          abs_d(xreal(column) - image)) *
                         kThird);
  result.average_rms = rnd((xreal(line) + column + image) * kThird);
  if (result.average_rms != 0)
    result.homogeneity = rnd(xreal(result.rms_total) / result.average_rms * 100);
  return result;
}

Value homogeneity_for_report(const ProfileResult& result) {
  if (!result.homogeneity) return Value();
  return rnd(xreal(100) - *result.homogeneity);
}

void write_profile(const ProfileResult& result, FILE* console, FILE* report, FILE* table) {
  for (size_t i = 0; i < result.line_rms.size(); i++) {
    fprintf(table, "%d\t%lf\n", static_cast<int>(i + 1), result.line_rms[i]);
  }
  // The report shows the complement of the console's coefficient.
  const Value report_homogeneity = homogeneity_for_report(result);

  fputs("\n\n\tResults\n", console);
  print_values(console, "\n\tRMS line %lf ", {result.rms_line});
  print_values(report, "\n\n\tRMS Line = %lf ", {result.rms_line});
  print_values(console, "\n\tRMS column %lf ", {result.rms_column});
  print_values(report, "\n\tRMS Column = %lf ", {result.rms_column});
  print_values(console, "\n\tRMS total %lf\n\tAverage RMS %lf ",
               {result.rms_total, result.average_rms});
  print_values(console, "\n\thomogeneity coefficient %lf ", {result.homogeneity});
  print_values(console, "\n\tRMS image = %lf Standard deviation = %lf ",
               {result.rms_image, result.standard_deviation});
  print_values(report, "\n\tRMS Image = %lf ", {result.rms_image});
  print_values(report, "\n\tStandard Deviation = %lf ", {result.standard_deviation});
  print_values(report, "\n\tHomogeneity Coeff. = %lf ", {report_homogeneity});
}

}  // namespace scab
