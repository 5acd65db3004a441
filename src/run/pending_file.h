// Files that replace their earlier version whole or not at all.
//
// A pending file is written to a new temporary file in the folder of its final name and takes
// that name only when it is committed: once everything written to it has reached the system,
// one rename puts it in place of the earlier file. Until then the earlier file is untouched, and
// a pending file that is never committed (a stop, a failure, a signal) is removed.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace scab {

class PendingFile {
 public:
  // A new temporary file beside `final_path` (a host path), open for writing: in text mode
  // when `text` (as fopen's "w"), else in binary mode. Null when it cannot be made; `error`
  // then holds the system's error number. A directory standing at `final_path` is found here
  // (EISDIR), before anything is written.
  static std::unique_ptr<PendingFile> create(const std::string& final_path, bool text, int& error);

  // Removes the temporary file unless it was committed.
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  FILE* stream() const { return stream_; }
  const std::string& final_path() const { return final_path_; }
  const std::string& temporary_path() const { return temporary_path_; }

  // Flushes and closes the stream; 0 when everything written reached the file, otherwise the
  // error number of the first failure (EIO when the system gave none). Called once.
  int finish();

  // Renames the finished file over its final name; 0 or the error number. Called after a
  // successful finish().
  int commit();

 private:
  PendingFile(std::string final_path, std::string temporary_path, FILE* stream);
  void forget();

  std::string final_path_;
  std::string temporary_path_;
  FILE* stream_;
  bool committed_ = false;
};

// Finishes every file of `files`, then, only when all of them are complete, renames them in
// turn over their final names, with the folder locked against another run doing the same, so
// that two runs at once each leave a consistent set (the last to finish wins). Gives, for each
// file, 0 or the error number that kept the set from being committed: when one of them is not
// complete, none is renamed; when a rename fails, the files after it are not renamed either
// (ECANCELED), though those before it were.
std::vector<int> commit_together(const std::vector<PendingFile*>& files);

// Flushes and closes `file`; 0 when everything written to it reached the file, otherwise the
// error number of the failure (EIO when the system gave none).
int close_checked(FILE* file);

// From now on SIGINT, SIGTERM, SIGHUP and SIGPIPE first remove every pending temporary file,
// then end the process as they would have; SIGXFSZ is ignored, so that a file size limit shows
// as a write that fails. For the program's main alone: a test process keeps its own handlers.
void install_signal_cleanup();

}  // namespace scab
