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
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "report/report.h"
#include "run/arguments.h"
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
  std::string errors;  // what it wrote to standard error: never anything
};

// Runs the executable in `work` with `answers` on its standard input. `input` is the shell's
// redirection of that input. `limits` are shell commands that constrain the program alone
// (ulimit): its console then goes through a pipe, which they do not touch. `environment`
// holds the shell's assignments of variables for the program alone.
ProgramRun run_program_in(const fs::path& work, const std::string& answers,
                          const std::string& input = "< answers.txt",
                          const std::string& limits = "", const std::string& environment = "") {
  std::ofstream(work / "answers.txt", std::ios::binary) << answers;
  const std::string program =
      environment + SCABROSIMETER_EXE_LAUNCHER "\"" SCABROSIMETER_EXE "\" " + input;
  std::string command = "cd \"" + work.string() + "\" && ";
  if (limits.empty()) {
    command += program + " > console.txt 2> errors.txt";
  } else {
    command += "{ (" + limits + " exec " + program +
               " 2> errors.txt); echo $? > status.txt; } | cat > console.txt";
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
  result.errors = read_file(work / "errors.txt");
  return result;
}

// Copies the datasets of the images folder `from` into `to`: the raw rasters and their
// descriptors, and nothing else (not the results of an earlier run of the examples).
void copy_datasets(const fs::path& from, const fs::path& to) {
  for (const auto& entry : fs::recursive_directory_iterator(from)) {
    const fs::path& path = entry.path();
    const bool raw = path.extension() == ".raw";
    const bool descriptor =
        path.extension() == ".txt" && fs::exists(fs::path(path).replace_extension(".raw"));
    if (!entry.is_regular_file() || !(raw || descriptor)) continue;
    const fs::path copy = to / fs::relative(path, from);
    fs::create_directories(copy.parent_path());
    fs::copy_file(path, copy);
  }
}

// A working folder with a copy of the bundled example datasets in images/.
struct WorkFolder {
  test::TempFolder folder;
  WorkFolder() { copy_datasets(kSource / "examples" / "images", images()); }
  fs::path path() const { return folder.path(); }
  fs::path images() const { return path() / "images"; }
};

std::vector<std::string> names_in(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(EndToEnd, OnlyDatasetsAreCopiedIntoATestsFolder) {
  test::TempFolder source;
  source.write("dem1/relief_m2.raw", "ab");
  source.write("dem1/relief_m2.txt", "1 1");
  source.write("dem1/relief_scabrosimeter.txt", "results of a run of the examples");
  source.write("dem1/relief_scabrosimeter.xls", "1\t0.000000\n");
  test::TempFolder copy;
  copy_datasets(source.path(), copy.path());
  EXPECT_EQ(names_in(fs::path(copy.path()) / "dem1"),
            (std::vector<std::string>{"relief_m2.raw", "relief_m2.txt"}));
}

// The bundled examples, on the instruction-set copy the program chooses, on the baseline one
// that SCABROSIMETER_BASELINE forces, and on the AVX2 one that SCABROSIMETER_ISA allows at most
// (the baseline where the processor or the build has no AVX2): the same bytes as the golden
// files.
TEST(EndToEnd, ExamplesMatchTheGoldenFilesOnEveryInstructionSet) {
  SKIP_ON_WINDOWS();
  struct Example {
    std::string answers, console, report, table;
  };
  const Example examples[] = {
      {"dem1\n0\nrelief\n0\n0\n1\n", "dem1_console.txt", "dem1/relief_scabrosimeter.txt",
       "dem1/relief_scabrosimeter.xls"},
      {"img1\n1\ntexture\n1\ngrain\n", "img1_console.txt", "img1/grain_scabrosimeter.txt",
       "img1/grain_scabrosimeter.xls"},
  };
  const fs::path golden = kSource / "tests" / "golden";
  for (const Example& example : examples) {
    for (const std::string environment :
         {"", "SCABROSIMETER_BASELINE=1 ", "SCABROSIMETER_ISA=avx2 "}) {
      WorkFolder work;
      const ProgramRun run =
          run_program_in(work.path(), example.answers, "< answers.txt", "", environment);
      const std::string what = example.console + " " + environment;
      EXPECT_EQ(run.status, 0) << what;
      EXPECT_EQ(run.console, read_file(golden / example.console)) << what;
      const fs::path results = work.images();
      EXPECT_EQ(read_file(results / example.report),
                read_file(golden / fs::path(example.report).filename()))
          << what;
      EXPECT_EQ(read_file(results / example.table),
                read_file(golden / fs::path(example.table).filename()))
          << what;
    }
  }
}

// --figures exact on the bundled examples: the golden files with one line more, before the
// results on the console and at the head of the report, on any number of threads and on every
// instruction-set copy; --figures model: the golden files. A build without the exact engine
// refuses exact, and creates nothing.
TEST(EndToEnd, ExactFiguresOfTheExamplesAreTheGoldenFilesWithOneLineMore) {
  SKIP_ON_WINDOWS();
  const fs::path golden = kSource / "tests" / "golden";
  const std::string answers[] = {"dem1\n0\nrelief\n0\n0\n1\n", "img1\n1\ntexture\n1\ngrain\n"};
  const std::string consoles[] = {"dem1_console.txt", "img1_console.txt"};
  const std::string results[] = {"dem1/relief_scabrosimeter", "img1/grain_scabrosimeter"};
  if (!exact_engine_built()) {
    WorkFolder work;
    const ProgramRun run = run_program_in(work.path(), answers[0], "--figures exact < answers.txt");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.console, "");
    EXPECT_EQ(run.errors.find("scabrosimeter: --figures exact is not in this build"), 0u);
    EXPECT_FALSE(fs::exists(work.images() / (results[0] + ".txt")));
    return;
  }
  for (size_t k = 0; k < 2; k++) {
    const std::string model_console = read_file(golden / consoles[k]);
    const std::string model_report = read_file(golden / fs::path(results[k] + ".txt").filename());
    const std::string model_table = read_file(golden / fs::path(results[k] + ".xls").filename());
    std::string exact_console = model_console;
    const size_t at = exact_console.find("\n\n\tResults\n");
    ASSERT_NE(at, std::string::npos);
    exact_console.insert(at, kExactFiguresLine);
    const std::pair<std::string, std::string> runs[] = {
        {"", "--figures exact"},
        {"SCABROSIMETER_THREADS=1 ", "--figures=exact"},
        {"SCABROSIMETER_THREADS=3 SCABROSIMETER_BASELINE=1 ", "--figures exact"},
        {"", "--figures model"},
        {"", "--figures=model"}};
    for (const auto& [environment, option] : runs) {
      const bool exact = option.find("exact") != std::string::npos;
      WorkFolder work;
      const ProgramRun run =
          run_program_in(work.path(), answers[k], option + " < answers.txt", "", environment);
      const std::string what = consoles[k] + " " + environment + option;
      EXPECT_EQ(run.status, 0) << what;
      EXPECT_EQ(run.errors, "") << what;
      EXPECT_EQ(run.console, exact ? exact_console : model_console) << what;
      EXPECT_EQ(read_file(work.images() / (results[k] + ".txt")),
                exact ? kExactFiguresLine + model_report : model_report)
          << what;
      EXPECT_EQ(read_file(work.images() / (results[k] + ".xls")), model_table) << what;
    }
  }
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
  // --version prints and ends; an unknown argument: status 2 and the usage on standard error,
  // before any question.
  run = run_program_in(work.path(), "", "--version < answers.txt");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.console, "scabrosimeter " SCABROSIMETER_VERSION "\n");
  EXPECT_EQ(run.errors, "");
  run = run_program_in(work.path(), "dem1\n0\nrelief\n0\n0\n1\n", "relief < answers.txt");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.console, "");
  EXPECT_EQ(run.errors.find("scabrosimeter: unknown argument: relief\n\nUsage: scabrosimeter"), 0u);
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

