// Runs that meet a fault: an allocation that fails, dimensions that memory cannot hold or that
// make no sense, a dataset file that cannot be opened, a raw raster that cannot be read or
// changes under the program, result files that cannot be put in place. Each must end with one
// clear message and its exit status, having released everything it obtained and written
// nothing it should not have.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "immutable_support.h"
#include "raster/memory.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace scab {
namespace {

using test::AllocatorSpy;
using test::Outcome;
using test::run_with_answers;
using test::TempFolder;

const std::string kFinished = "\n\n\ttreatment finished\n\tto exit press any key ";
const std::string kUnchanged =
    "\tAny earlier results in c:\\images\\d\\r_scabrosimeter.txt and r_scabrosimeter.xls are "
    "unchanged.\n";

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A dataset d/r of each kind, and answers that run it to the end.
struct Kind {
  const char* answers;
  const char* raw;
  const char* descriptor;
  int width;
};
const Kind kKinds[] = {
    {"d 0 r 0 0 0 k", "d/r_m2.raw", "d/r_m2.txt", 2},
    {"d 0 r 1 0 0 k", "d/r_m4.raw", "d/r_m4.txt", 4},
    {"d 1 r 0 k", "d/r.raw", "d/r.txt", 1},
};

void write_dataset(const TempFolder& images, const Kind& kind, const std::string& dimensions) {
  images.write(kind.raw, std::string(200, '\x07'));
  images.write(kind.descriptor, dimensions);
}

// The memory a run may use, lowered for one test.
struct MemoryCeiling {
  explicit MemoryCeiling(uint64_t bytes) { set_memory_ceiling(bytes); }
  ~MemoryCeiling() { set_memory_ceiling(0); }
};

TEST(Faults, EachAllocationFailingInTurnStopsWithTheMemoryMessage) {
  for (const Kind& kind : kKinds) {
    int total = 0;
    {
      TempFolder images;
      write_dataset(images, kind, "3 4");
      AllocatorSpy spy;
      ASSERT_EQ(run_with_answers(images, kind.answers).status, 0) << kind.answers;
      total = spy.calls();
    }
    std::set<std::string> stops;
    for (int fail = 1; fail <= total; fail++) {
      TempFolder images;
      write_dataset(images, kind, "3 4");
      AllocatorSpy spy(fail);
      const Outcome outcome = run_with_answers(images, kind.answers);
      const std::string where = std::string(kind.answers) + ", failing call " +
                                std::to_string(fail) + "\n" + outcome.console;
      EXPECT_EQ(outcome.status, 1) << where;
      const size_t stop = outcome.console.find("\n\n\tNot enough memory for ");
      ASSERT_NE(stop, std::string::npos) << where;
      EXPECT_EQ(outcome.console.find(kFinished), std::string::npos) << where;
      EXPECT_EQ(spy.live_blocks(), 0u) << where;
      stops.insert(outcome.console.substr(stop, 45));
    }
    // Where the samples are read from the file's pages, what fails is an allocation of the
    // analysis; where they are read into memory (no mapping), that allocation may fail too.
    EXPECT_EQ(stops.count("\n\n\tNot enough memory for the analysis of 3 li"), 1u) << kind.answers;
    for (const std::string& stop : stops) {
      EXPECT_TRUE(stop == "\n\n\tNot enough memory for the analysis of 3 li" ||
                  stop == "\n\n\tNot enough memory for a raster of 3 lines ")
          << stop;
    }
  }
}

TEST(Faults, MemoryCheckCoversEveryAllocationOfARun) {
  // The estimate that the memory check compares with the machine holds everything a run
  // obtains at once, both passes at work together.
  for (const Kind& kind : kKinds) {
    for (const char* dimensions : {"1 1", "3 4", "40 30", "1 500", "500 1"}) {
      TempFolder images;
      images.write(kind.raw, std::string(100000, '\x11'));
      images.write(kind.descriptor, dimensions);
      AllocatorSpy spy;
      const Outcome outcome = run_with_answers(images, kind.answers);
      EXPECT_EQ(outcome.status, 0) << kind.answers << dimensions;
      int lines = 0, columns = 0;
      ASSERT_EQ(std::sscanf(dimensions, "%d %d", &lines, &columns), 2);
      EXPECT_LE(spy.peak_bytes(), bytes_needed(lines, columns, kind.width))
          << kind.answers << dimensions;
    }
  }
}

TEST(Faults, DimensionsMemoryCannotHoldStopBeforeAnyAllocation) {
  for (const Kind& kind : kKinds) {
    for (const int size : {100000, 2147483647}) {
      if (usable_memory_bytes() >= bytes_needed(size, size, kind.width))
        continue;  // a machine that could hold it
      TempFolder images;
      write_dataset(images, kind, std::to_string(size) + " " + std::to_string(size) + " 4 0 0 1");
      AllocatorSpy spy;
      const Outcome outcome = run_with_answers(images, kind.answers);
      EXPECT_EQ(outcome.status, 1);
      EXPECT_NE(
          outcome.console.find("\n\n\tNot enough memory for a raster of " + std::to_string(size) +
                               " lines and " + std::to_string(size) + " columns (about "),
          std::string::npos)
          << outcome.console;
      EXPECT_EQ(spy.calls(), 0) << kind.answers << size;
    }
  }
  // Just beyond what may be used is beyond too: the samples and the passes' lines are counted.
  for (const Kind& kind : kKinds) {
    const MemoryCeiling ceiling(bytes_needed(100, 100, kind.width) - 1);
    TempFolder images;
    write_dataset(images, kind, "100 100");
    AllocatorSpy spy;
    const Outcome outcome = run_with_answers(images, kind.answers);
    EXPECT_EQ(outcome.status, 1) << kind.answers;
    EXPECT_NE(outcome.console.find("Not enough memory for a raster of 100 lines and 100 columns"),
              std::string::npos);
    EXPECT_EQ(spy.calls(), 0) << kind.answers;
  }
}

TEST(Faults, DescriptorWithNegativeOrHugeNumbersStops) {
  struct Case {
    const char* descriptor;
    const char* message;
  };
  const Case cases[] = {
      {"-5 3", "gives -5 lines and 3 columns: a raster needs at least 1 of each."},
      {"3 -5", "gives 3 lines and -5 columns: a raster needs at least 1 of each."},
      {"-2147483648 -2147483648", "gives -2147483648 lines and -2147483648 columns"},
      // What stopped the reading is said, rather than the zeros the lines and columns keep.
      {"99999999999 4",
       "does not give the numbers of lines and columns: it holds 99999999999, a number too "
       "large for the program (at most 2147483647)."},
      {"4 -99999999999",
       "does not give the numbers of lines and columns: it holds -99999999999, a number too "
       "large for the program (at most 2147483647)."},
      {"\xEF\xBB\xBF"
       "4\n5\n",
       "does not give the numbers of lines and columns: it begins with a byte-order mark (the "
       "bytes EF BB BF), which is not a number: save it as plain text without one."},
      {"lines=4 columns=5",
       "does not give the numbers of lines and columns: it holds \"lines=4\" where a number was "
       "expected."},
      {"", "gives 0 lines and 0 columns: a raster needs at least 1 of each."},
      {"1 2147483647 4", "Not enough memory for a raster of 1 lines and 2147483647 columns"},
  };
  for (const Kind& kind : kKinds) {
    for (const Case& c : cases) {
      TempFolder images;
      write_dataset(images, kind, c.descriptor);
      const MemoryCeiling ceiling(64u << 20);
      AllocatorSpy spy;
      const Outcome outcome = run_with_answers(images, kind.answers);
      EXPECT_EQ(outcome.status, 1) << c.descriptor;
      EXPECT_NE(outcome.console.find(c.message), std::string::npos) << c.descriptor << "\n"
                                                                    << outcome.console;
      EXPECT_EQ(spy.calls(), 0) << c.descriptor;
    }
  }
}

TEST(Faults, SomethingElseThanAFileInPlaceOfADatasetFile) {
  // Each stands where the raw raster or the descriptor should be: a message that names it and
  // says what it is, status 1, nothing created; never a wait on a named pipe.
  struct Stand {
    const char* what;
    std::function<void(const fs::path&)> make;
  };
  const std::vector<Stand> stands = {
      {"a folder", [](const fs::path& at) { fs::create_directory(at); }},
#ifndef _WIN32
      {"a named pipe (FIFO)", [](const fs::path& at) { ASSERT_EQ(mkfifo(at.c_str(), 0600), 0); }},
      {"a device", [](const fs::path& at) { fs::create_symlink("/dev/null", at); }},
      {"a symbolic link that leads round in a loop",
       [](const fs::path& at) { fs::create_symlink(at.filename(), at); }},
#endif
  };
  for (const Stand& stand : stands) {
    for (const char* file : {"raw raster", "descriptor file"}) {
      TempFolder images;
      const bool raw = std::string(file) == "raw raster";
      images.write(raw ? "d/r.txt" : "d/r.raw", raw ? "2 2" : "abcd");
      images.make_folder("d");
      stand.make(fs::path(images.path()) / "d" / (raw ? "r.raw" : "r.txt"));
      const Outcome outcome = run_with_answers(images, "d 1 r 2 2 1 0 k");
      const std::string where = std::string(file) + " as " + stand.what + "\n" + outcome.console;
      EXPECT_EQ(outcome.status, 1) << where;
      EXPECT_TRUE(ends_with(outcome.console,
                            std::string("\n\n\tThe ") + file + " c:\\images\\d\\r." +
                                (raw ? "raw" : "txt") + " is " + stand.what +
                                ", not a file that can be read.\n\tPut the dataset's file there, "
                                "then run the program again.\n"))
          << where;
      EXPECT_EQ(outcome.console.find("No File"), std::string::npos) << where;
      EXPECT_EQ(images.list("d").size(), 2u) << where;
    }
  }
}

TEST(Faults, RawRasterThatCannotBeRead) {
  // A file that opens but whose every read fails: this process's memory from address 0.
#ifdef _WIN32
  GTEST_SKIP() << "no file there whose reads fail";
#endif
  if (!fs::exists("/proc/self/mem"))
    GTEST_SKIP() << "no /proc/self/mem to stand for an unreadable file";
  TempFolder images;
  images.make_folder("d");
  fs::create_symlink("/proc/self/mem", fs::path(images.path()) / "d/r.raw");
  images.write("d/r.txt", "2 2");
  const Outcome outcome = run_with_answers(images, "d 1 r 0 k");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_TRUE(ends_with(
      outcome.console,
      "\n\n\tThe file c:\\images\\d\\r.raw could not be read: " + std::string(std::strerror(EIO)) +
          ".\n\tCheck the file and the device it is on, then run the program "
          "again.\n" +
          kUnchanged))
      << outcome.console;
  EXPECT_EQ(outcome.console.find("Warning"), std::string::npos);
}

#ifndef _WIN32
// Sets the modification time of `path` (and its access time) to `seconds` after 1970.
void set_modification_time(const fs::path& path, time_t seconds) {
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}
#endif

TEST(Faults, RawRasterChangedAfterItWasOpened) {
#ifdef _WIN32
  GTEST_SKIP() << "an open file can be neither removed nor cut short there";
#else
  // Removed, or cut short, between the dialog and the loading; or, after the loading has read
  // it through, cut short, written over with the same size (between the unit question and the
  // analysis), or written over with its modification time put back.
  enum Change {
    removed,
    cut_before_loading,
    cut_during_analysis,
    rewritten,
    rewritten_keeping_its_time
  };
  for (const Change change :
       {removed, cut_before_loading, cut_during_analysis, rewritten, rewritten_keeping_its_time}) {
    TempFolder images;
    images.write("d/r.raw", "abcdef");
    images.write("d/r.txt", "2 3");
    images.write("d/r_scabrosimeter.txt", "earlier report");
    std::vector<int> cells;
    const fs::path raw = fs::path(images.path()) / "d/r.raw";
    // A clock tick apart from any later change, whatever the file system's time resolution.
    set_modification_time(raw, 1000000000);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const Outcome outcome = run_with_answers(images, "d 1 r 0 k", [&](scab::Run& run) {
      try {
        open_dataset(run);
        if (change == removed) fs::remove(raw);
        if (change == cut_before_loading) fs::resize_file(raw, 2);
        load_raster(run);
        prepare_heights(run);
        if (change == cut_during_analysis) fs::resize_file(raw, 2);
        if (change == rewritten || change == rewritten_keeping_its_time)
          images.write("d/r.raw", "abcabc");
        if (change == rewritten_keeping_its_time) set_modification_time(raw, 1000000000);
        std::vector<double> line(static_cast<size_t>(run.dataset.columns));
        if (change == removed || change == cut_before_loading) {
          const std::unique_ptr<LineReader> reader = run.raster->reader();
          for (int i = 0; i < run.dataset.lines; i++) {
            reader->line(i, line.data());
            cells.insert(cells.end(), line.begin(), line.end());
          }
        }
        analyse(run);
        close_results(run);
      } catch (const RunStop& stop) {
        return stop.status;
      }
      return 0;
    });
    const std::string where = "change " + std::to_string(change) + "\n" + outcome.console;
    switch (change) {
      case removed:  // the open file is still read in full
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(cells, (std::vector<int>{'a', 'b', 'c', 'd', 'e', 'f'}));
        EXPECT_EQ(outcome.console.find("Warning"), std::string::npos);
        break;
      case cut_before_loading:  // a short file: zeros and a warning
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(cells, (std::vector<int>{'a', 'b', 0, 0, 0, 0}));
        EXPECT_NE(outcome.console.find("holds 2 bytes where 6 were expected"), std::string::npos);
        break;
      default:  // never read past its end, never two files' figures mixed: a stop
        EXPECT_EQ(outcome.status, 1) << where;
        EXPECT_TRUE(ends_with(outcome.console,
                              "\n\n\tThe file c:\\images\\d\\r.raw changed during the "
                              "analysis: it no longer holds what it held when it was first "
                              "read.\n\tRun the program again once nothing else writes to "
                              "it.\n" +
                                  kUnchanged))
            << where;
        EXPECT_EQ(images.read("d/r_scabrosimeter.txt"), "earlier report") << where;
        EXPECT_EQ(images.list("d"),
                  (std::vector<std::string>{"r.raw", "r.txt", "r_scabrosimeter.txt"}))
            << where;
        break;
    }
  }
#endif
}

TEST(Faults, EveryStopLeavesTheEarlierResultsAsTheyWere) {
  // Each stop comes after the result files were begun.
  struct Case {
    const char* what;
    const char* answers;
    uint64_t memory;  // the ceiling on memory, 0 for none
  };
  const Case cases[] = {
      {"the input ends at the unit question", "d 0 r 0 0", 0},
      {"the input ends after a refused unit", "d 0 r 0 0 7", 0},
      {"memory runs out", "d 0 r 0 0 1 k", 1000},
  };
  for (const Case& c : cases) {
    TempFolder images;
    images.write("d/r_m2.raw", test::bytes16({1, 2, 3, 4, 5, 6, 7, 8, 9}));
    images.write("d/r_m2.txt", "3 3");
    images.write("d/r_scabrosimeter.txt", "earlier report");
    images.write("d/r_scabrosimeter.xls", "earlier table");
    const MemoryCeiling ceiling(c.memory);
    const Outcome outcome = run_with_answers(images, c.answers);
    EXPECT_EQ(outcome.status, 1) << c.what;
    EXPECT_TRUE(ends_with(outcome.console, kUnchanged)) << c.what << "\n" << outcome.console;
    EXPECT_EQ(images.read("d/r_scabrosimeter.txt"), "earlier report") << c.what;
    EXPECT_EQ(images.read("d/r_scabrosimeter.xls"), "earlier table") << c.what;
    EXPECT_EQ(images.list("d"),
              (std::vector<std::string>{"r_m2.raw", "r_m2.txt", "r_scabrosimeter.txt",
                                        "r_scabrosimeter.xls"}))
        << c.what;
  }
}

#ifndef _WIN32
// Lets this process open `more` further files while it lives: a descriptor's number must stay
// below the limit, and new files take the lowest numbers free.
class OpenFilesLimit {
 public:
  explicit OpenFilesLimit(int more) {
    const int lowest_free = open("/dev/null", O_RDONLY);
    close(lowest_free);
    getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = static_cast<rlim_t>(lowest_free + more);
    EXPECT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
  }
  ~OpenFilesLimit() { setrlimit(RLIMIT_NOFILE, &saved_); }

