// The figures of an analysis as they are printed: the texts that the console lines, the report
// and the table are written from (report/report.h). The model's figures give them through
// texts_of(); another engine fills the same struct from its own texts.
#pragma once

#include <string>

#include "analysis/passes.h"

namespace scab {

struct FigureTexts {
  // The profile pass's figures.
  std::string rms_line, rms_column, rms_image, standard_deviation;
  std::string rms_total, average_rms;
  std::string homogeneity;         // the console's coefficient
  std::string homogeneity_report;  // the report's: 100 minus the console's
  // The RMS error pass's figures.
  std::string slope, r, r_magnitude, r_squared, rms_error, rms_error_sd;
  // The table: for every line in order, its number from 1, a tab, its RMS and a newline.
  std::string table;
};

// A figure as printf's "%lf" prints it, or "undefined" when it has no value or is not a finite
// number.
std::string figure_text(const Value& value);

// Adds the table's row for line `number` (from 1), whose RMS prints as `rms`.
void add_table_row(std::string& table, int number, const std::string& rms);

// The texts of the model's figures.
FigureTexts texts_of(const Analysis& analysis);

}  // namespace scab
