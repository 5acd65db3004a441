#include "report/report.h"

#include <cassert>

#include "dataset/raw_layout.h"
#include "dataset/units.h"

namespace scab {
namespace {

std::string range_lines(const ReportFacts& facts) {
  return "\n\t\tMin = " + std::to_string(facts.minimum) +
         "\n\t\tMax = " + std::to_string(facts.maximum);
}

std::string report_head(const ReportFacts& facts) {
  std::string text = facts.exact ? kExactFiguresLine : "";
  text += "\n\tTreatment on the image " + facts.raw_path + "\n";
  text += short_file_line(facts);
  if (!facts.image) {
    text += "\n\tHypsometric scale of the DEM :" + range_lines(facts);
    text += std::string("\n\n\tHypsometric scale in ") + unit_report_name(facts.unit);
  } else {
    text += "\n\n\tDynamic scale of the 8 bits image :" + range_lines(facts);
  }
  return text + "\n\n\tTreatment RMS Roughness\n\tLine, column and image Scanning";
}

}  // namespace

const char kExactFiguresLine[] =
    "\n\tFigures: the exact values of their formulas, correctly rounded to the digits shown\n";

std::string report_text(const ReportFacts& facts, const FigureTexts& t) {
  std::string text = report_head(facts);
  text += "\n\n\tRMS Line = " + t.rms_line + " ";
  text += "\n\tRMS Column = " + t.rms_column + " ";
  text += "\n\tRMS Image = " + t.rms_image + " ";
  text += "\n\tStandard Deviation = " + t.standard_deviation + " ";
  text += "\n\tHomogeneity Coeff. = " + t.homogeneity_report + " ";
  text += "\n\n\tPor parte Ortalvesco";
  text += "\n\t\tSlope = " + t.slope + " r = " + t.r + " r2 = " + t.r_squared + " ";
  text += "\n\t\tRMS Error = " + t.rms_error + "     Standard Deviation = " + t.rms_error_sd;
  return text + " \n\n";
}

std::string short_file_line(const ReportFacts& facts) {
  assert(facts.raw_bytes_found <= facts.raw_bytes_expected);
  if (facts.raw_bytes_found == facts.raw_bytes_expected) return "";
  return "\n\n\tWarning: " +
         short_file_warning(facts.raw_path, facts.raw_bytes_found, facts.raw_bytes_expected) + "\n";
}

std::string console_range_text(const ReportFacts& facts) {
  const char* heading = facts.image ? "\n\n\tDynamic scale of the 8 bits image :"
                                    : "\n\n\tHypsometric scale of the input DEM :";
  return heading + ("\n\t\tMin = " + std::to_string(facts.minimum) + " ") +
         ("\n\t\tMax = " + std::to_string(facts.maximum) + " \n\n");
}

std::string console_results_text(const FigureTexts& t) {
  std::string text = "\n\n\tResults\n";
  text += "\n\tRMS line " + t.rms_line + " ";
  text += "\n\tRMS column " + t.rms_column + " ";
  text += "\n\tRMS total " + t.rms_total + "\n\tAverage RMS " + t.average_rms + " ";
  text += "\n\thomogeneity coefficient " + t.homogeneity + " ";
  text += "\n\tRMS image = " + t.rms_image + " Standard deviation = " + t.standard_deviation;
  text += " \n\tslope = " + t.slope + " ";
  text += "\n\n\tr = " + t.r + " r(sqrt) = " + t.r_magnitude + " r2 = " + t.r_squared + " ";
  text += "\n\n\tRMS error = " + t.rms_error + " standard deviation = " + t.rms_error_sd;
  return text + " ";
}

}  // namespace scab
