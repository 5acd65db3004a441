#include "report/report.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <limits>
#include <string>

#include "raster/memory.h"
#include "report/texts.h"

namespace scab {
namespace {

TEST(Report, AFigureIsPrintfsTextOrUndefined) {
  EXPECT_EQ(figure_text(-0.125), "-0.125000");
  EXPECT_EQ(figure_text(1e6), "1000000.000000");
  EXPECT_EQ(figure_text(0.0), "0.000000");
  EXPECT_EQ(figure_text(-0.0), "-0.000000");
  EXPECT_EQ(figure_text(2.5e-7), "0.000000");
  EXPECT_EQ(figure_text(Value()), "undefined");
  EXPECT_EQ(figure_text(std::numeric_limits<double>::quiet_NaN()), "undefined");
  EXPECT_EQ(figure_text(-std::numeric_limits<double>::infinity()), "undefined");
  // The largest double, whole: 309 digits and 6 decimals.
  const std::string largest = figure_text(std::numeric_limits<double>::max());
  EXPECT_EQ(largest.size(), 309u + 7u);
  EXPECT_EQ(largest.substr(0, 6), "179769");
}

TEST(Report, TheTableNumbersTheLinesFromOneAndItsRowsFitTheirBound) {
  Analysis analysis;
  analysis.profile.line_rms = {0.5, 2, 4294967296.0};
  EXPECT_EQ(texts_of(analysis).table, "1\t0.500000\n2\t2.000000\n3\t4294967296.000000\n");
  // The longest row the memory estimate counts on: the last line's number, and a line RMS of
  // the widest samples (a difference of 2^32 - 1 at most).
  char row[64];
  const int length = snprintf(row, sizeof row, "%d\t%lf\n", INT_MAX, 4294967295.999999);
  EXPECT_EQ(static_cast<uint64_t>(length), kTableRowBytes) << row;
}

ReportFacts dem_facts(int unit) {
  ReportFacts facts;
  facts.raw_path = "c:\\images\\d\\r_m2.raw";
  facts.raw_bytes_found = facts.raw_bytes_expected = 12;
  facts.minimum = -3;
  facts.maximum = 250;
  facts.unit = unit;
  return facts;
}

// The report's lines before the figures.
std::string head_of(const ReportFacts& facts) {
  const std::string report = report_text(facts, FigureTexts());
  return report.substr(0, report.find("\n\n\tRMS Line = "));
}

TEST(Report, TheHeadNamesTheFileItsShortfallItsRangeAndItsUnit) {
  const char* const units[] = {"meters", "decimeters", "centimeters", "millimeters"};
  for (int unit = 0; unit < 4; unit++) {
    EXPECT_EQ(head_of(dem_facts(unit)),
              "\n\tTreatment on the image c:\\images\\d\\r_m2.raw\n"
              "\n\tHypsometric scale of the DEM :\n\t\tMin = -3\n\t\tMax = 250"
              "\n\n\tHypsometric scale in " +
                  std::string(units[unit]) +
                  "\n\n\tTreatment RMS Roughness\n\tLine, column and image Scanning");
  }
  ReportFacts image = dem_facts(0);
  image.image = true;
  image.raw_path = "c:\\images\\i\\t.raw";
  image.raw_bytes_found = 5;
  const std::string warning =
      "\n\n\tWarning: the file c:\\images\\i\\t.raw holds 5 bytes where 12 were expected; the "
      "cells it does not reach are taken as 0.\n";
  EXPECT_EQ(short_file_line(image), warning);
  EXPECT_EQ(short_file_line(dem_facts(0)), "");
  EXPECT_EQ(head_of(image),
            "\n\tTreatment on the image c:\\images\\i\\t.raw\n" + warning +
                "\n\n\tDynamic scale of the 8 bits image :\n\t\tMin = -3\n\t\tMax = 250"
                "\n\n\tTreatment RMS Roughness\n\tLine, column and image Scanning");
}

TEST(Report, EveryFigureStandsInItsPlace) {
  FigureTexts t;
  std::string* const fields[] = {
      &t.rms_line,  &t.rms_column,  &t.rms_image,   &t.standard_deviation,
      &t.rms_total, &t.average_rms, &t.homogeneity, &t.homogeneity_report,
      &t.slope,     &t.r,           &t.r_magnitude, &t.r_squared,
      &t.rms_error, &t.rms_error_sd};
  char name = 'a';
  for (std::string* field : fields)
    *field = std::string(1, name++);
  const std::string report = report_text(dem_facts(1), t);
  EXPECT_EQ(report.substr(report.find("\n\n\tRMS Line = ")),
            "\n\n\tRMS Line = a \n\tRMS Column = b \n\tRMS Image = c \n\tStandard Deviation = d "
            "\n\tHomogeneity Coeff. = h \n\n\tPor parte Ortalvesco\n\t\tSlope = i r = j r2 = l "
            "\n\t\tRMS Error = m     Standard Deviation = n \n\n");
  EXPECT_EQ(console_results_text(t),
            "\n\n\tResults\n\n\tRMS line a \n\tRMS column b \n\tRMS total e\n\tAverage RMS f "
            "\n\thomogeneity coefficient g \n\tRMS image = c Standard deviation = d "
            "\n\tslope = i \n\n\tr = j r(sqrt) = k r2 = l "
            "\n\n\tRMS error = m standard deviation = n ");
}

TEST(Report, TheConsoleShowsTheRangeBeforeTheUnitIsAsked) {
  ReportFacts facts = dem_facts(0);
  EXPECT_EQ(console_range_text(facts),
            "\n\n\tHypsometric scale of the input DEM :\n\t\tMin = -3 \n\t\tMax = 250 \n\n");
  facts.image = true;
  EXPECT_EQ(console_range_text(facts),
            "\n\n\tDynamic scale of the 8 bits image :\n\t\tMin = -3 \n\t\tMax = 250 \n\n");
}

}  // namespace
}  // namespace scab
