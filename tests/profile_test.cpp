#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "analysis/passes.h"
#include "heights_support.h"
#include "report_support.h"

namespace scab {
namespace {

using test::Heights;

std::string six(double value) {
  char text[64];
  snprintf(text, sizeof text, "%lf", value);
  return text;
}

std::string six(const Value& value) {
  return value ? six(*value) : "none";
}

ProfileResult profile(const Heights& h) {
  return run_passes(h).profile;
}

test::Written write(const ProfileResult& result) {
  return test::written(Analysis{result, RmsErrorResult()});
}

TEST(Profile, TwoLinesOfThree) {
  const ProfileResult r = profile(Heights({{1, 2, 3}, {4, 5, 6}}));
  const test::Written w = write(r);
  EXPECT_EQ(w.table, "1\t0.816497\n2\t0.816497\n");
  EXPECT_EQ(w.console,
            "\n\n\tResults\n\n\tRMS line 0.816497 \n\tRMS column 1.500000 \n\tRMS total 0.594219"
            "\n\tAverage RMS 1.341441 \n\thomogeneity coefficient 44.297082 \n\tRMS image = "
            "1.707825 Standard deviation = 0.763763 ");
  EXPECT_EQ(w.report,
            "\n\n\tRMS Line = 0.816497 \n\tRMS Column = 1.500000 \n\tRMS Image = 1.707825 "
            "\n\tStandard Deviation = 0.763763 \n\tHomogeneity Coeff. = 55.702918 ");
}

TEST(Profile, TwoByTwo) {
  const ProfileResult r = profile(Heights({{5, 5}, {5, 6}}));
  EXPECT_EQ(six(r.line_rms[0]), "0.000000");
  EXPECT_EQ(six(r.line_rms[1]), "0.500000");
  EXPECT_EQ(six(r.rms_line), "0.250000");
  EXPECT_EQ(six(r.rms_column), "0.250000");
  EXPECT_EQ(six(r.rms_image), "0.433013");
  EXPECT_EQ(six(r.standard_deviation), "0.250000");
  EXPECT_EQ(six(r.rms_total), "0.122008");
  EXPECT_EQ(six(r.average_rms), "0.311004");
  EXPECT_EQ(six(r.homogeneity), "39.230485");
  EXPECT_NE(write(r).report.find("Homogeneity Coeff. = 60.769515 "), std::string::npos);
}

TEST(Profile, SingleLineAndSingleColumn) {
  const ProfileResult line = profile(Heights({{0, 10}}));
  EXPECT_EQ(write(line).table, "1\t5.000000\n");
  EXPECT_EQ(six(line.rms_column), "0.000000");  // every column holds one cell
  EXPECT_EQ(six(line.rms_image), "5.000000");
  EXPECT_EQ(six(line.standard_deviation), "5.000000");
  EXPECT_EQ(six(line.rms_total), "3.333333");
  EXPECT_EQ(six(line.average_rms), "3.333333");
  EXPECT_EQ(six(line.homogeneity), "100.000000");
  EXPECT_NE(write(line).report.find("Homogeneity Coeff. = 0.000000 "), std::string::npos);

  const ProfileResult column = profile(Heights({{1}, {2}, {4}}));
  EXPECT_EQ(write(column).table, "1\t0.000000\n2\t0.000000\n3\t0.000000\n");
  EXPECT_EQ(six(column.rms_column), "1.247219");
  EXPECT_EQ(six(column.rms_image), "1.247219");
  EXPECT_EQ(six(column.standard_deviation), "0.881917");
  EXPECT_EQ(six(column.homogeneity), "100.000000");
}

TEST(Profile, ReportCoefficientIsOneHundredMinusTheConsoles) {
  const Heights rasters[] = {Heights({{1, 2, 3}, {4, 5, 6}}), Heights({{3, 1, 4, 1}, {5, 9, 2, 6}}),
                             Heights({{0.1, 0.7}, {0.3, 100}})};
  for (const Heights& h : rasters) {
    const ProfileResult r = profile(h);
    ASSERT_TRUE(r.homogeneity);
    const test::Written w = write(r);
    EXPECT_NE(w.console.find("homogeneity coefficient " + six(*r.homogeneity) + " "),
              std::string::npos);
    EXPECT_NE(w.report.find("Homogeneity Coeff. = " + six(100 - *r.homogeneity) + " "),
              std::string::npos);
  }
}

TEST(Profile, UndefinedValuesAreSaidSo) {
  // One cell: no standard deviation; all heights equal: no homogeneity coefficient.
  const test::Written one = write(profile(Heights({{42}})));
  EXPECT_EQ(one.table, "1\t0.000000\n");
  EXPECT_EQ(one.console,
            "\n\n\tResults\n\n\tRMS line 0.000000 \n\tRMS column 0.000000 \n\tRMS total 0.000000"
            "\n\tAverage RMS 0.000000 \n\thomogeneity coefficient undefined \n\tRMS image = "
            "0.000000 Standard deviation = undefined ");
  EXPECT_EQ(one.report,
            "\n\n\tRMS Line = 0.000000 \n\tRMS Column = 0.000000 \n\tRMS Image = 0.000000 "
            "\n\tStandard Deviation = undefined \n\tHomogeneity Coeff. = undefined ");

  const ProfileResult flat = profile(Heights({{7, 7, 7}, {7, 7, 7}}));
  EXPECT_FALSE(flat.homogeneity);
  EXPECT_EQ(six(flat.standard_deviation), "0.000000");
}

}  // namespace
}  // namespace scab
