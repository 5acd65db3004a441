// The exact engine's figures (exact/figures.h) against the oracle's cell-by-cell evaluation of
// the README's formulas (exact_oracle.h): every figure's text and nearest double, and every row
// of the table, on random, nearly flat, constant, stepped and extreme rasters of every sample
// type and unit, in every shape that changes what is defined (one line, two lines, one
// column, 3 x 3, one cell); then the ties and undefined figures the formulas promise.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "exact/driver.h"
#include "exact/figures.h"
#include "exact_oracle.h"

namespace scab::exact {
namespace {

using test::OracleFigure;
using test::TestRaster;

ExactFigures figures_of(const TestRaster& t, int threads, bool with_doubles = true) {
  const std::vector<unsigned char> bytes = t.bytes();
  const int64_t line_bytes = t.raster.columns * static_cast<int>(t.raster.type);
  const MemorySource source(bytes.data(), line_bytes, line_bytes);
  Summary summary;
  std::string error;
  EXPECT_TRUE(summarise(source, t.raster, threads, summary, error)) << error;
  ExactFigures figures;
  EXPECT_TRUE(exact_figures(summary, with_doubles, figures, error)) << error;
  return figures;
}

// Every figure of `got` against the oracle's; returns the names of those the oracle was not
// sure of.
std::vector<std::string> expect_oracle(const ExactFigures& got, const test::OracleFigures& want,
                                       const std::string& what) {
  const std::pair<const char*, std::pair<const ExactFigure*, const OracleFigure*>> pairs[] = {
      {"RMS line", {&got.rms_line, &want.rms_line}},
      {"RMS column", {&got.rms_column, &want.rms_column}},
      {"RMS image", {&got.rms_image, &want.rms_image}},
      {"standard deviation", {&got.standard_deviation, &want.standard_deviation}},
      {"RMS total", {&got.rms_total, &want.rms_total}},
      {"average RMS", {&got.average_rms, &want.average_rms}},
      {"homogeneity", {&got.homogeneity, &want.homogeneity}},
      {"report's homogeneity", {&got.homogeneity_report, &want.homogeneity_report}},
      {"slope", {&got.slope, &want.slope}},
      {"r", {&got.r, &want.r}},
      {"|r|", {&got.r_abs, &want.r_abs}},
      {"r2", {&got.r2, &want.r2}},
      {"RMS error", {&got.rms_error, &want.rms_error}},
      {"second standard deviation", {&got.rms_error_sd, &want.rms_error_sd}},
  };
  std::vector<std::string> unsure;
  const auto check = [&](const std::string& name, const ExactFigure& g, const OracleFigure& w) {
    bool sure;
    const std::string text = test::oracle_text(w, &sure);
    EXPECT_EQ(g.defined, w.defined) << what << ": " << name;
    if (!sure) {
      unsure.push_back(name);
      return;
    }
    EXPECT_EQ(g.text, text) << what << ": " << name;
    EXPECT_EQ(g.value, test::oracle_double(w)) << what << ": " << name << " " << g.text;
  };
  for (const auto& [name, pair] : pairs)
    check(name, *pair.first, *pair.second);
  EXPECT_EQ(got.line_rms.size(), want.line_rms.size()) << what;
  for (size_t i = 0; i < std::min(got.line_rms.size(), want.line_rms.size()); i++)
    check("row " + std::to_string(i + 1), got.line_rms[i], want.line_rms[i]);
  return unsure;
}

TEST(ExactFigures, AgreeWithTheCellByCellEvaluation) {
  std::mt19937_64 random(2024);
  const std::pair<int64_t, int64_t> shapes[] = {{1, 1}, {1, 17},  {2, 13}, {13, 1},
                                                {3, 3}, {2, 2},   {3, 12}, {9, 3},
                                                {7, 5}, {24, 31}, {46, 47}};
  for (const char* kind : {"random", "flat", "constant", "steps", "extreme"}) {
    for (SampleType type : {SampleType::grey8, SampleType::height16, SampleType::height32}) {
      for (const auto& [lines, columns] : shapes) {
        const int decimals = type == SampleType::grey8 ? 0 : static_cast<int>(random() % 4);
        const TestRaster t = test::make_raster(random, kind, type, decimals, lines, columns);
        const std::string what = std::string(kind) + " " + std::to_string(lines) + " x " +
                                 std::to_string(columns) + " of " +
                                 std::to_string(static_cast<int>(type)) + " bytes, 10^-" +
                                 std::to_string(decimals);
        const std::vector<std::string> unsure = expect_oracle(
            figures_of(t, 1 + static_cast<int>(random() % 3)), test::oracle_figures(t), what);
        // The oracle is unsure only of a figure on a boundary: the report's homogeneity of
        // one line or column, 0 from two equal irrational values (its own test below).
        for (const std::string& name : unsure) {
          EXPECT_TRUE(name == "report's homogeneity" && (lines == 1 || columns == 1))
              << what << ": " << name;
        }
      }
    }
  }
}

// Heights of a few centimetres' relief at a high altitude, in every unit: where the model's
// rounding goes wrong, the exact figures must not.
TEST(ExactFigures, NearlyFlatRastersInEveryUnit) {
  std::mt19937_64 random(7);
  for (int decimals = 0; decimals <= 3; decimals++) {
    for (int round = 0; round < 6; round++) {
      const int64_t lines = 30 + static_cast<int64_t>(random() % 20);
      const int64_t columns = 30 + static_cast<int64_t>(random() % 20);
      TestRaster t =
          test::make_raster(random, "flat", SampleType::height16, decimals, lines, columns);
      EXPECT_TRUE(expect_oracle(figures_of(t, 2), test::oracle_figures(t), "flat").empty());
      t.raster.type = SampleType::height32;  // the same samples, as a 32-bit DEM
      EXPECT_TRUE(expect_oracle(figures_of(t, 3), test::oracle_figures(t), "flat 32").empty());
    }
  }
}

// The constant rasters: every figure with a zero denominator is undefined; the RMS
// values are exactly 0.
TEST(ExactFigures, ConstantRastersAreUndefinedWhereADenominatorIsZero) {
  for (const auto& [lines, columns] : {std::pair<int64_t, int64_t>{7, 5}, {3, 5}}) {
    TestRaster t;
    t.raster = Raster{lines, columns, SampleType::height16, 1};
    t.samples.assign(static_cast<size_t>(lines * columns), 19839);  // 1983.9 m
    const ExactFigures f = figures_of(t, 2);
    for (const ExactFigure* undefined :
         {&f.homogeneity, &f.homogeneity_report, &f.slope, &f.r, &f.r_abs, &f.r2}) {
      EXPECT_FALSE(undefined->defined);
      EXPECT_EQ(undefined->text, "undefined");
    }
    for (const ExactFigure* zero : {&f.rms_line, &f.rms_column, &f.rms_image, &f.standard_deviation,
                                    &f.rms_total, &f.average_rms, &f.rms_error, &f.rms_error_sd}) {
      EXPECT_EQ(zero->text, "0.000000");
      EXPECT_EQ(zero->value, 0.0);
    }
  }
  // A constant interior in a raster that is not constant: the regression has no value, the
  // profile figures do.
  TestRaster t;
  t.raster = Raster{4, 4, SampleType::height16, 0};
  t.samples = {1, 2, 3, 4, 5, 9, 9, 6, 7, 9, 9, 8, 9, 10, 11, 12};
  const ExactFigures f = figures_of(t, 1);
  EXPECT_FALSE(f.slope.defined);
  EXPECT_FALSE(f.r.defined);
  EXPECT_TRUE(f.homogeneity.defined);
  EXPECT_TRUE(expect_oracle(f, test::oracle_figures(t), "constant interior").empty());
}

// One line: RMS column is 0 and RMS line equals RMS image, so the report's homogeneity is
// exactly 0, which an evaluation in rounded arithmetic may print as -0.000000. One column is
// the same with lines and columns exchanged.
TEST(ExactFigures, OneLineOrColumnHasAReportHomogeneityOfExactlyZero) {
  std::mt19937_64 random(9);
  for (int round = 0; round < 30; round++) {
    const int64_t n = 2 + static_cast<int64_t>(random() % 300);
    const bool line = round % 2 == 0;
    const TestRaster t = test::make_raster(random, "random", SampleType::height16, round % 4,
                                           line ? 1 : n, line ? n : 1);
    const ExactFigures f = figures_of(t, 1 + round % 3);
    if (f.rms_image.text == "0.000000") continue;  // a constant draw
    EXPECT_EQ(f.homogeneity_report.text, "0.000000");
    EXPECT_EQ(f.homogeneity_report.value, 0.0);
    EXPECT_EQ(f.homogeneity.text, "100.000000");
    EXPECT_EQ((line ? f.rms_line : f.rms_column).text, f.rms_image.text);
    EXPECT_EQ((line ? f.rms_line : f.rms_column).value, f.rms_image.value);
    EXPECT_EQ((line ? f.rms_column : f.rms_line).text, "0.000000");
  }
}

// Two lines: a column's RMS is |a − b| / 2, so RMS column is a rational that can end exactly on
// a 5 in the 7th decimal. 128 columns in metres: RMS column = Σ|a − b| / 256, the 7th decimal
// a tie for an even Σ|a − b| that is not a multiple of 4 (… and 1 less each side: no tie).
TEST(ExactFigures, TwoLinesPutTheColumnRmsOnATie) {
  char expected[64];
  for (int total : {2, 6, 10, 14, 1, 3, 5, 7}) {
    TestRaster t;
    t.raster = Raster{2, 128, SampleType::height16, 0};
    t.samples.assign(256, 500);
    for (int k = 0; k < total; k++)
      t.samples[static_cast<size_t>(128 + k)] += 1;  // |a − b| = 1 in `total` columns
    const ExactFigures f = figures_of(t, 2);
    const double exact = total / 256.0;  // exactly a double
    std::snprintf(expected, sizeof expected, "%f", exact);
    EXPECT_EQ(f.rms_column.text, expected) << total;
    EXPECT_EQ(f.rms_column.value, exact) << total;
  }
}

}  // namespace
}  // namespace scab::exact
