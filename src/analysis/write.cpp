// The passes' numbers written to the console, the report and the table.
#include <cassert>
#include <cstdio>
#include <string>

#include "analysis/passes.h"
#include "arith/xreal.h"

namespace scab {

void write_report_start(FILE* report, const std::string& raw_path) {
  fprintf(report, "\n\tTreatment on the image %s\n", raw_path.c_str());
}

void write_range(FILE* console, FILE* report, bool image, int minimum, int maximum) {
  if (!image) {
    fputs("\n\n\tHypsometric scale of the input DEM :", console);
    fprintf(console, "\n\t\tMin = %d ", minimum);
    fprintf(console, "\n\t\tMax = %d \n\n", maximum);
    fputs("\n\tHypsometric scale of the DEM :", report);
    fprintf(report, "\n\t\tMin = %d\n\t\tMax = %d", minimum, maximum);
  } else {
    fputs("\n\n\tDynamic scale of the 8 bits image :", console);
    fprintf(console, "\n\t\tMin = %d ", minimum);
    fprintf(console, "\n\t\tMax = %d \n\n", maximum);
    fputs("\n\n\tDynamic scale of the 8 bits image :", report);
    fprintf(report, "\n\t\tMin = %d\n\t\tMax = %d", minimum, maximum);
  }
}

void write_unit(FILE* report, int unit) {
  static const char* const kUnitLine[4] = {
      "\n\n\tHypsometric scale in meters", "\n\n\tHypsometric scale in decimeters",
      "\n\n\tHypsometric scale in centimeters", "\n\n\tHypsometric scale in millimeters"};
  assert(unit >= 0 && unit <= 3);
  fputs(kUnitLine[unit], report);
}

void write_pass_headings(FILE* report) {
  fputs("\n\n\tTreatment RMS Roughness", report);
  fputs("\n\tLine, column and image Scanning", report);
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