const std::string kDemAnswers = "dem1\n0\nrelief\n0\n0\n1\n";
const std::string kUnchanged =
    "\tAny earlier results in c:\\images\\dem1\\relief_scabrosimeter.txt and "
    "relief_scabrosimeter.xls are unchanged.\n";

// Results of an earlier run, which a run that fails must leave as they are.
void write_earlier_results(const WorkFolder& work) {
  std::ofstream(work.images() / "dem1/relief_scabrosimeter.txt") << "earlier report";
  std::ofstream(work.images() / "dem1/relief_scabrosimeter.xls") << "earlier table";
}

void expect_earlier_results(const WorkFolder& work, const std::string& why) {
  EXPECT_EQ(read_file(work.images() / "dem1/relief_scabrosimeter.txt"), "earlier report") << why;
  EXPECT_EQ(read_file(work.images() / "dem1/relief_scabrosimeter.xls"), "earlier table") << why;
  EXPECT_EQ(names_in(work.images() / "dem1"),
            (std::vector<std::string>{"relief_m2.raw", "relief_m2.txt", "relief_scabrosimeter.txt",
                                      "relief_scabrosimeter.xls"}))
      << why;
}

TEST(EndToEnd, AFileSizeLimitEndsInAMessage) {
  SKIP_ON_WINDOWS();
  // The table (about 3.6 kB) goes beyond 2 kB: SIGXFSZ, which the program ignores, would
  // otherwise have ended it. The tests do not ignore it for the program.
  {
    WorkFolder work;
    write_earlier_results(work);
    const ProgramRun run =
        run_program_in(work.path(), kDemAnswers, "< answers.txt", "ulimit -f 2;");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(ends_with(run.console,
                          "\n\n\tThe table file c:\\images\\dem1\\relief_scabrosimeter.xls "
                          "could not be written in full: " +
                              std::string(std::strerror(EFBIG)) +
                              ".\n\tMake room on the device or check the folder, then run the "
                              "program again.\n" +
                              kUnchanged))
        << run.console;
    EXPECT_EQ(run.errors, "");
    expect_earlier_results(work, "ulimit -f 2");
  }
  // No file may grow: the descriptor the program would write is not written at all, so that
  // no later run reads 0 lines and 0 columns from it.
  WorkFolder work;
  std::ofstream(work.images() / "img1/dot.raw", std::ios::binary) << "A";
  const ProgramRun run =
      run_program_in(work.path(), "img1 1 dot 1 1 1 0", "< answers.txt", "ulimit -f 0;");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(ends_with(run.console,
                        "\n\n\tThe descriptor file c:\\images\\img1\\dot.txt could not be "
                        "written: " +
                            std::string(std::strerror(EFBIG)) +
                            ".\n\tNothing was written. Make room on the device or check the "
                            "folder, then run the program again.\n"))
      << run.console;
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(names_in(work.images() / "img1"),
            (std::vector<std::string>{"dot.raw", "texture.raw", "texture.txt"}));
}

