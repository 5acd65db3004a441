#include "report/texts.h"

#include <cassert>
#include <cmath>
#include <cstdio>

#include "analysis/measures.h"
#include "raster/memory.h"

namespace scab {
namespace {

std::string table_of(const std::vector<double>& line_rms) {
  std::string table;
  char rms[64];
  for (size_t i = 0; i < line_rms.size(); i++) {
    // A line's RMS is always a number (below 2^32: raster/memory.h), printed as it is.
    snprintf(rms, sizeof rms, "%lf", line_rms[i]);
    add_table_row(table, static_cast<int>(i + 1), rms);
  }
  return table;
}

}  // namespace

std::string figure_text(const Value& value) {
  if (!value || !std::isfinite(*value)) return "undefined";
  char text[400];  // "%lf" of the largest double: 309 digits, a point and 6 decimals
  snprintf(text, sizeof text, "%lf", *value);
  return text;
}

void add_table_row(std::string& table, int number, const std::string& rms) {
  assert(number >= 1);
  const size_t before = table.size();
  table += std::to_string(number) + "\t" + rms + "\n";
  assert(table.size() - before <= kTableRowBytes);
  (void)before;
}

FigureTexts texts_of(const Analysis& analysis) {
  const ProfileResult& profile = analysis.profile;
  const RmsErrorResult& neighbours = analysis.rms_error;
  FigureTexts texts;
  texts.rms_line = figure_text(profile.rms_line);
  texts.rms_column = figure_text(profile.rms_column);
  texts.rms_image = figure_text(profile.rms_image);
  texts.standard_deviation = figure_text(profile.standard_deviation);
  texts.rms_total = figure_text(profile.rms_total);
  texts.average_rms = figure_text(profile.average_rms);
  texts.homogeneity = figure_text(profile.homogeneity);
  texts.homogeneity_report = figure_text(homogeneity_for_report(profile));
  texts.slope = figure_text(neighbours.slope);
  texts.r = figure_text(neighbours.r);
  texts.r_magnitude = figure_text(neighbours.r_magnitude);
  texts.r_squared = figure_text(neighbours.r_squared);
  texts.rms_error = figure_text(neighbours.rms_error);
  texts.rms_error_sd = figure_text(neighbours.standard_deviation);
  texts.table = table_of(profile.line_rms);
  return texts;
}

}  // namespace scab
