// Figures whose exact value is undefined: no value in the model's figures either, and every
// other figure the model's own.
#include "analysis/undefined.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/measures.h"
#include "float_cases.h"
#include "heights_support.h"
#include "raster/sample_array.h"
#include "report/texts.h"
#include "test_support.h"

namespace scab {
namespace {

using Samples = std::vector<std::vector<int32_t>>;

// Samples held in memory as a raw raster stores them, read as heights in metres of a unit
// (factor 0.1 for decimetres, ...).
struct Stored {
  Stored(const Samples& samples, int width, double factor) {
    for (const auto& line : samples) {
      for (const int32_t s : line) {
        for (int k = 0; k < width; k++)
          bytes.push_back(static_cast<unsigned char>(static_cast<uint32_t>(s) >> (8 * k)));
      }
    }
    const int lines = static_cast<int>(samples.size());
    const int columns = static_cast<int>(samples[0].size());
    array =
        std::make_unique<SampleArray>(bytes.data(), lines, columns, width, columns * width, width);
    array->set_factor(factor);
  }
  std::vector<unsigned char> bytes;
  std::unique_ptr<SampleArray> array;
};

// The model's figures before any is left undefined.
Analysis unmended(const LineSource& heights) {
  const ProfileSums profile = profile_pass(heights);
  return {profile_figures(profile), rms_error_figures(profile.interior, rms_error_pass(heights),
                                                      heights.lines(), heights.columns())};
}

// The texts of every figure but those named, which are blanked.
FigureTexts but(FigureTexts texts, std::initializer_list<std::string FigureTexts::*> blanked) {
  for (const auto member : blanked)
    texts.*member = "";
  return texts;
}

void expect_same_texts(const FigureTexts& a, const FigureTexts& b, const std::string& what) {
  for (const auto member :
       {&FigureTexts::rms_line, &FigureTexts::rms_column, &FigureTexts::rms_image,
        &FigureTexts::standard_deviation, &FigureTexts::rms_total, &FigureTexts::average_rms,
        &FigureTexts::homogeneity, &FigureTexts::homogeneity_report, &FigureTexts::slope,
        &FigureTexts::r, &FigureTexts::r_magnitude, &FigureTexts::r_squared,
        &FigureTexts::rms_error, &FigureTexts::rms_error_sd, &FigureTexts::table})
    EXPECT_EQ(a.*member, b.*member) << what;
}

Samples constant(int lines, int columns, int32_t value) {
  return Samples(static_cast<size_t>(lines),
                 std::vector<int32_t>(static_cast<size_t>(columns), value));
}

// Counts the calls of samples() on the readers of a source.
class CountedSamples final : public LineSource {
 public:
  explicit CountedSamples(const LineSource& source) : source_(source) {}
  int lines() const override { return source_.lines(); }
  int columns() const override { return source_.columns(); }
  HeightRange range() const override { return source_.range(); }
  std::unique_ptr<LineReader> reader() const override {
    return std::make_unique<Reader>(source_.reader(), calls_);
  }
  int calls() const { return calls_; }

 private:
  class Reader final : public LineReader {
   public:
    Reader(std::unique_ptr<LineReader> reader, std::atomic<int>& calls)
        : reader_(std::move(reader)), calls_(calls) {}
    void line(int i, double* out) override { reader_->line(i, out); }
    bool samples(int i, int32_t* out) override {
      calls_++;
      return reader_->samples(i, out);
    }