TEST(EndToEnd, AnAddressSpaceLimitEndsInTheProgramsOwnMessages) {
  SKIP_ON_WINDOWS();
  if (std::string(SCABROSIMETER_EXE_LAUNCHER).size() > 0)
    GTEST_SKIP() << "the limit would bind the emulator that runs the program";
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves far more address space than any such limit";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "AddressSanitizer reserves far more address space than any such limit";
#endif
#endif
  // Too little room for a second thread: the passes run one after the other, same digits.
  {
    WorkFolder work;
    const ProgramRun run =
        run_program_in(work.path(), kDemAnswers, "< answers.txt", "ulimit -v 10000;");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.errors, "");
    const fs::path golden = kSource / "tests" / "golden";
    EXPECT_EQ(run.console, read_file(golden / "dem1_console.txt"));
    EXPECT_EQ(read_file(work.images() / "dem1/relief_scabrosimeter.txt"),
              read_file(golden / "relief_scabrosimeter.txt"));
    EXPECT_EQ(read_file(work.images() / "dem1/relief_scabrosimeter.xls"),
              read_file(golden / "relief_scabrosimeter.xls"));
  }
  // A descriptor of 32 MB of digits: its first 40 named, the rest never read.
  {
    WorkFolder work;
    std::ofstream(work.images() / "img1/texture.txt") << std::string(32 << 20, '9');
    const ProgramRun run =
        run_program_in(work.path(), "img1 1 texture 0", "< answers.txt", "ulimit -v 20000;");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.console.find("it holds " + std::string(40, '9') +
                               "..., a number too large for the program"),
              std::string::npos)
        << run.console;
  }
  // Lines too long for the address space left: the memory message, before they are sought.
  WorkFolder work;
  std::ofstream(work.images() / "img1/wide.raw", std::ios::binary) << std::string(1000, 'x');
  std::ofstream(work.images() / "img1/wide.txt") << "1 2000000";
  const ProgramRun run =
      run_program_in(work.path(), "img1 1 wide 0", "< answers.txt", "ulimit -v 60000;");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.console.find("\n\n\tNot enough memory for a raster of 1 lines and 2000000 "
                             "columns (about "),
            std::string::npos)
      << run.console;
  EXPECT_EQ(run.errors, "");
}

