#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "dataset/paths.h"
#include "name_cases.h"
#include "test_support.h"

namespace scab {
namespace {

using test::kBanner;
using test::Outcome;
using test::run_with_answers;
using test::TempFolder;

// The dialog alone, its result files then put in place; 100 when it returns normally.
int dialog_only(Run& run) {
  try {
    open_dataset(run);
    close_results(run);
    return 100;
  } catch (const RunStop& stop) {
    return stop.status;
  }
}

Outcome dialog(const TempFolder& images, const std::string& answers) {
  return run_with_answers(images, answers, dialog_only);
}

const std::string kFolder = "\n\n\tName of the File Folder located in the Directory C:\\images ? ";
const std::string kType =
    "\n\n\tType of data :\n\t\t0 ====> Digital Elevation Model [DEM]\n\t\t1 ====> 8 bits "
    "Image\n\t\t";
const std::string kDemName = "\n\n\tName of DEM File (without any extension _m2.raw or _m4.raw) ? ";
const std::string kWidth = "\n\ttype of DEM :\n\t\t0 ====> 16 bits\n\t\t1 ====> 32 bits\n\t\t";
const std::string kImageName = "\n\n\tName of 8 bits image (without any extension) ? ";
const std::string kResultHeading = "\n\n\tResulting File (Values reported in a txt File) :";
const std::string kNewName = "\n\n\tName of the File to be created (without any extension) ? ";

std::string size_report(int lines, int columns) {
  return "\n\n\tTHE FILE HAS : \n\t            " + std::to_string(lines) +
         " LINES\n\t        AND " + std::to_string(columns) + " COLUMNS\n";
}

std::string result_choice(const std::string& name) {
  return "\n\n\t\t0 -----> Use of the generic name " + name +
         " ? \n\t\t1 -----> Creation of a new File ? ";
}

TEST(Dialog, SixteenBitDemWithDescriptor) {
  TempFolder images;
  images.write("dem1/relief_m2.raw", test::bytes16({1, 2, 3, 4, 5, 6}));
  images.write("dem1/relief_m2.txt", "2\n3\n2\n0\n65500\n30\n");
  const Outcome outcome = dialog(images, "dem1\n0\nrelief\n0\n0\n");
  EXPECT_EQ(outcome.status, 100);
  EXPECT_EQ(outcome.console, kBanner + kFolder + kType + kDemName + kWidth + size_report(2, 3) +
                                 kResultHeading + result_choice("relief"));
  // Begun empty: the report is written whole once the analysis is done.
  EXPECT_EQ(images.read("dem1/relief_scabrosimeter.txt"), "");
  EXPECT_TRUE(images.exists("dem1/relief_scabrosimeter.xls"));
  EXPECT_EQ(images.read("dem1/relief_scabrosimeter.xls"), "");
}

TEST(Dialog, ImageWithNewResultName) {
  TempFolder images;
  images.write("img/photo.raw", "abcdef");
  images.write("img/photo.txt", "2 3 1 0 255 1");
  const Outcome outcome = dialog(images, "img 1 photo 1 mine\n");
  EXPECT_EQ(outcome.status, 100);
  EXPECT_EQ(outcome.console, kBanner + kFolder + kType + kImageName + size_report(2, 3) +
                                 kResultHeading + result_choice("photo") + kNewName);
  EXPECT_EQ(images.read("img/mine_scabrosimeter.txt"), "");
  EXPECT_TRUE(images.exists("img/mine_scabrosimeter.xls"));
  EXPECT_FALSE(images.exists("img/photo_scabrosimeter.txt"));
}

TEST(Dialog, CreatesMissingDescriptorWithDefaults) {
  struct Case {
    std::string answers, raw, descriptor, contents;
  };
  const Case cases[] = {
      {"d 0 r 0 ", "d/r_m2.raw", "d/r_m2.txt", "400\n500\n2\n0\n65500\n30\n"},
      {"d 0 r 1 ", "d/r_m4.raw", "d/r_m4.txt", "400\n500\n4\n0\n65500\n30\n"},
      // Any other width answer names the files _m4 but writes 1 byte per sample.
      {"d 0 r 2 ", "d/r_m4.raw", "d/r_m4.txt", "400\n500\n1\n0\n65500\n30\n"},
      {"d 1 r ", "d/r.raw", "d/r.txt", "400\n500\n1\n0\n65500\n30\n"},
  };
  for (const Case& c : cases) {
    TempFolder images;
    images.write(c.raw, "");
    const Outcome outcome = dialog(images, c.answers + "400\n500\n30\n0\n");
    EXPECT_EQ(outcome.status, 100) << c.answers;
    EXPECT_EQ(images.read(c.descriptor), c.contents) << c.answers;
    const std::string windows_descriptor = "c:\\images\\d\\" + c.descriptor.substr(2);
    EXPECT_NE(outcome.console.find("\n\n\tNo File " + windows_descriptor +
                                   " \n\t\tNumber of lines   ? \n\t\tNumber of columns ? "
                                   "\n\t\tPixel size ? " +
                                   size_report(400, 500)),
              std::string::npos)
        << outcome.console;
  }
}

TEST(Dialog, LinesAndColumnsBelowOneAreAskedAgain) {
  TempFolder images;
  images.write("d/r.raw", "");
  const Outcome outcome = dialog(images, "d 1 r 0\n-3\n2\nx 4\n3\n7\n0\n");
  EXPECT_EQ(outcome.status, 100);
  EXPECT_EQ(images.read("d/r.txt"), "2\n3\n1\n0\n65500\n7\n");
  const std::string lines = "\n\t\tNumber of lines   ? ";
  const std::string columns = "\n\t\tNumber of columns ? ";
  EXPECT_NE(outcome.console.find(lines + lines + lines + columns + columns + "\n\t\tPixel size ? "),
            std::string::npos);
}

TEST(Dialog, DescriptorReadLikeScanf) {
  struct Case {
    std::string descriptor;
    int lines, columns, pixel;
  };
  const Case cases[] = {
      {"4 5 2 0 65500 30", 4, 5, 30},                     // one line
      {"\n\n4\n\n5\n2\n\n0\n65500\n30\n\n", 4, 5, 30},    // blank lines
      {"4\r\n5\r\n2\r\n0\r\n65500\r\n30\r\n", 4, 5, 30},  // Windows line ends
      {"4\t5 2 0 65500 30 trailing text 99", 4, 5, 30},   // text after the sixth
      {"4 5 2", 4, 5, 0},                                 // short: the rest keeps 0
      {"4 5 two 0 65500 30", 4, 5, 0},                    // stops at the first non-integer
      {"", 0, 0, 0},                                      // empty
  };
  for (const Case& c : cases) {
    TempFolder images;
    images.write("d/r_m2.raw", "");
    images.write("d/r_m2.txt", c.descriptor);
    int lines = -1, columns = -1, pixel = -1;
    run_with_answers(images, "d 0 r 0 0\n", [&](scab::Run& run) {
      const int status = dialog_only(run);
      lines = run.dataset.lines;
      columns = run.dataset.columns;
      pixel = run.dataset.pixel_size;
      return status;
    });
    EXPECT_EQ(lines, c.lines) << c.descriptor;
    EXPECT_EQ(columns, c.columns) << c.descriptor;
    EXPECT_EQ(pixel, c.pixel) << c.descriptor;
  }
}

TEST(Dialog, EmptyDescriptorStopsAfterSizeReportWithNothingCreated) {
  TempFolder images;
  images.write("d/r_m2.raw", "");
  images.write("d/r_m2.txt", "");
  const Outcome outcome = dialog(images, "d 0 r 0 0\n");
  EXPECT_EQ(outcome.status, 1);
  const std::string expected_end =
      size_report(0, 0) +
      "\n\n\tThe descriptor file c:\\images\\d\\r_m2.txt gives 0 lines and 0 columns: a raster "
      "needs at least 1 of each.\n\tCorrect its first two numbers (lines, then columns), or "
      "delete it to be asked for them, then run the program again.\n";
  ASSERT_GE(outcome.console.size(), expected_end.size());
  EXPECT_EQ(outcome.console.substr(outcome.console.size() - expected_end.size()), expected_end);
  EXPECT_FALSE(images.exists("d/r_scabrosimeter.txt"));
  EXPECT_FALSE(images.exists("d/r_scabrosimeter.xls"));
}

TEST(Dialog, MenusAreAskedAgainUntilValid) {
  TempFolder images;
  images.write("d/r.raw", "");
  images.write("d/r.txt", "1 1");
  // 2, 7 and -1 are not data types; "abc" is not a number and its line is dropped.
  const Outcome outcome = dialog(images, "d\n2\n7\n-1\nabc def\n1\nr\n5\n99999999999\n0\n");
  EXPECT_EQ(outcome.status, 100);
  std::string types;
  for (int k = 0; k < 5; k++)
    types += kType;
  const std::string choices = result_choice("r") + result_choice("r") + result_choice("r");
  EXPECT_EQ(outcome.console,
            kBanner + kFolder + types + kImageName + size_report(1, 1) + kResultHeading + choices);
}

TEST(Dialog, NameIsOneWord) {
  TempFolder images;
  images.write("d/first.raw", "");
  images.write("d/first.txt", "1 1");
  // The second word is the answer to the next question, the result-file choice: not a number,
  // so that question is asked again.
  const Outcome outcome = dialog(images, "d 1 first second\n0\n");
  EXPECT_EQ(outcome.status, 100);
  EXPECT_TRUE(images.exists("d/first_scabrosimeter.txt"));
  EXPECT_NE(outcome.console.find(result_choice("first") + result_choice("first")),
            std::string::npos);
}

TEST(Dialog, NamesThatLeadOutOfTheFolderAreAskedAgain) {
  const std::string refused =
      "\n\tA folder or file name may not hold \\, / or : (nor a control character), and may not "
      "be . or .. alone; type another one.\n";
  const auto refusal = [&refused](const std::string& name) {
    return "\n\n\tThis name cannot be used: " + name + refused;
  };
  TempFolder images;
  images.write("d/r.raw", "");
  images.write("d/r.txt", "1 1");
  images.write("r.raw", "");
  images.write("r.txt", "1 1");
  // Each question refuses a name and takes the next word: the folder, the raster, the result.
  const std::string nul_name("x\0y", 3);
  const Outcome outcome =
      dialog(images, ". ..\\d d\\.. d 1 ..\\r c:r r 1 ../out " + nul_name + " out\\..\\.. new\n");
  EXPECT_EQ(outcome.status, 100);
  EXPECT_EQ(outcome.console, kBanner + kFolder + refusal(".") + kFolder + refusal("..\\d") +
                                 kFolder + refusal("d\\..") + kFolder + kType + kImageName +
                                 refusal("..\\r") + kImageName + refusal("c:r") + kImageName +
                                 size_report(1, 1) + kResultHeading + result_choice("r") +
                                 kNewName + refusal("../out") + kNewName + refusal(nul_name) +
                                 kNewName + refusal("out\\..\\..") + kNewName);
  EXPECT_TRUE(images.exists("d/new_scabrosimeter.txt"));
  EXPECT_TRUE(images.exists("d/new_scabrosimeter.xls"));
  EXPECT_FALSE(images.exists("r_scabrosimeter.txt"));
  EXPECT_FALSE(images.exists("out_scabrosimeter.txt"));
}

TEST(Dialog, FolderAndFileNamesFollowOneRule) {
  // The same table feeds the importer's test: one rule for both programs.
  for (const test::NameCase& c : test::name_cases()) {
    EXPECT_EQ(is_plain_name(c.name), c.accepted) << c.name;
    // The dialog reads a word: a name with white space in it, or none, cannot be typed whole.
    const bool one_word =
        !c.name.empty() && std::none_of(c.name.begin(), c.name.end(), [](char ch) {
          return std::isspace(static_cast<unsigned char>(ch)) != 0;
        });
    if (!one_word) continue;
    TempFolder images;
    const Outcome outcome = dialog(images, c.name + "\n");
    EXPECT_EQ(outcome.console.find("This name cannot be used") == std::string::npos, c.accepted)
        << c.name;
    EXPECT_EQ(outcome.console.find(kType) != std::string::npos, c.accepted) << c.name;
  }
}

TEST(Dialog, MissingRasterStopsWithStatusZeroAndCreatesNothing) {
  TempFolder images;
  images.make_folder("d");
  images.write("d/r_scabrosimeter.txt", "earlier results");
  const Outcome outcome = dialog(images, "d 0 r 1 k");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.console, kBanner + kFolder + kType + kDemName + kWidth +
                                 "\n\n\tNo File c:\\images\\d\\r_m4.raw\n");
  EXPECT_FALSE(images.exists("d/r_m4.txt"));
  EXPECT_EQ(images.read("d/r_scabrosimeter.txt"), "earlier results");
  EXPECT_FALSE(images.exists("d/r_scabrosimeter.xls"));
}

TEST(Dialog, EndOfInputEndsWithStatusOne) {
  const char* const answers[] = {"", "d", "d 0", "d 0 r", "d 0 r 0", "d 0 r 0 5 5", "d 0 r 0 1"};
  for (const char* text : answers) {
    TempFolder images;
    images.write("d/r_m2.raw", "");
    if (std::string(text) == "d 0 r 0 1") images.write("d/r_m2.txt", "1 1");
    const Outcome outcome = dialog(images, text);
    EXPECT_EQ(outcome.status, 1) << text;
    const std::string message =
        "\n\n\tThe input ended before the dialog was complete: nothing more can be read.\n";
    ASSERT_GE(outcome.console.size(), message.size()) << text;
    EXPECT_EQ(outcome.console.substr(outcome.console.size() - message.size()), message) << text;
    EXPECT_FALSE(images.exists("d/r_scabrosimeter.txt")) << text;
  }
}

TEST(Dialog, ResultFilesThatCannotBeCreatedStopTheRun) {
  for (const char* blocked : {"d/r_scabrosimeter.txt", "d/r_scabrosimeter.xls"}) {
    TempFolder images;
    images.write("d/r.raw", "");
    images.write("d/r.txt", "1 1");
    images.make_folder(blocked);  // a folder of that name stands in the way
    const Outcome outcome = dialog(images, "d 1 r 0 k");
    EXPECT_EQ(outcome.status, 1) << blocked;
    const std::string what = std::string(blocked).find(".xls") != std::string::npos
                                 ? "The table file c:\\images\\d\\r_scabrosimeter.xls"
                                 : "The report file c:\\images\\d\\r_scabrosimeter.txt";
    EXPECT_NE(outcome.console.find(what + " could not be created: " + std::strerror(EISDIR) +
                                   ".\n\tCheck that the folder can be written to"),
              std::string::npos)
        << outcome.console;
    // Nothing is left of the file that was begun.
    const std::string folder = std::string(blocked).substr(2);
    EXPECT_EQ(images.list("d"), (std::vector<std::string>{"r.raw", "r.txt", folder}));
  }
}

TEST(Dialog, EveryNameTheFileSystemAcceptsCanBeWritten) {
  // Temporary names do not grow with the final one: the longest names the folder takes work
  // for the descriptor and for both results, and one character more is the system's refusal.
  TempFolder images;
  images.make_folder("d");
#ifdef _WIN32
  const long longest = 255 - static_cast<long>(images.path().size()) - 20;  // MAX_PATH
#else
  const long longest = pathconf(images.path().c_str(), _PC_NAME_MAX);
#endif
  ASSERT_GT(longest, 20);
  const std::string raster(static_cast<size_t>(longest) - 4, 'r');   // + ".raw"
  const std::string result(static_cast<size_t>(longest) - 18, 's');  // + "_scabrosimeter.txt"
  images.write("d/" + raster + ".raw", "");
  Outcome outcome = dialog(images, "d 1 " + raster + " 3 3 1 1 " + result + "\n");
  EXPECT_EQ(outcome.status, 100) << outcome.console;
  EXPECT_EQ(images.read("d/" + raster + ".txt"), "3\n3\n1\n0\n65500\n1\n");
  EXPECT_EQ(images.list("d"), (std::vector<std::string>{raster + ".raw", raster + ".txt",
                                                        result + "_scabrosimeter.txt",
                                                        result + "_scabrosimeter.xls"}));
  outcome = dialog(images, "d 1 " + raster + " 1 " + result + "x\n");
#ifndef _WIN32
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.console.find(
                "\n\n\tThe report file c:\\images\\d\\" + result +
                "x_scabrosimeter.txt could not be created: " + std::strerror(ENAMETOOLONG) + "."),
            std::string::npos)
      << outcome.console;
  EXPECT_EQ(images.list("d").size(), 4u);
#else
  // Windows refuses a path beyond MAX_PATH unless long paths are enabled, and Wine never does:
  // either the name is refused and nothing is left, or both results are begun.
  EXPECT_EQ(images.list("d").size(), outcome.status == 1 ? 4u : 6u) << outcome.console;
#endif
}