   private:
    std::unique_ptr<LineReader> reader_;
    std::atomic<int>& calls_;
  };
  const LineSource& source_;
  mutable std::atomic<int> calls_{0};
};

TEST(Undefined, AConstantRasterHasNoHomogeneityNorRegression) {
  struct Case {
    int lines, columns, width;
    int32_t value;
    double factor;
  };
  const Case cases[] = {{3, 5, 2, 19839, 0.1},      {7, 5, 2, 19839, 0.1},
                        {40, 33, 2, 38477, 0.01},   {12, 9, 4, -2000000001, 0.001},
                        {5, 4, 4, 123456789, 0.01}, {6, 6, 1, 200, 1}};
  int faults_of_the_model = 0;
  for (const Case& c : cases) {
    const Stored stored(constant(c.lines, c.columns, c.value), c.width, c.factor);
    const std::string what = std::to_string(c.lines) + " x " + std::to_string(c.columns);
    const Analysis before = unmended(*stored.array), after = run_passes(*stored.array);
    faults_of_the_model += before.profile.homogeneity.has_value();
    EXPECT_FALSE(after.profile.homogeneity) << what;
    EXPECT_FALSE(after.rms_error.slope || after.rms_error.r || after.rms_error.r_magnitude ||
                 after.rms_error.r_squared)
        << what;
    const FigureTexts texts = texts_of(after);
    EXPECT_EQ(texts.homogeneity_report, "undefined") << what;
    const auto mended = {&FigureTexts::homogeneity, &FigureTexts::homogeneity_report,
                         &FigureTexts::slope,       &FigureTexts::r,
                         &FigureTexts::r_magnitude, &FigureTexts::r_squared};
    expect_same_texts(but(texts, mended), but(texts_of(before), mended), what);
  }
  // The decimetre rasters of 1983.9 m are the model's fault: a coefficient out of rounding.
  EXPECT_GE(faults_of_the_model, 2);
  // The 3 x 5 one: the model alone prints r = -2.607935, beyond -1.
  const Stored small(constant(3, 5, 19839), 2, 0.1);
  EXPECT_EQ(texts_of(unmended(*small.array)).r, "-2.607935");
  EXPECT_EQ(texts_of(run_passes(*small.array)).r, "undefined");
}

TEST(Undefined, AConstantInteriorHasNoSlopeNorCorrelation) {
  test::Random random{11};
  for (const double factor : {0.1, 0.01, 0.001}) {
    for (int round = 0; round < 10; round++) {
      const int lines = random.range(3, 30), columns = random.range(3, 30);
      const int32_t inside = random.range(0, 65535);
      Samples samples = constant(lines, columns, inside);
      for (int i = 0; i < lines; i++) {
        for (int j = 0; j < columns; j++) {
          if (i == 0 || j == 0 || i == lines - 1 || j == columns - 1)
            samples[i][j] = random.range(0, 65535);
        }
      }
      samples[0][0] = inside + (inside < 65535 ? 1 : -1);  // not a constant raster
      const Stored stored(samples, 2, factor);
      const Analysis before = unmended(*stored.array), after = run_passes(*stored.array);
      const std::string what = std::to_string(lines) + " x " + std::to_string(columns);
      if ((lines - 2) * (columns - 2) >= 2) {
        EXPECT_FALSE(after.rms_error.slope || after.rms_error.r) << what;
      }
      const auto mended = {&FigureTexts::slope, &FigureTexts::r, &FigureTexts::r_magnitude,
                           &FigureTexts::r_squared};
      expect_same_texts(but(texts_of(after), mended), but(texts_of(before), mended), what);
    }
  }
}

TEST(Undefined, EqualNeighbourSumsLeaveNoCorrelationButKeepTheSlope) {
  // A checkerboard: every cell's 8 neighbours are 4 of each colour, whichever its own.
  for (const auto& [a, b, factor] :
       {std::tuple{19839, 19840, 0.1}, {100, 300, 1.0}, {38477, 38478, 0.01}, {7, 65000, 0.001}}) {
    Samples samples = constant(9, 11, 0);
    for (int i = 0; i < 9; i++) {
      for (int j = 0; j < 11; j++)
        samples[i][j] = (i + j) % 2 == 0 ? a : b;
    }
    const Stored stored(samples, 2, factor);
    const Analysis before = unmended(*stored.array), after = run_passes(*stored.array);
    EXPECT_FALSE(after.rms_error.r || after.rms_error.r_magnitude || after.rms_error.r_squared)
        << a << " " << b;
    EXPECT_EQ(after.rms_error.slope, before.rms_error.slope) << a << " " << b;
    const auto mended = {&FigureTexts::r, &FigureTexts::r_magnitude, &FigureTexts::r_squared};
    expect_same_texts(but(texts_of(after), mended), but(texts_of(before), mended),
                      std::to_string(a));
  }
}

TEST(Undefined, NearlyConstantRastersKeepTheModelsFiguresAfterTheirScan) {
  // One sample off the rest: in the interior (its cells and their neighbour sums differ), or
  // in a checkerboard's interior (its neighbour sums differ). On 40 x 45 cells 1984 m high,
  // the model's denominators are within the bound, so the interior is scanned, and found not
  // constant.
  for (const bool checkerboard : {false, true}) {
    for (const auto& [i, j] : {std::pair{1, 1}, {20, 30}, {38, 43}}) {
      Samples samples = constant(40, 45, 19839);
      for (int k = 0; checkerboard && k < 40 * 45; k++)
        samples[k / 45][k % 45] += (k / 45 + k % 45) % 2;
      samples[i][j] += 1;
      const Stored stored(samples, 2, 0.1);
      const CountedSamples counted(*stored.array);
      const Analysis after = run_passes(counted);
      EXPECT_GT(counted.calls(), 0) << checkerboard << " " << i << " " << j;
      expect_same_texts(texts_of(after), texts_of(unmended(*stored.array)),
                        std::to_string(checkerboard) + " " + std::to_string(i));
    }
  }
}

TEST(Undefined, TheScanStopsAtTheFirstDifference) {
  Samples samples = constant(100, 100, 19839);
  samples[1][2] = 19840;  // cells differ at (1, 2), neighbour sums at (1, 1) and (1, 2)
  const Stored stored(samples, 2, 0.1);
  const CountedSamples counted(*stored.array);
  ConstantInterior found;
  ASSERT_TRUE(scan_interior(counted, true, true, found));
  EXPECT_FALSE(found.cells || found.neighbour_sums);
  EXPECT_EQ(counted.calls(), 3);
  // The whole of a constant one is read.
  const Stored flat(constant(100, 100, 19839), 2, 0.1);
  const CountedSamples all(*flat.array);
  ASSERT_TRUE(scan_interior(all, true, true, found));
  EXPECT_TRUE(found.cells && found.neighbour_sums);
  EXPECT_EQ(all.calls(), 100);
}

TEST(Undefined, OrdinaryRastersAreNotScanned) {
  test::Random random{5};
  for (int round = 0; round < 20; round++) {
    const int lines = random.range(3, 60), columns = random.range(3, 60);
    const int spread = round < 10 ? 50 : 5000;  // 5 m and 500 m of relief, in decimetres
    const int base = random.range(0, 60000);
    Samples samples = constant(lines, columns, 0);
    for (auto& line : samples) {
      for (int32_t& s : line)
        s = base + random.range(0, spread);
    }
    const Stored stored(samples, 2, 0.1);
    const CountedSamples counted(*stored.array);
    const Analysis after = run_passes(counted);
    EXPECT_EQ(counted.calls(), 0) << lines << " x " << columns;
    expect_same_texts(texts_of(after), texts_of(unmended(*stored.array)), std::to_string(round));
  }
}

// The claim of model_zero_bound(): whatever the heights, the model's denominators of an
// exactly constant interior, or of exactly equal neighbour sums, stay within the bound. The
// cases are made to be hard: heights far from 0 (the model's sums err the most against their
// small differences), in every unit, 16 and 32 bits.
TEST(Undefined, TheModelsDenominatorsStayWithinTheBoundWhenTheExactOnesAreZero) {
  test::Random random{3};
  int off_zero = 0;
  for (int round = 0; round < 60; round++) {
    const bool wide = round % 2 == 1;
    const double factor = std::pow(10.0, -(round % 4));
    const int lines = random.range(3, 90), columns = random.range(3, 90);
    // A 32-bit sample anywhere but at -2^31 (random.range() spans less than 2^31 values).
    const auto wide_sample = [&random] {
      return 2 * random.range(-1073741823, 1073741823) + (random.coin() ? 1 : 0);
    };
    const int32_t a = wide ? wide_sample() : random.range(0, 65535);
    const int32_t b = wide ? wide_sample() : random.range(0, 65535);
    const bool checkerboard = random.coin();
    Samples samples = constant(lines, columns, a);
    for (int i = 0; i < lines; i++) {
      for (int j = 0; j < columns; j++) {
        const bool border = i == 0 || j == 0 || i == lines - 1 || j == columns - 1;
        if (checkerboard && (i + j) % 2 == 1) samples[i][j] = b;
        if (!checkerboard && border) samples[i][j] = wide ? wide_sample() : random.range(0, 65535);
      }
    }
    const Stored stored(samples, wide ? 4 : 2, factor);
    const ProfileSums profile = profile_pass(*stored.array);
    const NeighbourSums neighbours = rms_error_pass(*stored.array);
    const double n = static_cast<double>(lines - 2) * (columns - 2);
    const HeightRange range = stored.array->range();
    const double bound =
        model_zero_bound(n, std::max(std::fabs(range.lowest), std::fabs(range.highest)));
    const RegressionTerms terms = regression_terms(n, profile.interior, neighbours);
    const double zero = checkerboard ? terms.variance_y : terms.variance_x;
    EXPECT_LE(std::fabs(zero), bound) << round << ": " << lines << " x " << columns;
    off_zero += zero != 0;
  }
  EXPECT_GT(off_zero, 10);  // the model leaves most of them off 0: the bound is needed
  EXPECT_TRUE(std::isinf(model_zero_bound(0x1p42, 1)));
}

TEST(Undefined, HeightsWithoutSamplesKeepTheModelsFigures) {
  // Heights that are no whole numbers, given alone: nothing to decide on.
  std::vector<std::vector<double>> rows(5, std::vector<double>(6, 1983.9));
  rows[0][0] = 1984.1;
  const test::Heights heights(rows);
  expect_same_texts(texts_of(run_passes(heights)), texts_of(unmended(heights)), "no samples");
  // The same heights as whole numbers are their own samples.
  std::vector<std::vector<double>> whole(5, std::vector<double>(6, 19839));
  whole[0][0] = 19841;
  EXPECT_FALSE(run_passes(test::Heights(whole)).rms_error.slope);
}

// The program's console and report for the constant 3 x 5 raster of 1983.9 m in decimetres.
TEST(Undefined, TheProgramPrintsUndefinedForAConstantRaster) {
  test::TempFolder images;
  std::string raw;
  for (int k = 0; k < 15; k++)
    raw += test::bytes16({19839});
  images.write("d/r_m2.raw", raw);
  images.write("d/r_m2.txt", "3 5");
  const test::Outcome outcome = test::run_with_answers(images, "d 0 r 0 0 1 k");
  EXPECT_EQ(outcome.status, 0);
  for (const char* line : {"\n\thomogeneity coefficient undefined ", "\n\tslope = undefined ",
                           "\n\tr = undefined r(sqrt) = undefined r2 = undefined ",
                           "\n\tRMS error = 0.000000 standard deviation = 0.000000 "})
    EXPECT_NE(outcome.console.find(line), std::string::npos) << line << outcome.console;
  const std::string report = images.read("d/r_scabrosimeter.txt");
  for (const char* line : {"\n\tHomogeneity Coeff. = undefined ",
                           "\n\t\tSlope = undefined r = undefined r2 = undefined "})
    EXPECT_NE(report.find(line), std::string::npos) << line << report;
}

}  // namespace
}  // namespace scab
