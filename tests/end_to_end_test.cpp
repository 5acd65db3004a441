// The built program, run as an operator would run it from a file of answers, in a working
// folder that holds the bundled examples under images/.
//
// Not on Windows: there the program reads and writes the real c:\images\ and takes no other
// root, so these runs would need that folder to themselves. .ci/windows runs the same answers
// against the same golden files with the examples laid out in c:\images\ of a scratch Wine
// prefix.
#include <gtest/gtest.h>

#include <cerrno>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdlib>
#include <cstring>
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

// Runs the executable in `work` with `answers` on its standard input. `input` is the shell's
// redirection of that input. `limits` are shell commands that constrain the program alone
// (ulimit): its console then goes through a pipe, which they do not touch.
ProgramRun run_program_in(const fs::path& work, const std::string& answers,
                          const std::string& input = "< answers.txt",
                          const std::string& limits = "") {
  std::ofstream(work / "answers.txt", std::ios::binary) << answers;
  const std::string program = SCABROSIMETER_EXE_LAUNCHER "\"" SCABROSIMETER_EXE "\" " + input;
  std::string command = "cd \"" + work.string() + "\" && ";
  if (limits.empty()) {
    command += program + " > console.txt";
  } else {
    command +=
        "{ (" + limits + " exec " + program + "); echo $? > status.txt; } | cat > console.txt";
  }
  const int raw_status = std::system(command.c_str());
  ProgramRun result;
#ifdef _WIN32
  result.status = raw_status;
#else
  result.status = WIFEXITED(raw_status) ? WEXITSTATUS(raw_status) : -1;
  if (!limits.empty()) result.status = std::atoi(read_file(work / "status.txt").c_str());
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

const std::string kEndOfInput =
    "\n\n\tThe input ended before the dialog was complete: nothing more can be read.\n";

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(EndToEnd, InputThatIsNotATerminal) {
  SKIP_ON_WINDOWS();
  const fs::path golden = kSource / "tests" / "golden";
  // Closed, and empty: the dialog cannot start.
  for (const std::string input : {"<&-", "< answers.txt"}) {
    WorkFolder work;
    const ProgramRun run = run_program_in(work.path(), "", input);
    EXPECT_EQ(run.status, 1) << input;
    EXPECT_TRUE(ends_with(run.console, kEndOfInput)) << input << run.console;
    EXPECT_FALSE(fs::exists(work.path() / "images/dem1/relief_scabrosimeter.txt"));
  }
  // No newline after the last answer; Windows line ends in the answers and in the descriptor.
  for (const bool windows : {false, true}) {
    WorkFolder work;
    std::string answers = "dem1\n0\nrelief\n0\n0\n1";
    if (windows) {
      answers = "dem1\r\n0\r\nrelief\r\n0\r\n0\r\n1\r\n";
      const fs::path descriptor = work.path() / "images/dem1/relief_m2.txt";
      std::string text;
      for (const char c : read_file(descriptor))
        text += c == '\n' ? std::string("\r\n") : std::string(1, c);
      std::ofstream(descriptor, std::ios::binary) << text;
    }
    const ProgramRun run = run_program_in(work.path(), answers);
    EXPECT_EQ(run.status, 0) << windows;
    EXPECT_EQ(run.console, read_file(golden / "dem1_console.txt")) << windows;
    EXPECT_EQ(read_file(work.path() / "images/dem1/relief_scabrosimeter.txt"),
              read_file(golden / "relief_scabrosimeter.txt"));
    EXPECT_EQ(read_file(work.path() / "images/dem1/relief_scabrosimeter.xls"),
              read_file(golden / "relief_scabrosimeter.xls"));
  }
}

TEST(EndToEnd, FilesThatCannotBeWrittenInFull) {
  SKIP_ON_WINDOWS();
  const std::string answers = "dem1\n0\nrelief\n0\n0\n1\n";
  // The report on a full device: the run says so and ends with status 1.
  if (fs::exists("/dev/full")) {
    WorkFolder work;
    fs::create_symlink("/dev/full", work.path() / "images/dem1/relief_scabrosimeter.txt");
    const ProgramRun run = run_program_in(work.path(), answers);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(ends_with(run.console,
                          "\n\n\tThe report file c:\\images\\dem1\\relief_scabrosimeter.txt is "
                          "incomplete: " +
                              std::string(std::strerror(ENOSPC)) +
                              ".\n\tMake room on the device or check the folder, then run the "
                              "program again.\n"))
        << run.console;
    EXPECT_EQ(read_file(work.path() / "images/dem1/relief_scabrosimeter.xls"),
              read_file(kSource / "tests" / "golden" / "relief_scabrosimeter.xls"));
  }
  // No file may grow (ulimit -f 0): the descriptor the program writes is deleted, and neither
  // result file is begun.
  WorkFolder work;
  std::ofstream(work.path() / "images/img1/dot.raw", std::ios::binary) << "A";
  const ProgramRun run = run_program_in(work.path(), "img1 1 dot 1 1 1 0", "< answers.txt",
                                        "trap '' XFSZ; ulimit -f 0;");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(ends_with(
      run.console, "\n\n\tThe descriptor file c:\\images\\img1\\dot.txt could not be written: " +
                       std::string(std::strerror(EFBIG)) +
                       ".\n\tIt has been deleted. Make room on the device or "
                       "check the folder, then run the program again.\n"))
      << run.console;
  EXPECT_FALSE(fs::exists(work.path() / "images/img1/dot.txt"));
  EXPECT_FALSE(fs::exists(work.path() / "images/img1/dot_scabrosimeter.txt"));
}

}  // namespace
}  // namespace scab
