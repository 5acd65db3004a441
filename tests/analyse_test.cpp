#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "analysis/passes.h"
#include "heights_support.h"
#include "test_support.h"

namespace scab {
namespace {

// What the analysis writes.
struct Written {
  std::string console, report, table;
};

// Runs the analysis over `values` (whole numbers, stored as 32-bit samples, in metres), its report
// and table begun empty in a temporary folder.
Written analyse_values(const std::vector<std::vector<int>>& values, bool terminal = false) {
  test::TempFolder folder;
  FILE* console = tmpfile();
  std::string raw;
  for (const auto& line : values) {
    for (int v : line)
      raw += test::bytes32({v});
  }
  folder.write("r_m4.raw", raw);
  {
    Run run(Console{nullptr, console, [] {}, terminal}, folder.path());
    run.progress_after = 0;  // a terminal shows the progress line at once
    run.dataset.raw_path = "c:\\images\\d\\r_m4.raw";
    run.dataset.lines = static_cast<int>(values.size());
    run.dataset.columns = static_cast<int>(values[0].size());
    run.raster.reset(new RawRaster(InputFile(folder.path() + "/r_m4.raw"), run.dataset.lines,
                                   run.dataset.columns, 4));
    const RawRaster& raster = *run.raster;
    run.reading = {raster.bytes_found(), raster.bytes_expected(), raster.minimum(),
                   raster.maximum()};
    int error = 0;
    run.results.report = PendingFile::create(folder.path() + "/report.txt", true, error);
    run.results.table = PendingFile::create(folder.path() + "/table.xls", true, error);
    analyse(run);
    EXPECT_EQ(commit_together({run.results.report.get(), run.results.table.get()}),
              (std::vector<int>{0, 0}));
  }
  Written written{test::contents(console), folder.read("report.txt"), folder.read("table.xls")};
  fclose(console);
  return written;
}

TEST(Analyse, ProfilePassThenRmsErrorPassInOrderAndTheReportWrittenWhole) {
  const Written written = analyse_values({{1, 2, 3}, {4, 5, 6}});
  EXPECT_EQ(written.table, "1\t0.816497\n2\t0.816497\n");
  EXPECT_EQ(written.console,
            "\n\n\tResults\n"
            "\n\tRMS line 0.816497 "
            "\n\tRMS column 1.500000 "
            "\n\tRMS total 0.594219\n\tAverage RMS 1.341441 "
            "\n\thomogeneity coefficient 44.297082 "
            "\n\tRMS image = 1.707825 Standard deviation = 0.763763 "
            "\n\tslope = undefined \n\n\tr = undefined r(sqrt) = undefined r2 = undefined "
            "\n\n\tRMS error = undefined standard deviation = undefined ");
  EXPECT_EQ(written.report,
            "\n\tTreatment on the image c:\\images\\d\\r_m4.raw\n"
            "\n\tHypsometric scale of the DEM :\n\t\tMin = 1\n\t\tMax = 6"
            "\n\n\tHypsometric scale in meters"
            "\n\n\tTreatment RMS Roughness\n\tLine, column and image Scanning"
            "\n\n\tRMS Line = 0.816497 "
            "\n\tRMS Column = 1.500000 "
            "\n\tRMS Image = 1.707825 \n\tStandard Deviation = 0.763763 "
            "\n\tHomogeneity Coeff. = 55.702918 "
            "\n\n\tPor parte Ortalvesco\n\t\tSlope = undefined r = undefined r2 = undefined "
            "\n\t\tRMS Error = undefined     Standard Deviation = undefined \n\n");
}

TEST(Analyse, ProgressLineOnATerminalOnlyAndErasedBeforeTheResults) {
  std::vector<std::vector<int>> values(3000, std::vector<int>(400));
  for (size_t i = 0; i < values.size(); i++) {
    for (size_t j = 0; j < values[i].size(); j++)
      values[i][j] = static_cast<int>((i * 7919 + j * 104729) % 1000);
  }
  const Written piped = analyse_values(values);
  EXPECT_EQ(piped.console.find('\r'), std::string::npos);
  const Written on_terminal = analyse_values(values, true);
  const std::string& console = on_terminal.console;
  const std::string erase = "\r                              \r";
  const size_t erased = console.find(erase);
  ASSERT_NE(erased, std::string::npos) << "the analysis takes long enough to show it";
  EXPECT_EQ(console.find("\r\tAnalysing: "), 0u);
  EXPECT_EQ(console.rfind("\r\tAnalysing: ") + 18, erased) << "redrawn in place";
  // Once erased, the transcript is the one a pipe gets; the files never see it.
  EXPECT_EQ(console.substr(erased + erase.size()), piped.console);
  EXPECT_EQ(on_terminal.report, piped.report);
  EXPECT_EQ(on_terminal.table, piped.table);
}

// The progress line counts the lines read against kReadsOfEachLine reads of each: the passes
// read every line that often, no more, and a raster without interior cells half as often.
TEST(Analyse, ThePassesReadEachLineAsOftenAsTheProgressLineCounts) {
  class CountedHeights final : public LineSource {
   public:
    explicit CountedHeights(std::vector<std::vector<double>> rows)
        : heights_(std::move(rows)), reads_(heights_.rows.size()) {}
    int lines() const override { return heights_.lines(); }
    int columns() const override { return heights_.columns(); }
    std::unique_ptr<LineReader> reader() const override {
      return std::make_unique<Counting>(heights_.rows, reads_);
    }
    HeightRange range() const override { return heights_.range(); }
    std::vector<int> reads() const { return std::vector<int>(reads_.begin(), reads_.end()); }

   private:
    class Counting final : public LineReader {
     public:
      Counting(const std::vector<std::vector<double>>& rows, std::vector<std::atomic<int>>& reads)
          : rows_(rows), reads_(reads) {}
      void line(int i, double* out) override {
        rows_.line(i, out);
        reads_[static_cast<size_t>(i)]++;
      }

     private:
      test::RowsReader rows_;
      std::vector<std::atomic<int>>& reads_;
    };

    test::Heights heights_;
    mutable std::vector<std::atomic<int>> reads_;
  };
  // Heights far apart in magnitude, so that the window checks each line against a band.
  for (const auto& [lines, columns] : {std::pair{7, 5}, {3, 3}, {2, 9}, {9, 2}, {1, 1}}) {
    std::vector<std::vector<double>> rows(lines, std::vector<double>(columns));
    for (int i = 0; i < lines; i++) {
      for (int j = 0; j < columns; j++)
        rows[i][j] = std::ldexp((1.0 + i) / 3, (i * 7 + j * 13) % 40);
    }
    const CountedHeights heights(rows);
    run_passes(heights);
    const int expected = lines >= 3 && columns >= 3 ? kReadsOfEachLine : kReadsOfEachLine / 2;
    EXPECT_EQ(heights.reads(), std::vector<int>(lines, expected)) << lines << " x " << columns;
  }
}

}  // namespace
}  // namespace scab
