#include "exact/texts.h"

namespace scab::exact {

FigureTexts texts_of(const ExactFigures& figures) {
  FigureTexts texts;
  texts.rms_line = figures.rms_line.text;
  texts.rms_column = figures.rms_column.text;
  texts.rms_image = figures.rms_image.text;
  texts.standard_deviation = figures.standard_deviation.text;
  texts.rms_total = figures.rms_total.text;
  texts.average_rms = figures.average_rms.text;
  texts.homogeneity = figures.homogeneity.text;
  texts.homogeneity_report = figures.homogeneity_report.text;
  texts.slope = figures.slope.text;
  texts.r = figures.r.text;
  texts.r_magnitude = figures.r_abs.text;
  texts.r_squared = figures.r2.text;
  texts.rms_error = figures.rms_error.text;
  texts.rms_error_sd = figures.rms_error_sd.text;
  for (size_t i = 0; i < figures.line_rms.size(); i++)
    add_table_row(texts.table, static_cast<int>(i + 1), figures.line_rms[i].text);
  return texts;
}

}  // namespace scab::exact
