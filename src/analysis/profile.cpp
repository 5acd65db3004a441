// Profile pass: RMS roughness (root mean square of the deviations from the mean) of every line,
// of every column and of the whole image, and the homogeneity of the three.
//
// Every profile is read twice, once for its mean and once for the deviations from it, and every
// sum runs one cell at a time in a fixed order: a line's cells from column 0 on, a column's from
// line 0 on, the image's line after line. That order fixes the rounding, and with it the printed
// digits. The matrix is read two times, line after line: the first sweep takes the line sums,
// the column sums (one running sum per column, advanced a line at a time) and the image sum;
// the second, once every mean is known, the deviations from them.
#include <utility>

#include "analysis/passes.h"
#include "arith/chain.h"
#include "arith/rows.h"
#include "arith/xreal.h"
#include "raster/buffer.h"

namespace scab {
namespace {

// The double nearest one third: the averages of three values multiply by it.
constexpr double kThird = 0x1.5555555555555p-2;

}  // namespace

ProfileResult profile_pass(const LineSource& dtab, HeightSums* heights) {
  const int nb_lig = dtab.lines(), nb_col = dtab.columns();
  ProfileResult result;
  result.line_rms.reserve(static_cast<size_t>(nb_lig));
  const long columns = nb_col;
  const double cells = static_cast<double>(nb_lig) * nb_col;  // exact as a double
  Buffer<double> row(static_cast<size_t>(columns));
  Buffer<double> line_squares(static_cast<size_t>(columns));
  Buffer<double> image_squares(static_cast<size_t>(columns));
  Buffer<double> column_total(static_cast<size_t>(columns));
  Buffer<double> column_square_total(static_cast<size_t>(columns));
  Buffer<double> next_total(static_cast<size_t>(columns));
  Buffer<double> line_mean(static_cast<size_t>(nb_lig));

  // First sweep: line sums, column sums, image sum; and, when asked, the sums of the heights
  // of the interior cells (lines and columns 1 to the last but one), their chains advanced
  // with the line's and the image's over the interior columns.
  double image_total = 0;
  const bool interior_sums = heights != nullptr && nb_lig >= 3 && nb_col >= 3;
  fast::Chain interior[1] = {{0.0, row.data() + 1, nullptr}};
  fast::Chain interior_squares[1] = {{0.0, row.data() + 1, row.data() + 1}};
  for (int i = 0; i < nb_lig; i++) {
    dtab.line(i, row.data());
    double line_total;
    if (interior_sums && i > 0 && i < nb_lig - 1) {
      const double* z = row.data() + 1;
      fast::Chain sums[3] = {{fast::add(0.0, row[0]), z, nullptr},
                             {fast::add(image_total, row[0]), z, nullptr},
                             interior[0]};
      fast::running_sums(sums, interior_squares, columns - 2);
      interior[0] = sums[2];
      line_total = fast::add(sums[0].total, row[columns - 1]);
      image_total = fast::add(sums[1].total, row[columns - 1]);
    } else {
      fast::Chain sums[2] = {{0.0, row.data(), nullptr}, {image_total, row.data(), nullptr}};
      fast::running_sums(sums, columns);
      line_total = sums[0].total;
      image_total = sums[1].total;
    }
    line_mean[i] = rnd(xreal(line_total) / nb_col);
    fast::add_each(next_total.data(), column_total.data(), row.data(), columns);
    std::swap(column_total, next_total);
  }
  if (heights != nullptr) *heights = HeightSums{interior[0].total, interior_squares[0].total};

  // Second sweep: the deviations of every cell from its line's mean, its column's and the
  // image's, the lines' RMS in line order.
  Buffer<double>& column_mean = column_total;
  for (long j = 0; j < columns; j++)
    column_mean[j] = rnd(xreal(column_mean[j]) / nb_lig);
  const double image_mean = rnd(xreal(image_total) / cells);
  double line_rms_total = 0;
  double image_square_total = 0;
  for (int i = 0; i < nb_lig; i++) {
    dtab.line(i, row.data());
    fast::deviation_squares(line_squares.data(), row.data(), line_mean[i], columns);
    fast::deviation_squares(image_squares.data(), row.data(), image_mean, columns);
    fast::Chain sums[2] = {{0.0, line_squares.data(), nullptr},
                           {image_square_total, image_squares.data(), nullptr}};
    fast::running_sums(sums, columns);
    image_square_total = sums[1].total;
    // The line's RMS: divisor n, the number of cells.
    const double d_square_segm = rnd(xreal(sums[0].total) / nb_col);
    const double d_raiz = sqrt_d(d_square_segm);
    result.line_rms.push_back(d_raiz);
    line_rms_total = fast::add(line_rms_total, d_raiz);
    fast::deviation_squares(line_squares.data(), row.data(), column_mean.data(), columns);
    fast::add_each(next_total.data(), column_square_total.data(), line_squares.data(), columns);
    std::swap(column_square_total, next_total);
  }
  result.rms1 = rnd(xreal(line_rms_total) / nb_lig);
  double column_rms_total = 0;
  for (long j = 0; j < columns; j++) {
    const double d_square_segm = rnd(xreal(column_square_total[j]) / nb_lig);
    column_rms_total = fast::add(column_rms_total, sqrt_d(d_square_segm));
  }
  result.rms2 = rnd(xreal(column_rms_total) / nb_col);

  // The image: S / n, its root the image RMS; the standard deviation divides S / n once more,
  // by n - 1: sqrt(S / (n (n - 1))).
  const double d_square_tot = rnd(xreal(image_square_total) / cells);
  result.rms3 = sqrt_d(d_square_tot);
  if (cells > 1) result.desv = sqrt_d(xreal(d_square_tot) / (cells - 1));

  // Homogeneity: the spread of the three RMS values relative to their mean, in percent.
  const double rms1 = result.rms1, rms2 = result.rms2, rms3 = result.rms3;
  result.rms_tot = rnd(
      (xreal(abs_d(xreal(rms1) - rms2)) + abs_d(xreal(rms1) - rms3) + abs_d(xreal(rms2) - rms3)) *
      kThird);
  result.prom_rms = rnd((xreal(rms1) + rms2 + rms3) * kThird);
  if (result.prom_rms != 0) result.coef_homo = rnd(xreal(result.rms_tot) / result.prom_rms * 100);
  return result;
}

void write_profile(const ProfileResult& result, FILE* console, FILE* report, FILE* table) {
  for (size_t i = 0; i < result.line_rms.size(); i++) {
    fprintf(table, "%d\t%lf\n", static_cast<int>(i + 1), result.line_rms[i]);
  }
  // The report shows the complement of the console's coefficient.
  Value report_coef;
  if (result.coef_homo) report_coef = rnd(xreal(100) - *result.coef_homo);

  fputs("\n\n\tResults\n", console);
  print_values(console, "\n\tRMS line %lf ", {result.rms1});
  print_values(report, "\n\n\tRMS Line = %lf ", {result.rms1});
  print_values(console, "\n\tRMS column %lf ", {result.rms2});
  print_values(report, "\n\tRMS Column = %lf ", {result.rms2});
  print_values(console, "\n\tRMS total %lf\n\tAverage RMS %lf ", {result.rms_tot, result.prom_rms});
  print_values(console, "\n\thomogeneity coefficient %lf ", {result.coef_homo});
  print_values(console, "\n\tRMS image = %lf Standard deviation = %lf ",
               {result.rms3, result.desv});
  print_values(report, "\n\tRMS Image = %lf ", {result.rms3});
  print_values(report, "\n\tStandard Deviation = %lf ", {result.desv});
  print_values(report, "\n\tHomogeneity Coeff. = %lf ", {report_coef});
}

}  // namespace scab