 private:
  rlimit saved_;
};
#endif

TEST(Faults, ADatasetFileThatCannotBeOpenedStopsTheRunWithNothingWritten) {
#ifdef _WIN32
  GTEST_SKIP() << "no limit on open files to lower there";
#else
  // Too many files open: no file may be opened (the raw raster fails), or one (the descriptor
  // fails). Neither is missing: "No File", and a new descriptor over the real one, would be
  // wrong. (A file the program may not read: EndToEnd.AFileTheProgramMayNotReadStopsTheRun.)
  for (const int more : {0, 1}) {
    TempFolder images;
    images.write("d/r.raw", "abcd");
    images.write("d/r.txt", "2 2 1 0 255 30");
    images.write("d/r_scabrosimeter.txt", "earlier report");
    const Outcome outcome = run_with_answers(images, "d 1 r 3 3 1 0 k", [more](scab::Run& run) {
      const OpenFilesLimit limit(more);
      return run_program(run);
    });
    const std::string what =
        more == 0 ? "raw raster c:\\images\\d\\r.raw" : "descriptor file c:\\images\\d\\r.txt";
    EXPECT_EQ(outcome.status, 1) << what;
    EXPECT_TRUE(ends_with(outcome.console,
                          "\n\n\tThe " + what + " could not be opened: " + std::strerror(EMFILE) +
                              ".\n\tCheck that the program may read it (its permissions, the "
                              "limit on open files), then run the program again.\n"))
        << outcome.console;
    EXPECT_EQ(outcome.console.find("No File"), std::string::npos);
    EXPECT_EQ(images.read("d/r.txt"), "2 2 1 0 255 30");
    EXPECT_EQ(images.read("d/r_scabrosimeter.txt"), "earlier report");
    EXPECT_EQ(images.list("d"),
              (std::vector<std::string>{"r.raw", "r.txt", "r_scabrosimeter.txt"}));
  }
#endif
}

#ifdef __linux__
using test::set_immutable;
#endif

TEST(Faults, ResultsThatCannotBeRenamedIntoPlaceLeaveTheEarlierOnes) {
  // After the analysis, and before its results are put in place, a folder is put at the
  // table's name, or the earlier table is made immutable. The report, put in place first, is
  // rolled back (to nothing, when there was no earlier one): both earlier files stand, and the
  // stop says so, worded as the rename that failed.
  enum Block { folder, folder_without_earlier_report, immutable };
  for (const Block block : {folder, folder_without_earlier_report, immutable}) {
    TempFolder images;
    images.write("d/r.raw", "abcdef");
    images.write("d/r.txt", "2 3");
    if (block != folder_without_earlier_report)
      images.write("d/r_scabrosimeter.txt", "earlier report");
    images.write("d/r_scabrosimeter.xls", "earlier table");
    const fs::path table = fs::path(images.path()) / "d/r_scabrosimeter.xls";
    bool blocked = false;
    const Outcome outcome = run_with_answers(images, "d 1 r 0 k", [&](scab::Run& run) {
      try {
        open_dataset(run);
        load_raster(run);
        prepare_heights(run);
        analyse(run);
#ifdef __linux__
        if (block == immutable) blocked = set_immutable(table, true);
#endif
        if (block != immutable) {
          fs::remove(table);
          blocked = fs::create_directory(table);
        }
        close_results(run);
      } catch (const RunStop& stop) {
        return stop.status;
      }
      return 0;
    });
#ifdef __linux__
    if (block == immutable) set_immutable(table, false);
#endif
    if (!blocked) continue;  // a file system without the immutable flag
    const std::string where = "block " + std::to_string(block) + "\n" + outcome.console;
    EXPECT_EQ(outcome.status, 1) << where;
#ifdef _WIN32
    const int over_a_folder = EACCES;  // what Windows says of a rename over a folder
#else
    const int over_a_folder = EISDIR;
#endif
    EXPECT_TRUE(
        ends_with(outcome.console,
                  "\n\n\tThe table file c:\\images\\d\\r_scabrosimeter.xls could not be "
                  "renamed into place: " +
                      std::string(std::strerror(block == immutable ? EPERM : over_a_folder)) +
                      ".\n\tCheck what stands at that name in the folder (a folder, a "
                      "file that may not be replaced), then run the program again.\n" +
                      kUnchanged))
        << where;
    if (block == folder_without_earlier_report) {
      EXPECT_FALSE(images.exists("d/r_scabrosimeter.txt")) << where;
    } else {
      EXPECT_EQ(images.read("d/r_scabrosimeter.txt"), "earlier report") << where;
    }
    if (block == immutable) {
      EXPECT_EQ(images.read("d/r_scabrosimeter.xls"), "earlier table");
    }
    EXPECT_EQ(images.list("d").size(), block == folder_without_earlier_report ? 3u : 4u)
        << "no temporary file is left";
  }
}

TEST(Faults, DescriptorNumbersAreReadWithABoundedLookAhead) {
  // Digits by the megabyte: the message shows the first 40, and the reading stops there (the
  // memory a longer read would take: EndToEnd.AnAddressSpaceLimitEndsInTheProgramsOwnMessages).
  for (const std::string& before : {std::string(), std::string("12 ")}) {
    TempFolder images;
    images.write("d/r.raw", "abcd");
    images.write("d/r.txt", before + std::string(4 << 20, '7') + " 3");
    AllocatorSpy spy;
    const Outcome outcome = run_with_answers(images, "d 1 r 0 k");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(
        ends_with(outcome.console, "does not give the numbers of lines and columns: it holds " +
                                       std::string(40, '7') +
                                       "..., a number too large for the program (at most "
                                       "2147483647).\n\tCorrect its first two numbers "
                                       "(lines, then columns), or delete it to be asked for "
                                       "them, then run the program again.\n"))
        << outcome.console.substr(0, 2000);
    // Leading zeros are digits like any other: within the look-ahead, still a number.
    images.write("d/r.txt", std::string(30, '0') + "2 " + std::string(30, '0') + "2");
    EXPECT_EQ(run_with_answers(images, "d 1 r 0 k").status, 0);
  }
}

TEST(Faults, AControlGroupsMemoryLimitBoundsTheMemoryARunMayUse) {
  // A folder laid out as / is: /proc/self/cgroup and the groups' files under /sys/fs/cgroup.
  TempFolder root;
  const auto v2 = [&root](const std::string& group, const std::string& max,
                          const std::string& current, const std::string& stat) {
    root.write("sys/fs/cgroup" + group + "/memory.max", max + "\n");
    root.write("sys/fs/cgroup" + group + "/memory.current", current + "\n");
    root.write("sys/fs/cgroup" + group + "/memory.stat", stat);
  };
  EXPECT_EQ(control_group_memory_left(root.path()), 0u) << "no /proc/self/cgroup";
  root.write("proc/self/cgroup", "0::/box/run\n");
  EXPECT_EQ(control_group_memory_left(root.path()), 0u) << "no group's files";
  v2("/box/run", "max", "5000", "anon 4000\ninactive_file 1000\n");
  EXPECT_EQ(control_group_memory_left(root.path()), 0u) << "max is no limit";
  // The group's limit less what it uses, its inactive page cache not counted; and a group
  // above it that leaves less.
  v2("/box/run", "1000000", "300000", "anon 100000\ninactive_file 50000\nactive_file 9\n");
  EXPECT_EQ(control_group_memory_left(root.path()), 1000000u - 250000u);
  v2("/box", "600000", "400000", "");
  EXPECT_EQ(control_group_memory_left(root.path()), 200000u);
  v2("/box", "100", "400000", "");  // beyond its limit already: as little as can be
  EXPECT_EQ(control_group_memory_left(root.path()), 1u);
  // A container that sees its own group as the top: the path in /proc is not under it.
  TempFolder container;
  container.write("proc/self/cgroup", "0::/../outside/run\n");
  container.write("sys/fs/cgroup/memory.max", "8000000\n");
  container.write("sys/fs/cgroup/memory.current", "3000000\n");
  EXPECT_EQ(control_group_memory_left(container.path()), 5000000u);
  // cgroup v1: the memory controller's hierarchy, its huge "no limit", and its hierarchical
  // count of inactive file pages; the v2 line beside it holds no memory figures.
  TempFolder v1;
  v1.write("proc/self/cgroup", "5:cpu,cpuacct:/\n4:memory:/job/7\n0::/\n");
  v1.write("sys/fs/cgroup/memory/memory.limit_in_bytes", "9223372036854771712\n");
  v1.write("sys/fs/cgroup/memory/memory.usage_in_bytes", "123456789\n");
  v1.write("sys/fs/cgroup/memory/job/7/memory.limit_in_bytes", "2000000\n");
  v1.write("sys/fs/cgroup/memory/job/7/memory.usage_in_bytes", "900000\n");
  v1.write("sys/fs/cgroup/memory/job/7/memory.stat",
           "inactive_file 1\ntotal_inactive_file 100000\n");
  EXPECT_EQ(control_group_memory_left(v1.path()), 1200000u);
  // This machine's own groups, whatever they are, bound what a run may use.
  const uint64_t left = control_group_memory_left("");
  if (left != 0) {
    EXPECT_LE(usable_memory_bytes(), left);
  }
}

}  // namespace
}  // namespace scab
