#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dataset/units.h"
#include "raster/raw_raster.h"
#include "test_support.h"

namespace scab {
namespace {

using test::bytes16;
using test::bytes32;
using test::TempFolder;

struct Prepared {
  int status = -1;
  std::string console;
  std::string report;
  std::vector<double> heights;  // as the passes read them, line after line
  int unit = -1;                // the answer to the unit question
};

Prepared prepare(const std::string& answers, const std::string& raw_name, const std::string& raw,
                 const std::string& descriptor) {
  TempFolder images;
  images.write("d/" + raw_name, raw);
  images.write("d/" + raw_name.substr(0, raw_name.size() - 4) + ".txt", descriptor);
  Prepared prepared;
  const test::Outcome outcome = test::run_with_answers(images, answers, [&](scab::Run& run) {
    try {
      open_dataset(run);
      load_raster(run);
      prepare_heights(run);
    } catch (const RunStop& stop) {
      return stop.status;
    }
    std::vector<double> line(static_cast<size_t>(run.dataset.columns));
    const std::unique_ptr<LineReader> reader = run.raster->reader();
    for (int i = 0; i < run.dataset.lines; i++) {
      reader->line(i, line.data());
      prepared.heights.insert(prepared.heights.end(), line.begin(), line.end());
    }
    prepared.unit = run.answers.unit;
    prepared.report = test::report_head(run);
    close_results(run);
    return 0;
  });
  prepared.status = outcome.status;
  // What follows the dialog: the size report and the result-name question end it.
  const std::string last_question = " ? \n\t\t1 -----> Creation of a new File ? ";
  prepared.console =
      outcome.console.substr(outcome.console.rfind(last_question) + last_question.size());
  return prepared;
}

const std::string kReportStart = "\n\tTreatment on the image c:\\images\\d\\";
const std::string kReportEnd = "\n\n\tTreatment RMS Roughness\n\tLine, column and image Scanning";
const std::string kUnitQuestion =
    "\n\tIs the Hypsometric Scale\n\t\t0 ====> in meters\n\t\t1 ====> in decimeters"
    "\n\t\t2 ====> in centimeters\n\t\t3 ====> or in millimeters\n\t\t";

std::string dem_range(int min, int max) {
  return "\n\n\tHypsometric scale of the input DEM :\n\t\tMin = " + std::to_string(min) +
         " \n\t\tMax = " + std::to_string(max) + " \n\n";
}

std::string dem_report_range(int min, int max) {
  return "\n\tHypsometric scale of the DEM :\n\t\tMin = " + std::to_string(min) +
         "\n\t\tMax = " + std::to_string(max);
}

TEST(Heights, DemRangeUnitAndReportTexts) {
  const Prepared p = prepare("d 0 r 0 0 1\n", "r_m2.raw", bytes16({0, 65535, 7, 7}), "2 2");
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.console, dem_range(0, 65535) + kUnitQuestion);
  EXPECT_EQ(p.report, kReportStart + "r_m2.raw\n" + dem_report_range(0, 65535) +
                          "\n\n\tHypsometric scale in decimeters" + kReportEnd);
  EXPECT_EQ(p.heights, (std::vector<double>{0.0, 6553.5, 0.7000000000000001, 0.7000000000000001}));
  EXPECT_EQ(p.unit, 1);
}

TEST(Heights, RangeIsTheTrueExtremes) {
  struct Case {
    std::string raw;
    int min, max;
  };
  const Case cases[] = {
      {bytes32({500, 500, 500, 500}), 500, 500},
      {bytes32({100000, 100000, 100000, 100000}), 100000, 100000},
      {bytes32({150000, 200000, 123456, 999999}), 123456, 999999},  // all above 100000
      {bytes32({-5, -400, -1, -30}), -400, -1},                     // all below 0
      {bytes32({-2147483647 - 1, 2147483647, 0, 0}), -2147483647 - 1, 2147483647},
  };
  for (const Case& c : cases) {
    const Prepared p = prepare("d 0 r 1 0 0\n", "r_m4.raw", c.raw, "2 2");
    EXPECT_EQ(p.console, dem_range(c.min, c.max) + kUnitQuestion);
    EXPECT_NE(p.report.find(dem_report_range(c.min, c.max)), std::string::npos);
  }
}

TEST(Heights, ImageRangeAndGreyLevelsUnchanged) {
  const Prepared dark = prepare("d 1 r 0\n", "r.raw", std::string(6, '\0'), "2 3");
  EXPECT_EQ(dark.console,
            "\n\n\tDynamic scale of the 8 bits image :\n\t\tMin = 0 \n\t\tMax = 0 \n\n");
  const Prepared p = prepare("d 1 r 0\n", "r.raw", std::string("\xc8\x00\xff", 3), "1 3");
  EXPECT_EQ(p.console,
            "\n\n\tDynamic scale of the 8 bits image :\n\t\tMin = 0 \n\t\tMax = 255 \n\n");
  EXPECT_EQ(p.report,
            kReportStart +
                "r.raw\n\n\n\tDynamic scale of the 8 bits image :\n\t\tMin = 0\n\t\tMax = "
                "255" +
                kReportEnd);
  EXPECT_EQ(p.heights, (std::vector<double>{200.0, 0.0, 255.0}));
  EXPECT_EQ(p.unit, 0);
}

TEST(Heights, UnitQuestionAskedAgainUntilZeroToThree) {
  // 4 and -1 are not units; "cm" is not a number and its line is dropped.
  const Prepared p = prepare("d 0 r 0 0\n4\n-1\ncm 3\n2\n", "r_m2.raw", bytes16({150}), "1 1");
  EXPECT_EQ(p.console,
            dem_range(150, 150) + kUnitQuestion + kUnitQuestion + kUnitQuestion + kUnitQuestion);
  EXPECT_EQ(p.report, kReportStart + "r_m2.raw\n" + dem_report_range(150, 150) +
                          "\n\n\tHypsometric scale in centimeters" + kReportEnd);
  EXPECT_EQ(p.unit, 2);
  EXPECT_EQ(p.heights, (std::vector<double>{1.5}));
}

TEST(Heights, EndOfInputAtTheUnitQuestion) {
  const Prepared p = prepare("d 0 r 0 0\n9\n", "r_m2.raw", bytes16({1}), "1 1");
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.console, dem_range(1, 1) + kUnitQuestion + kUnitQuestion +
                           "\n\n\tThe input ended before the dialog was complete: nothing more "
                           "can be read.\n\tAny earlier results in "
                           "c:\\images\\d\\r_scabrosimeter.txt and r_scabrosimeter.xls are "
                           "unchanged.\n");
}

