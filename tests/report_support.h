// The texts written for an analysis, split where the profile pass's lines end and the RMS error
// pass's begin, so that a test of either pass sees its own lines.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "analysis/passes.h"
#include "report/report.h"
#include "report/texts.h"

namespace scab::test {

struct Written {
  std::string console, report;                        // the profile pass's lines
  std::string console_neighbours, report_neighbours;  // the RMS error pass's
  std::string table;
};

// What the program writes for `analysis` of an image (whose report has no unit line), without
// the report's head.
inline Written written(const Analysis& analysis) {
  ReportFacts facts;
  facts.image = true;
  facts.raw_path = "r.raw";
  const FigureTexts texts = texts_of(analysis);
  const std::string head =
      "\n\tTreatment on the image r.raw\n\n\n\tDynamic scale of the 8 bits image :\n\t\tMin = 0"
      "\n\t\tMax = 0\n\n\tTreatment RMS Roughness\n\tLine, column and image Scanning";
  const std::string report = report_text(facts, texts);
  EXPECT_EQ(report.substr(0, head.size()), head);
  const std::string console = console_results_text(texts);
  const size_t console_split = console.find("\n\tslope = ");
  const size_t report_split = report.find("\n\n\tPor parte Ortalvesco");
  EXPECT_NE(console_split, std::string::npos);
  EXPECT_NE(report_split, std::string::npos);
  return {console.substr(0, console_split), report.substr(head.size(), report_split - head.size()),
          console.substr(console_split), report.substr(report_split), texts.table};
}

}  // namespace scab::test
