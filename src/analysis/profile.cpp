// Profile pass: RMS roughness (root mean square of the deviations from the mean) of every line,
// of every column and of the whole image, and the homogeneity of the three.
//
// Every profile is read twice, once for its mean and once for the deviations from it, and every
// sum runs one cell at a time in a fixed order (lines in order, columns in order within a
// line): that order fixes the rounding, and with it the printed digits.
#include "analysis/passes.h"
#include "arith/xreal.h"

namespace scab {
namespace {

// The double nearest one third: the averages of three values multiply by it.
constexpr double kThird = 0x1.5555555555555p-2;

}  // namespace

ProfileResult profile_pass(const double* const* dtab, int nb_lig, int nb_col) {
  ProfileResult result;
  result.line_rms.reserve(static_cast<size_t>(nb_lig));

  // Line sweep: the RMS of each line about its own mean, divisor n.
  int jco = 0;
  double d_square_tot = 0;
  for (int i = 0; i < nb_lig; i++) {
    int ico = 0;
    double d_tot = 0;
    for (int j = 0; j < nb_col; j++) {
      ico++;
      d_tot = rnd(xreal(d_tot) + dtab[i][j]);
    }
    const double d_mean = rnd(xreal(d_tot) / ico);
    double d_square_segm = 0;
    for (int j = 0; j < nb_col; j++) {
      const double dif = rnd(xreal(dtab[i][j]) - d_mean);
      const double dif2 = rnd(xreal(dif) * dif);
      d_square_segm = rnd(xreal(d_square_segm) + dif2);
    }
    d_square_segm = rnd(xreal(d_square_segm) / ico);
    const double d_raiz = sqrt_d(d_square_segm);
    result.line_rms.push_back(d_raiz);
    d_square_tot = rnd(xreal(d_square_tot) + d_raiz);
    jco++;
  }
  result.rms1 = rnd(xreal(d_square_tot) / jco);

  // Column sweep: the same down every column.
  int ico = 0;
  d_square_tot = 0;
  for (int j = 0; j < nb_col; j++) {
    int cells = 0;
    double d_tot = 0;
    for (int i = 0; i < nb_lig; i++) {
      cells++;
      d_tot = rnd(xreal(d_tot) + dtab[i][j]);
    }
    const double d_mean = rnd(xreal(d_tot) / cells);
    double d_square_segm = 0;
    for (int i = 0; i < nb_lig; i++) {
      const double dif = rnd(xreal(dtab[i][j]) - d_mean);
      const double dif2 = rnd(xreal(dif) * dif);
      d_square_segm = rnd(xreal(d_square_segm) + dif2);
    }
    d_square_segm = rnd(xreal(d_square_segm) / cells);
    d_square_tot = rnd(xreal(d_square_tot) + sqrt_d(d_square_segm));
    ico++;
  }
  result.rms2 = rnd(xreal(d_square_tot) / ico);

  // Image sweep: all cells line by line about the image mean. The count can pass an int's
  // range on a huge raster; as a double it stays exact.
  double cells = 0;
  double d_tot = 0;
  for (int i = 0; i < nb_lig; i++) {
    for (int j = 0; j < nb_col; j++) {
      cells++;
      d_tot = rnd(xreal(d_tot) + dtab[i][j]);
    }
  }
  const double d_mean = rnd(xreal(d_tot) / cells);
  d_square_tot = 0;
  for (int i = 0; i < nb_lig; i++) {
    for (int j = 0; j < nb_col; j++) {
      const double dif = rnd(xreal(dtab[i][j]) - d_mean);
      const double dif2 = rnd(xreal(dif) * dif);
      d_square_tot = rnd(xreal(d_square_tot) + dif2);
    }
  }
  d_square_tot = rnd(xreal(d_square_tot) / cells);  // S / n
  result.rms3 = sqrt_d(d_square_tot);
  // The standard deviation divides S / n once more, by n - 1: sqrt(S / (n (n - 1))).
  if (cells > 1)
    result.desv = sqrt_d(xreal(d_square_tot) / (cells - 1));

  // Homogeneity: the spread of the three RMS values relative to their mean, in percent.
  const double rms1 = result.rms1, rms2 = result.rms2, rms3 = result.rms3;
  result.rms_tot = rnd(
      (xreal(abs_d(xreal(rms1) - rms2)) + abs_d(xreal(rms1) - rms3) + abs_d(xreal(rms2) - rms3)) *
      kThird);
  result.prom_rms = rnd((xreal(rms1) + rms2 + rms3) * kThird);
  if (result.prom_rms != 0)
    result.coef_homo = rnd(xreal(result.rms_tot) / result.prom_rms * 100);
  return result;
}

void write_profile(const ProfileResult& result, FILE* console, FILE* report, FILE* table) {
  for (size_t i = 0; i < result.line_rms.size(); i++) {
    fprintf(table, "%d\t%lf\n", static_cast<int>(i + 1), result.line_rms[i]);
  }
  // The report shows the complement of the console's coefficient.
  Value report_coef;
  if (result.coef_homo)
    report_coef = rnd(xreal(100) - *result.coef_homo);

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
