// Files that replace their earlier version whole or not at all.
#include "run/pending_file.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

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

}  // namespace
}  // namespace scab
