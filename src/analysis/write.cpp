// The passes' numbers written to the console, the report and the table.
#include <cstdio>

#include "analysis/passes.h"
#include "arith/xreal.h"

namespace scab {

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