TEST(Dialog, ResultNameThatWouldOverwriteADatasetIsRefused) {
  // The image foo_scabrosimeter, whose descriptor is the report of the result name foo; and a
  // DEM whose descriptor bar_m2_scabrosimeter.txt is the report of bar_m2.
  TempFolder images;
  images.write("d/foo_scabrosimeter.raw", "abcd");
  images.write("d/foo_scabrosimeter.txt", "2 2");
  images.write("d/bar_m2_scabrosimeter.raw", "ab");
  images.write("d/bar_m2_scabrosimeter.txt", "1 1");
  images.write("d/foo.raw", "abcd");
  images.write("d/foo.txt", "2 2");
  const auto refusal = [](const std::string& name, const std::string& file) {
    return "\n\n\tThe result name " + name + " cannot be used: its results would overwrite " +
           file + ", a file of a dataset.\n\tChoose another name.\n";
  };
  // The generic name, then two new names, are refused before a third is taken.
  const Outcome outcome = dialog(images, "d 1 foo 0 1 bar_m2 1 foo 1 new\n");
  EXPECT_EQ(outcome.status, 100);
  EXPECT_EQ(outcome.console, kBanner + kFolder + kType + kImageName + size_report(2, 2) +
                                 kResultHeading + result_choice("foo") +
                                 refusal("foo", "c:\\images\\d\\foo_scabrosimeter.txt") +
                                 result_choice("foo") + kNewName +
                                 refusal("bar_m2", "c:\\images\\d\\bar_m2_scabrosimeter.txt") +
                                 result_choice("foo") + kNewName +
                                 refusal("foo", "c:\\images\\d\\foo_scabrosimeter.txt") +
                                 result_choice("foo") + kNewName);
  EXPECT_EQ(images.read("d/foo_scabrosimeter.txt"), "2 2");
  EXPECT_EQ(images.read("d/bar_m2_scabrosimeter.txt"), "1 1");
  EXPECT_TRUE(images.exists("d/new_scabrosimeter.txt"));
  // A report of that name that is no descriptor (no raw raster beside it) is replaced.
  TempFolder earlier;
  earlier.write("d/r.raw", "");
  earlier.write("d/r.txt", "1 1");
  earlier.write("d/r_scabrosimeter.txt", "earlier results");
  EXPECT_EQ(dialog(earlier, "d 1 r 0\n").status, 100);
  EXPECT_EQ(earlier.read("d/r_scabrosimeter.txt"), "");
}

}  // namespace
}  // namespace scab
