#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "analysis/passes.h"
#include "heights_support.h"
#include "report_support.h"

namespace scab {
namespace {

using test::Heights;

std::string six(const Value& value) {
  if (!value) return "none";
  char text[64];
  snprintf(text, sizeof text, "%lf", *value);
  return text;
}

RmsErrorResult pass(const Heights& h) {
  return run_passes(h).rms_error;
}

// The console's and the report's lines of the RMS error pass.
std::pair<std::string, std::string> write(const RmsErrorResult& result) {
  const test::Written written = test::written(Analysis{ProfileResult(), result});
  return {written.console_neighbours, written.report_neighbours};
}

TEST(RmsError, SinglePeakOnThreeLinesOfFour) {
  const RmsErrorResult r = pass(Heights({{0, 0, 0, 0}, {0, 8, 0, 0}, {0, 0, 0, 0}}));
  EXPECT_EQ(r.interior_cells, 2);
  const auto [console, report] = write(r);
  EXPECT_EQ(console,
            "\n\tslope = -0.125000 \n\n\tr = -1.000000 r(sqrt) = 1.000000 r2 = 1.000000 "
            "\n\n\tRMS error = 8.246211 standard deviation = 4.301163 ");
  EXPECT_EQ(report,
            "\n\n\tPor parte Ortalvesco\n\t\tSlope = -0.125000 r = -1.000000 r2 = 1.000000 "
            "\n\t\tRMS Error = 8.246211     Standard Deviation = 4.301163 \n\n");
}

TEST(RmsError, ExactPlaneAndConstantRaster) {
  std::vector<std::vector<double>> plane(4, std::vector<double>(5));
  for (int i = 0; i < 4; i++) {
    for (int j = 0; j < 5; j++)
      plane[i][j] = 2 * i + 3 * j + 1;
  }
  const RmsErrorResult r = pass(Heights(plane));
  EXPECT_EQ(r.interior_cells, 6);
  EXPECT_EQ(six(r.slope), "1.000000");
  EXPECT_EQ(six(r.r), "1.000000");
  EXPECT_EQ(six(r.r_magnitude), "1.000000");
  EXPECT_EQ(six(r.r_squared), "1.000000");
  EXPECT_EQ(six(r.rms_error), "0.000000");
  EXPECT_EQ(six(r.standard_deviation), "0.000000");

  // Constant: no regression (no spread in x or y), but residuals of 0.
  const RmsErrorResult flat = pass(Heights({{3, 3, 3, 3}, {3, 3, 3, 3}, {3, 3, 3, 3}}));
  EXPECT_EQ(flat.interior_cells, 2);
  EXPECT_FALSE(flat.slope);
  EXPECT_FALSE(flat.r);
  EXPECT_FALSE(flat.r_squared);
  EXPECT_EQ(six(flat.rms_error), "0.000000");
  EXPECT_EQ(six(flat.standard_deviation), "0.000000");
  EXPECT_EQ(write(flat).first,
            "\n\tslope = undefined \n\n\tr = undefined r(sqrt) = undefined r2 = undefined "
            "\n\n\tRMS error = 0.000000 standard deviation = 0.000000 ");
}

TEST(RmsError, NoInteriorCellOrOnlyOne) {
  const char* const no_result_console =
      "\n\tslope = undefined \n\n\tr = undefined r(sqrt) = undefined r2 = undefined "
      "\n\n\tRMS error = undefined standard deviation = undefined ";
  for (const Heights& h : {Heights({{1, 2, 3}, {4, 5, 6}}), Heights({{1}, {2}, {4}}),
                           Heights({{1}}), Heights({{1, 5, 2}, {4, 9, 6}, {7, 8, 0}})}) {
    const RmsErrorResult r = pass(h);
    EXPECT_EQ(r.interior_cells, h.lines() >= 3 && h.columns() >= 3 ? 1 : 0);
    const auto [console, report] = write(r);
    EXPECT_EQ(console, no_result_console);
    EXPECT_EQ(report,
              "\n\n\tPor parte Ortalvesco\n\t\tSlope = undefined r = undefined r2 = undefined "
              "\n\t\tRMS Error = undefined     Standard Deviation = undefined \n\n");
  }
}

TEST(RmsError, SingleInteriorLineAndCornerCells) {
  // 3 lines: the interior is line 1 alone. A corner is a diagonal neighbour of exactly one
  // interior cell, so it moves that cell's 8-neighbour mean and no 4-neighbour mean.
  const Heights base({{1, 2, 3, 4, 5}, {2, 4, 1, 3, 2}, {5, 1, 2, 2, 3}});
  const Heights corner({{9, 2, 3, 4, 5}, {2, 4, 1, 3, 2}, {5, 1, 2, 2, 3}});
  const RmsErrorResult a = pass(base), b = pass(corner);
  EXPECT_EQ(a.interior_cells, 3);
  EXPECT_NE(six(a.slope), six(b.slope));
  // The 4-neighbour residuals are the same; their spread is taken about the first sweep's mean
  // absolute difference, which the corner changes, so only the RMS error must stay.
  EXPECT_EQ(a.rms_error, b.rms_error);
}

TEST(RmsError, ResultMatchesAHandComputedSmallCase) {
  // Interior of a 4 x 4: cells (1,1)=6 (1,2)=1 (2,1)=2 (2,2)=7.
  const Heights h({{1, 2, 3, 4}, {5, 6, 1, 2}, {3, 2, 7, 4}, {1, 0, 2, 5}});
  const RmsErrorResult r = pass(h);
  // 8-neighbour means: (1,1): (2+1+2+5+1+3+7+3)/8 = 3; (1,2): (3+2+7+6+2+4+4+2)/8 = 3.75;
  // (2,1): (6+7+0+3+5+1+2+1)/8 = 3.125; (2,2): (1+4+2+2+6+2+5+0)/8 = 2.75.
  // x = 6 1 2 7, y = 3 3.75 3.125 2.75: slope = (4*XY - X*Y) / (4*X2 - X*X)
  const double X = 16, Y = 12.625, XY = 18 + 3.75 + 6.25 + 19.25, X2 = 90;
  const double Y2 = 9 + 14.0625 + 9.765625 + 7.5625;
  char expected[64];
  snprintf(expected, sizeof expected, "%lf", (4 * XY - X * Y) / (4 * X2 - X * X));
  EXPECT_EQ(six(r.slope), expected);
  snprintf(expected, sizeof expected, "%lf",
           (4 * XY - X * Y) / std::sqrt((4 * X2 - X * X) * (4 * Y2 - Y * Y)));
  EXPECT_EQ(six(r.r), expected);
  // Residuals against the 4-neighbour means (above, right, below, left).
  const double dif[4] = {6 - (2 + 1 + 2 + 5) / 4.0, 1 - (3 + 2 + 7 + 6) / 4.0,
                         2 - (6 + 7 + 0 + 3) / 4.0, 7 - (1 + 4 + 2 + 2) / 4.0};
  double squares = 0;
  for (double d : dif)
    squares += d * d;
  snprintf(expected, sizeof expected, "%lf", std::sqrt(squares / 3));
  EXPECT_EQ(six(r.rms_error), expected);
}

}  // namespace
}  // namespace scab
