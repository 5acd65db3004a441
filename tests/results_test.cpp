// The result files at the end of a run: every write checked when they are closed, and a file
// that did not receive everything named on the console with the reason.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace fs = std::filesystem;

namespace scab {
namespace {

using test::Outcome;
using test::run_with_answers;
using test::TempFolder;

const std::string kFinished = "\n\n\ttreatment finished\n\tto exit press any key ";

TEST(Results, CloseCheckedGivesTheErrorOfAWriteThatFailed) {
  FILE* file = tmpfile();
  fputs("complete", file);
  EXPECT_EQ(close_checked(file), 0);

  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  // Failing when the buffer is written at the close, and failing earlier, while writing.
  file = fopen("/dev/full", "w");
  fputs("short", file);
  EXPECT_EQ(close_checked(file), ENOSPC);
  file = fopen("/dev/full", "w");
  for (int k = 0; k < 10000; k++)
    fputs("a line of results\n", file);
  ASSERT_TRUE(ferror(file));
  EXPECT_EQ(close_checked(file), ENOSPC);
  // A write to a stream that cannot be written.
  file = fopen("/dev/full", "r");
  fputs("x", file);
  EXPECT_NE(close_checked(file), 0);
}

TEST(Results, FileOnAFullDeviceIsNamedAndTheRunEndsWithStatusOne) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const std::string report = "d/r_scabrosimeter.txt", table = "d/r_scabrosimeter.xls";
  const auto run = [&report, &table](const std::vector<std::string>& full, std::string* report_text,
                                     std::string* table_text) {
    TempFolder images;
    images.write("d/r.raw", "\x01\x05\x02\x07\x03\x09\x04\x00\x08\x06\x02\x01");
    images.write("d/r.txt", "3 4");
    for (const std::string& name : full)
      fs::create_symlink("/dev/full", fs::path(images.path()) / name);
    // The last answer is followed by two bytes: the key wait at the end takes one.
    const Outcome outcome = run_with_answers(images, "d 1 r 0XY");
    // A file on the full device reads as endless zeros: only the others are read.
    const auto read = [&](const std::string& name) {
      return fs::is_symlink(fs::path(images.path()) / name) ? std::string() : images.read(name);
    };
    *report_text = read(report);
    *table_text = read(table);
    return outcome;
  };
  std::string good_report, good_table, report_text, table_text;
  const Outcome good = run({}, &good_report, &good_table);
  ASSERT_EQ(good.status, 0);
  EXPECT_EQ(good.unread, "Y");
  ASSERT_GE(good.console.size(), kFinished.size());
  EXPECT_EQ(good.console.substr(good.console.size() - kFinished.size()), kFinished);

  const std::string full_device = std::strerror(ENOSPC);
  const std::string report_line =
      "\n\n\tThe report file c:\\images\\d\\r_scabrosimeter.txt is incomplete: " + full_device +
      ".";
  const std::string table_line =
      "\n\n\tThe table file c:\\images\\d\\r_scabrosimeter.xls is incomplete: " + full_device + ".";
  const std::string advice =
      "\n\tMake room on the device or check the folder, then run the program again.\n";
  struct Case {
    std::vector<std::string> full;
    std::string message;
  };
  const Case cases[] = {
      {{report}, report_line + advice},
      {{table}, table_line + advice},
      {{report, table}, report_line + table_line + advice},
  };
  for (const Case& c : cases) {
    const Outcome outcome = run(c.full, &report_text, &table_text);
    EXPECT_EQ(outcome.status, 1) << c.message;
    EXPECT_EQ(outcome.unread, "Y") << "one key wait";
    // The console holds every result, then the message in place of the closing words.
    const std::string body = good.console.substr(0, good.console.size() - kFinished.size());
    EXPECT_EQ(outcome.console, body + c.message);
    // The file that is not on the full device is complete.
    if (c.full.size() == 1) {
      EXPECT_EQ(c.full[0] == report ? table_text : report_text,
                c.full[0] == report ? good_table : good_report);
    }
  }
}

}  // namespace
}  // namespace scab
