// The built program, run as an operator would run it from a file of answers, in a working
// folder that holds the bundled examples under images/.
//
// Not on Windows: there the program reads and writes the real c:\images\ and takes no other
// root, so these runs would need that folder to themselves. .ci/windows runs the same answers
// against the same golden files with the examples laid out in c:\images\ of a scratch Wine
// prefix.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "test_support.h"

namespace fs = std::filesystem;

namespace scab {
namespace {

std::string read_file(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

const fs::path kSource = SCABROSIMETER_SOURCE_DIR;

// What runs the program when it is built for another machine (an emulator such as
// qemu-aarch64, followed by a space); empty for a native build.
#ifndef SCABROSIMETER_EXE_LAUNCHER
#define SCABROSIMETER_EXE_LAUNCHER ""
#endif

#ifdef _WIN32
#define SKIP_ON_WINDOWS() GTEST_SKIP() << "the program uses the real c:\\images\\ on Windows"
#else
#define SKIP_ON_WINDOWS() static_cast<void>(0)
#endif

struct ProgramRun {
  int status = -1;
  std::string console;
};

// Runs the executable in `work` with `answers` on its standard input.
ProgramRun run_program_in(const fs::path& work, const std::string& answers) {
  std::ofstream(work / "answers.txt", std::ios::binary) << answers;
  const std::string command = "cd \"" + work.string() +
                              "\" && " SCABROSIMETER_EXE_LAUNCHER "\"" SCABROSIMETER_EXE
                              "\" < answers.txt > console.txt";
  const int raw_status = std::system(command.c_str());
  ProgramRun result;
#ifdef _WIN32
  result.status = raw_status;
#else
  result.status = WIFEXITED(raw_status) ? WEXITSTATUS(raw_status) : -1;
#endif
  result.console = read_file(work / "console.txt");
  return result;
}

// A working folder with a copy of the bundled examples in images/.
struct WorkFolder {
  test::TempFolder folder;
  WorkFolder() {
    fs::copy(kSource / "examples" / "images", fs::path(folder.path()) / "images",
             fs::copy_options::recursive);
  }
  fs::path path() const { return folder.path(); }
};

TEST(EndToEnd, ExampleDemMatchesTheGoldenFiles) {
  SKIP_ON_WINDOWS();
  WorkFolder work;
  const ProgramRun run = run_program_in(work.path(), "dem1\n0\nrelief\n0\n0\n1\n");
  EXPECT_EQ(run.status, 0);
  const fs::path golden = kSource / "tests" / "golden";
  EXPECT_EQ(run.console, read_file(golden / "dem1_console.txt"));
  EXPECT_EQ(read_file(work.path() / "images/dem1/relief_scabrosimeter.txt"),
            read_file(golden / "relief_scabrosimeter.txt"));
  EXPECT_EQ(read_file(work.path() / "images/dem1/relief_scabrosimeter.xls"),
            read_file(golden / "relief_scabrosimeter.xls"));
}

TEST(EndToEnd, ExampleImageMatchesTheGoldenFiles) {
  SKIP_ON_WINDOWS();
  WorkFolder work;
  const ProgramRun run = run_program_in(work.path(), "img1\n1\ntexture\n1\ngrain\n");
  EXPECT_EQ(run.status, 0);
  const fs::path golden = kSource / "tests" / "golden";
  EXPECT_EQ(run.console, read_file(golden / "img1_console.txt"));
  EXPECT_EQ(read_file(work.path() / "images/img1/grain_scabrosimeter.txt"),
            read_file(golden / "grain_scabrosimeter.txt"));
  EXPECT_EQ(read_file(work.path() / "images/img1/grain_scabrosimeter.xls"),
            read_file(golden / "grain_scabrosimeter.xls"));
}

TEST(EndToEnd, ExitStatuses) {
  SKIP_ON_WINDOWS();
  WorkFolder work;
  // Missing raster: status 0, nothing created.
  ProgramRun run = run_program_in(work.path(), "dem1\n0\nnothing\n0\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.console.find("\n\n\tNo File c:\\images\\dem1\\nothing_m2.raw\n"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(work.path() / "images/dem1/nothing_m2.txt"));
  // The input ends in the middle of the dialog: status 1.
  run = run_program_in(work.path(), "dem1\n0\n");
  EXPECT_EQ(run.status, 1);
  // A degenerate raster is valid input: a created one-cell image runs to the end.
  std::ofstream(work.path() / "images/img1/dot.raw", std::ios::binary) << "A";
  run = run_program_in(work.path(), "img1 1 dot 1 1 1 0");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(read_file(work.path() / "images/img1/dot.txt"), "1\n1\n1\n0\n65500\n1\n");
  EXPECT_EQ(run.console.find("nan"), std::string::npos);
  EXPECT_NE(run.console.find("Standard deviation = undefined "), std::string::npos);
  const std::string closing = "\n\n\ttreatment finished\n\tto exit press any key ";
  ASSERT_GE(run.console.size(), closing.size());
  EXPECT_EQ(run.console.substr(run.console.size() - closing.size()), closing);
}

}  // namespace
}  // namespace scab
