// Files that replace their earlier version whole or not at all.
#include "dataset/pending_file.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "dataset/signals.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace scab {
namespace {

using test::TempFolder;

std::unique_ptr<PendingFile> begin(const TempFolder& folder, const std::string& name,
                                   const std::string& text) {
  int error = -1;
  std::unique_ptr<PendingFile> file =
      PendingFile::create((fs::path(folder.path()) / name).string(), true, error);
  EXPECT_TRUE(file) << name;
  EXPECT_EQ(error, 0);
  if (file) fputs(text.c_str(), file->stream());
  return file;
}

TEST(PendingFile, TakesItsNameOnlyWhenCommitted) {
  TempFolder folder;
  folder.write("report.txt", "earlier");
  {
    std::unique_ptr<PendingFile> file = begin(folder, "report.txt", "new text");
    fflush(file->stream());
    EXPECT_EQ(folder.read("report.txt"), "earlier");
    EXPECT_EQ(folder.list("").size(), 2u) << "the temporary file sits beside the final one";
    ASSERT_EQ(file->finish(), 0);
    ASSERT_EQ(file->commit(), 0);
  }
  EXPECT_EQ(folder.read("report.txt"), "new text");
  EXPECT_EQ(folder.list(""), std::vector<std::string>{"report.txt"});
  // Not committed: removed, and the earlier file stands.
  { begin(folder, "report.txt", "abandoned"); }
  EXPECT_EQ(folder.read("report.txt"), "new text");
  EXPECT_EQ(folder.list(""), std::vector<std::string>{"report.txt"});
}

TEST(PendingFile, WhatStandsInTheWayIsFoundWhenItIsCreated) {
  TempFolder folder;
  folder.make_folder("report.txt");
  int error = 0;
  EXPECT_FALSE(PendingFile::create((fs::path(folder.path()) / "report.txt").string(), true, error));
  EXPECT_EQ(error, EISDIR);
  EXPECT_FALSE(
      PendingFile::create((fs::path(folder.path()) / "missing/report.txt").string(), true, error));
  EXPECT_EQ(error, ENOENT);
  EXPECT_EQ(folder.list(""), std::vector<std::string>{"report.txt"});
}

TEST(PendingFile, ASetIsCommittedWholeOrNotAtAll) {
  TempFolder folder;
  folder.write("a.txt", "earlier a");
  folder.write("b.txt", "earlier b");
  {
    std::unique_ptr<PendingFile> a = begin(folder, "a.txt", "new a");
    std::unique_ptr<PendingFile> b = begin(folder, "b.txt", "new b");
    // The file under the stream goes: what it holds can no longer be written, as on a full
    // device.
    close(fileno(b->stream()));
    const std::vector<int> errors = commit_together({a.get(), b.get()});
    EXPECT_EQ(errors.at(0), 0);
    EXPECT_NE(errors.at(1), 0);
  }
  EXPECT_EQ(folder.read("a.txt"), "earlier a");
  EXPECT_EQ(folder.read("b.txt"), "earlier b");
  EXPECT_EQ(folder.list(""), (std::vector<std::string>{"a.txt", "b.txt"}));
  {
    std::unique_ptr<PendingFile> a = begin(folder, "a.txt", "newer a");
    std::unique_ptr<PendingFile> b = begin(folder, "b.txt", "newer b");
    fputs("more", b->stream());
    EXPECT_EQ(commit_together({a.get(), b.get()}), (std::vector<int>{0, 0}));
  }
  EXPECT_EQ(folder.read("a.txt"), "newer a");
  EXPECT_EQ(folder.read("b.txt"), "newer bmore");
  EXPECT_EQ(folder.list(""), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST(PendingFile, CloseCheckedGivesTheErrorOfAWriteThatFailed) {
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

TEST(PendingFile, TemporaryNamesAreShortAndFixed) {
  TempFolder folder;
  const std::string long_name(200, 'x');
  std::unique_ptr<PendingFile> file = begin(folder, long_name, "text");
  ASSERT_TRUE(file);
  const std::string temporary = fs::path(file->temporary_path()).filename().string();
  EXPECT_EQ(temporary.compare(0, 6, ".scab-"), 0) << temporary;
  EXPECT_LE(temporary.size(), 30u) << temporary;
  EXPECT_EQ(fs::path(file->temporary_path()).parent_path(), fs::path(folder.path()));
}

TEST(PendingFile, ANewFileNeverReplacesOneThatAppearedMeanwhile) {
  TempFolder folder;
  std::unique_ptr<PendingFile> file = begin(folder, "r.txt", "new");
  folder.write("r.txt", "written by another");
  ASSERT_EQ(file->finish(), 0);
  EXPECT_EQ(file->commit_new(), EEXIST);
  EXPECT_FALSE(file->replaced());
  file.reset();
  EXPECT_EQ(folder.read("r.txt"), "written by another");
  EXPECT_EQ(folder.list(""), std::vector<std::string>{"r.txt"});
  file = begin(folder, "s.txt", "new");
  ASSERT_EQ(file->finish(), 0);
  EXPECT_EQ(file->commit_new(), 0);
  file.reset();
  EXPECT_EQ(folder.read("s.txt"), "new");
  EXPECT_EQ(folder.list(""), (std::vector<std::string>{"r.txt", "s.txt"}));
}

#ifndef _WIN32
// The number of a process that has just ended.
pid_t ended_process() {
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
}

TEST(PendingFile, StaleTemporaryFilesOfEndedProcessesAreRemoved) {
  TempFolder folder;
  const std::string dead = std::to_string(ended_process());
  const std::string alive = std::to_string(getppid());
  for (const std::string& name :
       {".scab-" + dead + "-0.tmp", ".scab-" + dead + "-1.tmp", ".scab-" + alive + "-0.tmp",
        ".scab-" + dead + "-x.tmp", ".scab-" + dead + "-2.tmp.keep", std::string("results.txt")})
    folder.write(name, "left");
  // A file that a live process holds locked is its pending file, whatever its number says
  // (a process of another PID namespace).
  const int held = open((fs::path(folder.path()) / (".scab-" + dead + "-1.tmp")).c_str(), O_RDONLY);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  std::unique_ptr<PendingFile> file = begin(folder, "results.txt", "new");
  close(held);
  ASSERT_EQ(file->finish(), 0);
  ASSERT_EQ(file->commit(), 0);
  std::vector<std::string> kept = {".scab-" + alive + "-0.tmp", ".scab-" + dead + "-1.tmp",
                                   ".scab-" + dead + "-2.tmp.keep", ".scab-" + dead + "-x.tmp",
                                   "results.txt"};
  std::sort(kept.begin(), kept.end());  // the process numbers' order is anyone's
  EXPECT_EQ(folder.list(""), kept);
}

TEST(PendingFile, SignalsWaitWhileASetIsPutInPlace) {
  // In a child process that installs the cleanup: a signal raised while signals are held back,
  // by the thread that holds them or by another one (started before, as a library's would
  // be), takes effect only once they are let go; then it removes the pending file and ends the
  // process.
  TempFolder folder;
  for (const bool other_thread : {false, true}) {
    const auto hold_and_signal = [&] {
      install_signal_cleanup();
      std::unique_ptr<PendingFile> file = begin(folder, "r.txt", "new");
      std::atomic<bool> go{false};
      std::thread other([&go, other_thread] {
        while (!go.load())
          std::this_thread::yield();
        if (other_thread) raise(SIGUSR1);
      });
      {
        const SignalsHeldBack held_back;
        if (!other_thread) raise(SIGUSR1);
        go.store(true);
        other.join();
        if (!fs::exists(file->temporary_path())) _exit(3);
        folder.write("went on", "");  // the signal waits
      }
      _exit(4);  // not reached: SIGUSR1 ends the process
    };
    EXPECT_EXIT(hold_and_signal(), ::testing::KilledBySignal(SIGUSR1), "") << other_thread;
    EXPECT_EQ(folder.list(""), std::vector<std::string>{"went on"}) << other_thread;
    fs::remove(fs::path(folder.path()) / "went on");
  }
}
#endif

}  // namespace
}  // namespace scab
