// The program's exact figures (--figures exact), run in-process from the dialog to the files:
// every figure and table row against the oracle's cell-by-cell evaluation of the README's
// formulas, on rasters of every shape and sample type, short files among them; the stops of a
// reading that cannot be done.
#include "run/exact_mode.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "dataset/input_file.h"
#include "exact/figures.h"
#include "exact/texts.h"
#include "exact_oracle.h"
#include "raster/memory.h"
#include "report/report.h"
#include "run/run.h"
#include "test_support.h"

namespace scab {
namespace {

using exact::SampleType;
using exact::test::TestRaster;

const char* raw_name(SampleType type) {
  return type == SampleType::grey8      ? "r.raw"
         : type == SampleType::height16 ? "r_m2.raw"
                                        : "r_m4.raw";
}

// The answers that name the dataset d/r, with its unit.
std::string answers_for(const exact::Raster& raster) {
  if (raster.type == SampleType::grey8) return "d\n1\nr\n0\n";
  const char* width = raster.type == SampleType::height16 ? "0" : "1";
  return std::string("d\n0\nr\n") + width + "\n0\n" + std::to_string(raster.decimals) + "\n";
}

// The raster's samples as a file of `size` bytes holds them: cut short, a sample keeps the
// bytes it has as its low-order bytes, and the rest are 0.
TestRaster as_held(TestRaster t, size_t size) {
  const std::vector<unsigned char> bytes = t.bytes();
  const size_t width = static_cast<size_t>(t.raster.type);
  for (size_t k = 0; k < t.samples.size(); k++) {
    uint32_t sample = 0;
    for (size_t b = 0; b < width; b++) {
      const size_t at = k * width + b;
      if (at < size) sample |= static_cast<uint32_t>(bytes[at]) << (8 * b);
    }
    t.samples[k] =
        width == 2 ? static_cast<int32_t>(sample & 0xffff) : static_cast<int32_t>(sample);
  }
  return t;
}

// The oracle's texts of every figure; where the oracle cannot be sure (a value on a rounding
// boundary, which the engine's own tests settle), the engine's.
FigureTexts oracle_texts(const TestRaster& t) {
  const exact::test::OracleFigures o = exact::test::oracle_figures(t);
  const std::vector<unsigned char> bytes = t.bytes();
  const int64_t line_bytes = t.raster.columns * static_cast<int>(t.raster.type);
  const exact::MemorySource source(bytes.data(), line_bytes, line_bytes);
  exact::Summary summary;
  exact::ExactFigures engine;
  std::string error;
  EXPECT_TRUE(exact::summarise(source, t.raster, 1, summary, error) &&
              exact::exact_figures(summary, false, engine, error));
  FigureTexts texts = exact::texts_of(engine);
  const auto take = [](std::string& text, const exact::test::OracleFigure& figure) {
    bool sure;
    const std::string oracle = exact::test::oracle_text(figure, &sure);
    if (sure) text = oracle;
  };
  take(texts.rms_line, o.rms_line);
  take(texts.rms_column, o.rms_column);
  take(texts.rms_image, o.rms_image);
  take(texts.standard_deviation, o.standard_deviation);
  take(texts.rms_total, o.rms_total);
  take(texts.average_rms, o.average_rms);
  take(texts.homogeneity, o.homogeneity);
  take(texts.homogeneity_report, o.homogeneity_report);
  take(texts.slope, o.slope);
  take(texts.r, o.r);
  take(texts.r_magnitude, o.r_abs);
  take(texts.r_squared, o.r2);
  take(texts.rms_error, o.rms_error);
  take(texts.rms_error_sd, o.rms_error_sd);
  texts.table.clear();
  for (size_t i = 0; i < o.line_rms.size(); i++) {
    std::string row = engine.line_rms[i].text;
    take(row, o.line_rms[i]);
    add_table_row(texts.table, static_cast<int>(i + 1), row);
  }
  return texts;
}

int run_exactly(Run& run) {
  run.exact_figures = true;
  return run_program(run);
}

// Runs the program in exact mode over `t`, its raw file cut to `size` bytes, and checks the
// console, the report and the table against the oracle's figures.
void expect_oracle_run(const TestRaster& t, size_t size, const std::string& what) {
  test::TempFolder images;
  const std::vector<unsigned char> bytes = t.bytes();
  images.write(std::string("d/") + raw_name(t.raster.type),
               std::string(bytes.begin(), bytes.begin() + static_cast<long>(size)));
  images.write(std::string("d/") + (t.raster.type == SampleType::grey8      ? "r.txt"
                                    : t.raster.type == SampleType::height16 ? "r_m2.txt"
                                                                            : "r_m4.txt"),
               std::to_string(t.raster.lines) + " " + std::to_string(t.raster.columns));
  const test::Outcome outcome = test::run_with_answers(images, answers_for(t.raster), run_exactly);
  ASSERT_EQ(outcome.status, 0) << what << outcome.console;

  const TestRaster held = as_held(t, size);
  const FigureTexts texts = oracle_texts(held);
  const auto extremes = std::minmax_element(held.samples.begin(), held.samples.end());
  ReportFacts facts;
  facts.raw_path = std::string("c:\\images\\d\\") + raw_name(t.raster.type);
  facts.raw_bytes_found = size;
  facts.raw_bytes_expected = bytes.size();
  facts.image = t.raster.type == SampleType::grey8;
  facts.minimum = *extremes.first;
  facts.maximum = *extremes.second;
  facts.unit = t.raster.decimals;
  facts.exact = true;
  const std::string& console = outcome.console;
  // The range before the unit question, a short file's warning, the line and the figures.
  EXPECT_NE(console.find(console_range_text(facts)), std::string::npos) << what;
  EXPECT_EQ(console.find(short_file_line(facts)) != std::string::npos, true) << what;
  const std::string results = kExactFiguresLine + console_results_text(texts) +
                              "\n\n\ttreatment finished\n\tto exit press any key ";
  ASSERT_GE(console.size(), results.size()) << what;
  EXPECT_EQ(console.substr(console.size() - results.size()), results) << what;
  EXPECT_EQ(console.find(kExactFiguresLine), console.size() - results.size()) << "once: " << what;
  EXPECT_EQ(images.read("d/r_scabrosimeter.txt"), report_text(facts, texts)) << what;
  EXPECT_EQ(images.read("d/r_scabrosimeter.xls"), texts.table) << what;
}

TEST(ExactMode, EveryFigureAndRowIsTheExactValueOnRastersOfEveryShape) {
  std::mt19937_64 random(20);
  const std::pair<int64_t, int64_t> shapes[] = {{1, 1}, {1, 9}, {2, 7}, {9, 1},
                                                {3, 3}, {2, 2}, {5, 4}, {23, 31}};
  for (const char* kind : {"random", "flat", "constant", "extreme"}) {
    for (const SampleType type : {SampleType::grey8, SampleType::height16, SampleType::height32}) {
      for (const auto& [lines, columns] : shapes) {
        const int decimals = type == SampleType::grey8 ? 0 : static_cast<int>(random() % 4);
        const TestRaster t = exact::test::make_raster(random, kind, type, decimals, lines, columns);
        const std::string what = std::string(kind) + " " + std::to_string(lines) + " x " +
                                 std::to_string(columns) + " " + raw_name(type);
        expect_oracle_run(t, t.bytes().size(), what);
      }
    }
  }
}

TEST(ExactMode, AShortFileIsReadWithZerosAndItsWarning) {
  std::mt19937_64 random(21);
  for (const SampleType type : {SampleType::grey8, SampleType::height16, SampleType::height32}) {
    const TestRaster t =
        exact::test::make_raster(random, "flat", type, type == SampleType::grey8 ? 0 : 2, 6, 7);
    const size_t width = static_cast<size_t>(type);
    // Cut in the middle of a line and of a sample; after the first line; empty.
    for (const size_t size : {width * 17 + width / 2, width * 7, size_t{0}})
      expect_oracle_run(t, size, std::string(raw_name(type)) + " cut to " + std::to_string(size));
  }
}

TEST(ExactMode, AnyNumberOfThreadsGivesTheSameFiles) {
  std::mt19937_64 random(22);
  const TestRaster t = exact::test::make_raster(random, "random", SampleType::height32, 3, 41, 19);
  const char* before = std::getenv("SCABROSIMETER_THREADS");
  const std::string kept = before ? before : "";
  for (const char* threads : {"1", "2", "3", "7", "64"}) {
    setenv("SCABROSIMETER_THREADS", threads, 1);
    expect_oracle_run(t, t.bytes().size(), std::string("threads ") + threads);
  }
  if (before) {
    setenv("SCABROSIMETER_THREADS", kept.c_str(), 1);
  } else {
    unsetenv("SCABROSIMETER_THREADS");
  }
}

const std::string kUnchanged =
    "\tAny earlier results in c:\\images\\d\\r_scabrosimeter.txt and r_scabrosimeter.xls are "
    "unchanged.\n";

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(ExactMode, ReadingsThatCannotBeDoneStopTheRun) {
  // Lines too many for the memory the run may use: the memory stop, before any reading.
  {
    test::TempFolder images;
    images.write("d/r_m2.raw", std::string(4000, '\1'));
    images.write("d/r_m2.txt", "100 20000");
    set_memory_ceiling(1 << 20);
    const test::Outcome outcome = test::run_with_answers(images, "d 0 r 0 0 k", run_exactly);
    set_memory_ceiling(0);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.console.find("\n\n\tNot enough memory for a raster of 100 lines and 20000 "
                                   "columns (about "),
              std::string::npos)
        << outcome.console;
    EXPECT_TRUE(ends_with(outcome.console, kUnchanged)) << outcome.console;
  }
  // A file whose every read fails: this process's memory from address 0.
  if (std::filesystem::exists("/proc/self/mem")) {
    test::TempFolder images;
    images.make_folder("d");
    std::filesystem::create_symlink("/proc/self/mem",
                                    std::filesystem::path(images.path()) / "d/r.raw");
    images.write("d/r.txt", "2 2");
    const test::Outcome outcome = test::run_with_answers(images, "d 1 r 0 k", run_exactly);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(
        ends_with(outcome.console, "\n\n\tThe file c:\\images\\d\\r.raw could not be read: " +
                                       std::string(std::strerror(EIO)) +
                                       ".\n\tCheck the file and the device it is on, then "
                                       "run the program again.\n" +
                                       kUnchanged))
        << outcome.console;
    EXPECT_FALSE(images.exists("d/r_scabrosimeter.txt"));
  }
}

TEST(ExactMode, AFileChangedDuringTheReadingIsNoLongerRead) {
  test::TempFolder images;
  images.write("d/r_m2.raw", std::string(2 * 6 * 5, '\2'));
  const std::string path = images.path() + "/d/r_m2.raw";
  const RawFile file(InputFile(path), 6, 5, 2);
  const RawFileLines lines(file);
  std::vector<unsigned char> bytes(2 * 6 * 5);
  std::string error;
  ASSERT_TRUE(lines.read(0, 3, bytes.data(), error)) << error;
  EXPECT_EQ(lines.lines_read(), 3);
  EXPECT_EQ(lines.failure(), RawFileLines::Failure::none);
  // Cut short: the next block stops the reading, and every one after it.
  images.write("d/r_m2.raw", std::string(2 * 6 * 2, '\2'));
  EXPECT_FALSE(lines.read(3, 3, bytes.data(), error));
  EXPECT_EQ(error, "the raw raster file changed during the analysis");
  EXPECT_EQ(lines.failure(), RawFileLines::Failure::changed);
  exact::Summary summary;
  EXPECT_FALSE(
      exact::summarise(lines, exact::Raster{6, 5, SampleType::height16, 0}, 2, summary, error));
  EXPECT_EQ(lines.failure(), RawFileLines::Failure::changed);
}

}  // namespace
}  // namespace scab