#ifndef _WIN32
// Starts the program in `work` with a pipe as its standard input; the pipe's writing end. The
// signals `ignored` are ignored when it starts, as nohup or a shell's background job leaves
// them; no core file is written.
pid_t start_program(const fs::path& work, int& input, const std::vector<int>& ignored = {}) {
  int ends[2];
  if (pipe(ends) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    for (const int signal_number : ignored)
      signal(signal_number, SIG_IGN);
    const rlimit no_core = {0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    dup2(ends[0], 0);
    close(ends[0]);
    close(ends[1]);
    if (chdir(work.c_str()) != 0) _exit(127);
    const int out = open("console.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open("errors.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
    execl(SCABROSIMETER_EXE, SCABROSIMETER_EXE, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ends[0]);
  input = ends[1];
  return pid;
}

bool holds_a_temporary_file(const fs::path& folder) {
  for (const std::string& name : names_in(folder)) {
    if (name.compare(0, 6, ".scab-") == 0) return true;
  }
  return false;
}
#endif

#ifndef _WIN32
// Starts the program on the bundled DEM with every answer but the unit, and waits until it
// asks for the unit: its result files are begun, the raster read once.
pid_t start_at_the_unit_question(const WorkFolder& work, int& input,
                                 const std::vector<int>& ignored = {}) {
  const pid_t pid = start_program(work.path(), input, ignored);
  const std::string answers = "dem1\n0\nrelief\n0\n0\n";
  if (pid <= 0 ||
      write(input, answers.data(), answers.size()) != static_cast<ssize_t>(answers.size()))
    return -1;
  for (int wait = 0; wait < 1000; wait++) {
    if (read_file(work.path() / "console.txt").find("Is the Hypsometric Scale") !=
        std::string::npos)
      return pid;
    usleep(10000);
  }
  return -1;
}
#endif

TEST(EndToEnd, ASignalLeavesTheEarlierResultsAndNoTemporaryFile) {
  SKIP_ON_WINDOWS();
#ifndef _WIN32
  if (std::string(SCABROSIMETER_EXE_LAUNCHER).size() > 0) GTEST_SKIP() << "run by an emulator";
  for (const int signal_number :
       {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXCPU, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF}) {
    WorkFolder work;
    write_earlier_results(work);
    int input = -1;
    const pid_t pid = start_at_the_unit_question(work, input);
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(holds_a_temporary_file(work.images() / "dem1"));
    kill(pid, signal_number);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    close(input);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << signal_number;
    expect_earlier_results(work, "signal " + std::to_string(signal_number));
    EXPECT_EQ(read_file(work.path() / "errors.txt"), "");
  }
#endif
}

TEST(EndToEnd, ALaterRunRemovesWhatAKilledOneLeft) {
  SKIP_ON_WINDOWS();
#ifndef _WIN32
  if (std::string(SCABROSIMETER_EXE_LAUNCHER).size() > 0) GTEST_SKIP() << "run by an emulator";
  WorkFolder work;
  int input = -1;
  const pid_t pid = start_at_the_unit_question(work, input);
  ASSERT_GT(pid, 0);
  kill(pid, SIGKILL);  // nothing can clean up after that
  ASSERT_EQ(waitpid(pid, nullptr, 0), pid);
  close(input);
  ASSERT_TRUE(holds_a_temporary_file(work.images() / "dem1"));
  const ProgramRun run = run_program_in(work.path(), kDemAnswers);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(names_in(work.images() / "dem1"),
            (std::vector<std::string>{"relief_m2.raw", "relief_m2.txt", "relief_scabrosimeter.txt",
                                      "relief_scabrosimeter.xls"}));
#endif
}

TEST(EndToEnd, SignalsIgnoredWhenTheProgramStartsStayIgnored) {
  SKIP_ON_WINDOWS();
#ifndef _WIN32
  if (std::string(SCABROSIMETER_EXE_LAUNCHER).size() > 0) GTEST_SKIP() << "run by an emulator";
  // nohup ignores SIGHUP; a shell without job control, SIGINT and SIGQUIT for a background job.
  WorkFolder work;
  int input = -1;
  const pid_t pid = start_at_the_unit_question(work, input, {SIGHUP, SIGINT, SIGQUIT});
  ASSERT_GT(pid, 0);
  for (const int signal_number : {SIGHUP, SIGINT, SIGQUIT})
    kill(pid, signal_number);
  usleep(100000);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, WNOHANG), 0) << "ended by a signal it should have ignored";
  const std::string rest = "1\n";  // the unit; the closing key is the end of the input
  ASSERT_EQ(write(input, rest.data(), rest.size()), static_cast<ssize_t>(rest.size()));
  close(input);
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  const fs::path golden = kSource / "tests" / "golden";
  EXPECT_EQ(read_file(work.path() / "console.txt"), read_file(golden / "dem1_console.txt"));
  EXPECT_EQ(read_file(work.images() / "dem1/relief_scabrosimeter.txt"),
            read_file(golden / "relief_scabrosimeter.txt"));
#endif
}

TEST(EndToEnd, ARawFileWrittenToDuringTheRunStopsIt) {
  SKIP_ON_WINDOWS();
#ifndef _WIN32
  if (std::string(SCABROSIMETER_EXE_LAUNCHER).size() > 0) GTEST_SKIP() << "run by an emulator";
  // Two samples of the middle line written over in place, as dd conv=notrunc does: after the
  // raster was first read (before the unit is answered), or while the passes read it.
  for (const bool during_the_passes : {false, true}) {
    WorkFolder work;
    write_earlier_results(work);
    if (during_the_passes) {  // a raster that takes the passes some time
      std::ofstream raw(work.images() / "dem1/relief_m2.raw", std::ios::binary);
      for (long k = 0; k < 3000L * 3000L; k++)
        raw.put(static_cast<char>(k % 251)).put(static_cast<char>(k % 7));
      std::ofstream(work.images() / "dem1/relief_m2.txt") << "3000 3000 2 0 65500 1\n";
    }
    int input = -1;
    const pid_t pid = start_at_the_unit_question(work, input);
    ASSERT_GT(pid, 0);
    const int raw = open((work.images() / "dem1/relief_m2.raw").c_str(), O_WRONLY);
    const off_t middle = during_the_passes ? 3000L * 3000L : 300L * 400L;
    const auto write_over = [&] { EXPECT_EQ(pwrite(raw, "\x01\x03\x02\x03", 4, middle), 4); };
    if (!during_the_passes) write_over();
    ASSERT_EQ(write(input, "1\n", 2), 2);
    if (during_the_passes) write_over();
    close(raw);
    close(input);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_TRUE(
        ends_with(read_file(work.path() / "console.txt"),
                  "\n\n\tThe file c:\\images\\dem1\\relief_m2.raw changed during the "
                  "analysis: it no longer holds what it held when it was first read.\n\tRun "
                  "the program again once nothing else writes to it.\n" +
                      kUnchanged))
        << during_the_passes;
    EXPECT_EQ(read_file(work.images() / "dem1/relief_scabrosimeter.txt"), "earlier report");
    EXPECT_EQ(read_file(work.images() / "dem1/relief_scabrosimeter.xls"), "earlier table");
  }
#endif
}

TEST(EndToEnd, AFileTheProgramMayNotReadStopsTheRun) {
  SKIP_ON_WINDOWS();
#ifndef _WIN32
  if (std::string(SCABROSIMETER_EXE_LAUNCHER).size() > 0) GTEST_SKIP() << "run by an emulator";
  // Root reads any file: the program then runs as nobody.
  std::string as_nobody;
  if (geteuid() == 0) {
    as_nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    const std::string try_it = as_nobody + "\"" SCABROSIMETER_EXE "\" --version > /dev/null 2>&1";
    if (std::system(try_it.c_str()) != 0) GTEST_SKIP() << "nobody cannot run the program here";
  }
  for (const std::string file : {"relief_m2.txt", "relief_m2.raw"}) {
    WorkFolder work;
    write_earlier_results(work);
    fs::permissions(work.path(), fs::perms::all);
    const fs::path unreadable = work.images() / "dem1" / file;
    const std::string bytes = read_file(unreadable);
    fs::permissions(unreadable, fs::perms::none);
    // Were the descriptor taken as missing, these answers would make a new one over it.
    const ProgramRun run = run_program_in(work.path(), "dem1\n0\nrelief\n0\n30\n40\n1\n0\n1\n",
                                          "< answers.txt", "", as_nobody);
    EXPECT_EQ(run.status, 1) << file;
    const std::string what = file == "relief_m2.raw" ? "raw raster" : "descriptor file";
    EXPECT_TRUE(ends_with(run.console, "\n\n\tThe " + what + " c:\\images\\dem1\\" + file +
                                           " could not be opened: " + std::strerror(EACCES) +
                                           ".\n\tCheck that the program may read it (its "
                                           "permissions, the limit on open files), then run the "
                                           "program again.\n"))
        << run.console;
    EXPECT_EQ(run.console.find("No File"), std::string::npos);
    fs::permissions(unreadable, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(read_file(unreadable), bytes);
    expect_earlier_results(work, file);
  }
#endif
}

#ifndef _WIN32
// Reads what the terminal's other end `master` shows until `wanted` appears (or 10 s pass).
bool read_until(int master, const std::string& wanted) {
  std::string shown;
  char buffer[4096];
  for (int wait = 0; wait < 100 && shown.find(wanted) == std::string::npos; wait++) {
    pollfd ready = {master, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got <= 0) return false;
    shown.append(buffer, static_cast<size_t>(got));
  }
  return shown.find(wanted) != std::string::npos;
}
#endif

TEST(EndToEnd, ASignalAtTheClosingKeyPutsTheTerminalBack) {
  SKIP_ON_WINDOWS();
#ifndef _WIN32
  if (std::string(SCABROSIMETER_EXE_LAUNCHER).size() > 0) GTEST_SKIP() << "run by an emulator";
  // The program on a terminal of its own, whose parent (this test, like sh or Python) puts
  // nothing back: Ctrl+C while it waits for the closing key.
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string terminal = ptsname(master);
  const int kept = open(terminal.c_str(), O_RDWR | O_NOCTTY);  // its modes outlive the program
  WorkFolder work;
  const pid_t pid = fork();
  if (pid == 0) {
    setsid();
    const int slave = open(terminal.c_str(), O_RDWR);  // the terminal of the new session
    for (const int fd : {0, 1, 2})
      dup2(slave, fd);
    if (chdir(work.path().c_str()) != 0) _exit(127);
    execl(SCABROSIMETER_EXE, SCABROSIMETER_EXE, static_cast<char*>(nullptr));
    _exit(127);
  }
  const std::string answers = "img1\n1\ntexture\n1\ngrain\n";
  ASSERT_EQ(write(master, answers.data(), answers.size()), static_cast<ssize_t>(answers.size()));
  EXPECT_TRUE(read_until(master, "to exit press any key "));
  termios modes;
  for (int wait = 0; wait < 500; wait++) {  // until the key read has turned echo off
    ASSERT_EQ(tcgetattr(kept, &modes), 0);
    if (!(modes.c_lflag & ECHO)) break;
    usleep(10000);
  }
  ASSERT_FALSE(modes.c_lflag & ECHO);
  ASSERT_EQ(write(master, "\x03", 1), 1);  // Ctrl+C
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  ASSERT_EQ(tcgetattr(kept, &modes), 0);
  EXPECT_TRUE(modes.c_lflag & ECHO);
  EXPECT_TRUE(modes.c_lflag & ICANON);
  close(kept);
  close(master);
#endif
}

TEST(EndToEnd, TwoRunsAtOnceLeaveConsistentResults) {
  SKIP_ON_WINDOWS();
  // A raster big enough for the two runs to overlap, analysed in millimetres and in metres.
  WorkFolder work;
  const int lines = 1200, columns = 1000;
  {
    std::ofstream raw(work.images() / "dem1/big_m2.raw", std::ios::binary);
    for (long long k = 0; k < lines * columns; k++) {
      const int height = static_cast<int>((k * 7919) % 4001 + k / columns);
      raw.put(static_cast<char>(height & 0xff)).put(static_cast<char>(height >> 8));
    }
    std::ofstream(work.images() / "dem1/big_m2.txt") << lines << "\n"
                                                     << columns << "\n2\n0\n65500\n1\n";
  }
  const auto answers = [](const char* unit) { return std::string("dem1 0 big 0 0 ") + unit; };
  const fs::path report = work.images() / "dem1/big_scabrosimeter.txt";
  const fs::path table = work.images() / "dem1/big_scabrosimeter.xls";
  std::vector<std::pair<std::string, std::string>> alone;
  for (const char* unit : {"3", "0"}) {
    ASSERT_EQ(run_program_in(work.path(), answers(unit)).status, 0);
    alone.emplace_back(read_file(report), read_file(table));
  }
  ASSERT_NE(alone[0], alone[1]);
  std::ofstream(work.path() / "mm.txt") << answers("3");
  std::ofstream(work.path() / "m.txt") << answers("0");
  for (int round = 0; round < 3; round++) {
    const std::string both = "cd \"" + work.path().string() +
                             "\" && (\"" SCABROSIMETER_EXE
                             "\" < mm.txt > mm.out & \"" SCABROSIMETER_EXE
                             "\" < m.txt > m.out; wait)";
    ASSERT_EQ(std::system(both.c_str()), 0);
    const std::pair<std::string, std::string> last(read_file(report), read_file(table));
    EXPECT_TRUE(last == alone[0] || last == alone[1]) << "round " << round;
    EXPECT_EQ(std::count(last.second.begin(), last.second.end(), '\n'), lines);
  }
  EXPECT_EQ(names_in(work.images() / "dem1"),
            (std::vector<std::string>{"big_m2.raw", "big_m2.txt", "big_scabrosimeter.txt",
                                      "big_scabrosimeter.xls", "relief_m2.raw", "relief_m2.txt"}));
}

}  // namespace
}  // namespace scab