// The heights a raster of 32-bit `samples` gives in `unit`, one line.
std::vector<double> converted(std::initializer_list<int> samples, int unit) {
  TempFolder folder;
  folder.write("r_m4.raw", bytes32(samples));
  const int columns = static_cast<int>(samples.size());
  RawRaster raster(InputFile(folder.path() + "/r_m4.raw"), 1, columns, 4);
  raster.set_factor(metres_per_unit(unit));
  std::vector<double> line(samples.size());
  raster.reader()->line(0, line.data());
  return line;
}

TEST(Heights, ConversionFormsTheProductWithA64BitSignificand) {
  // The double product would give 0x1.32f3333333333p+9 for 6139 x 0.1 and
  // 0x1.3d6c8b4395811p+4 for 19839 x 0.001.
  EXPECT_EQ(converted({3, 6139, -5}, 1),
            (std::vector<double>{0x1.3333333333334p-2, 0x1.32f3333333334p+9, -0.5}));
  EXPECT_EQ(converted({19839}, 3), (std::vector<double>{0x1.3d6c8b4395810p+4}));
  EXPECT_EQ(converted({123, -2147483647 - 1}, 0), (std::vector<double>{123.0, -2147483648.0}));
  EXPECT_EQ(converted({250}, 2), (std::vector<double>{2.5}));
  // In a run, through the unit question.
  const Prepared p = prepare("d 0 r 1 0 3\n", "r_m4.raw", bytes32({19839, -5}), "1 2");
  EXPECT_EQ(p.heights, (std::vector<double>{0x1.3d6c8b4395810p+4, -0.005}));
}

}  // namespace
}  // namespace scab
