#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

namespace scab {
namespace {

using test::bytes16;
using test::bytes32;
using test::TempFolder;

struct Loaded {
  int status = -1;
  std::string console;
  std::string report;
  std::vector<std::vector<long long>> cells;  // the samples as loaded
};

// Runs the dialog and the loading over `raw`; the answers name the dataset d/r.
Loaded load(const std::string& answers, const std::string& raw_name, const std::string& raw,
            const std::string& descriptor) {
  TempFolder images;
  images.write("d/" + raw_name, raw);
  const std::string descriptor_name = raw_name.substr(0, raw_name.size() - 4) + ".txt";
  images.write("d/" + descriptor_name, descriptor);
  Loaded loaded;
  const test::Outcome outcome = test::run_with_answers(images, answers, [&](scab::Run& run) {
    try {
      open_dataset(run);
      load_raster(run);
    } catch (const RunStop& stop) {
      return stop.status;
    }
    EXPECT_FALSE(run.raw_file.is_open()) << "the raster holds the file";
    std::vector<double> line(static_cast<size_t>(run.dataset.columns));
    const std::unique_ptr<LineReader> reader = run.raster->reader();
    for (int i = 0; i < run.dataset.lines; i++) {
      reader->line(i, line.data());
      loaded.cells.emplace_back();
      for (double stored : line) {
        EXPECT_EQ(stored, static_cast<long long>(stored)) << "a stored sample is an integer";
        loaded.cells.back().push_back(static_cast<long long>(stored));
      }
    }
    loaded.report = test::report_head(run);
    close_results(run);
    return 0;
  });
  loaded.status = outcome.status;
  loaded.console = outcome.console;
  return loaded;
}

using Cells = std::vector<std::vector<long long>>;

TEST(Load, SamplesAreLeastSignificantByteFirst) {
  const Loaded dem16 =
      load("d 0 r 0 0", "r_m2.raw", std::string("\xff\xff\x01\x00\x00\x01", 6), "1 3");
  EXPECT_EQ(dem16.cells, (Cells{{65535, 1, 256}}));

  const Loaded dem32 =
      load("d 0 r 1 0", "r_m4.raw", std::string("\xff\xff\xff\xff\x00\x00\x01\x00", 8), "1 2");
  EXPECT_EQ(dem32.cells, (Cells{{-1, 65536}}));

  // Any sample-width answer but 0 reads 4 bytes a sample.
  const Loaded dem7 = load("d 0 r 7 0", "r_m4.raw", bytes32({-123456, 2000000000}), "2 1");
  EXPECT_EQ(dem7.cells, (Cells{{-123456}, {2000000000}}));
}

TEST(Load, ImageLinesFollowOneAnother) {
  const Loaded image = load("d 1 r 0", "r.raw", std::string("\0\1\2\3\4\5", 6), "2 3");
  EXPECT_EQ(image.cells, (Cells{{0, 1, 2}, {3, 4, 5}}));
  EXPECT_EQ(image.console.find("Warning"), std::string::npos);
}

TEST(Load, LongerFileLoadsLikeTheFileCutToSize) {
  const Loaded exact = load("d 0 r 0 0", "r_m2.raw", bytes16({10, 20, 30, 40}), "2 2");
  const Loaded longer = load("d 0 r 0 0", "r_m2.raw", bytes16({10, 20, 30, 40, 50, 60, 70}), "2 2");
  EXPECT_EQ(exact.cells, (Cells{{10, 20}, {30, 40}}));
  EXPECT_EQ(longer.cells, exact.cells);
  EXPECT_EQ(longer.console, exact.console);
  EXPECT_EQ(longer.report, exact.report);
}

TEST(Load, ShorterFileLoadsWithZerosAndAWarning) {
  // One line short, and a 32-bit sample cut after two bytes.
  const Loaded dem16 = load("d 0 r 0 0", "r_m2.raw", bytes16({1, 2, 3}), "3 3");
  EXPECT_EQ(dem16.cells, (Cells{{1, 2, 3}, {0, 0, 0}, {0, 0, 0}}));
  const std::string warning =
      "\n\n\tWarning: the file c:\\images\\d\\r_m2.raw holds 6 bytes where 18 were expected; "
      "the cells it does not reach are taken as 0.\n";
  EXPECT_NE(dem16.console.find(warning), std::string::npos) << dem16.console;
  // The report has it after its first line.
  const std::string first_line = "\n\tTreatment on the image c:\\images\\d\\r_m2.raw\n";
  EXPECT_EQ(dem16.report.substr(0, first_line.size() + warning.size()), first_line + warning);
  EXPECT_EQ(dem16.report.find(warning, first_line.size() + 1), std::string::npos);

  const Loaded dem32 = load("d 0 r 1 0", "r_m4.raw", bytes32({-2}) + "\x34\x12", "1 2");
  EXPECT_EQ(dem32.cells, (Cells{{-2, 0x1234}}));
  EXPECT_NE(dem32.console.find("holds 6 bytes where 8 were expected"), std::string::npos);

  const Loaded empty_image = load("d 1 r 0", "r.raw", "", "2 2");
  EXPECT_EQ(empty_image.cells, (Cells{{0, 0}, {0, 0}}));
  EXPECT_NE(empty_image.console.find("holds 0 bytes where 4 were expected"), std::string::npos);
}

TEST(Load, RasterTooBigForMemoryStops) {
  // 2^31 - 1 lines of 2^31 - 1 columns: far beyond any memory.
  const Loaded huge = load("d 0 r 1 0 k", "r_m4.raw", "", "2147483647 2147483647");
  EXPECT_EQ(huge.status, 1);
  EXPECT_NE(huge.console.find("\n\n\tNot enough memory for a raster of 2147483647 lines and "
                              "2147483647 columns"),
            std::string::npos)
      << huge.console;
}

}  // namespace
}  // namespace scab
