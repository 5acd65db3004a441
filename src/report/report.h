// The report, the table and the console's result lines, written from the figures' texts
// (report/texts.h) and from what the run found of the raster before its analysis. Every
// front end writes them through these functions: the program, and the Python module's
// report_text() and table_text(), byte for byte the same.
#pragma once

#include <cstdint>
#include <string>

#include "report/texts.h"

namespace scab {

// What the report says of the raster before its figures.
struct ReportFacts {
  std::string raw_path;             // the raw raster's path, as the report shows it
  uint64_t raw_bytes_found = 0;     // the bytes the raw file held, at most the expected ones
  uint64_t raw_bytes_expected = 0;  // lines x columns x bytes a sample
  bool image = false;               // an 8-bit image, or a DEM
  int minimum = 0, maximum = 0;     // the samples' range
  int unit = 0;                     // a DEM's height unit (dataset/units.h)
  bool exact = false;               // the figures are the exact engine's (exact_figures_line)
};

// The line that says the figures are exact values, correctly rounded: at the head of the
// report, and on the console, of a run whose figures are the exact engine's.
extern const char kExactFiguresLine[];

// The whole report file.
std::string report_text(const ReportFacts& facts, const FigureTexts& texts);

// The warning line, on the console and in the report, for a raw file shorter than expected;
// "" for a file that holds every sample.
std::string short_file_line(const ReportFacts& facts);

// The samples' range, as the console shows it before the height unit is asked.
std::string console_range_text(const ReportFacts& facts);

// The console's results, once the analysis is done.
std::string console_results_text(const FigureTexts& texts);

}  // namespace scab
