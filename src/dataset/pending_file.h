// Files that replace their earlier version whole or not at all.
//
// A pending file is written to a new temporary file in the folder of its final name and takes
// that name only when it is committed: once everything written to it has reached the system,
// one rename puts it in place of the earlier file. Until then the earlier file is untouched, and
// a pending file that is never committed (a stop, a failure, a signal) is removed.
//
// Temporary names are short and fixed, whatever the final name: `.scab-PID-N.tmp` in the same
// folder, PID the process's number. So every final name that the file system accepts can be
// written, and a later run can tell the temporary files of a process that no longer exists (one
// killed by SIGKILL, a power cut): it removes them before it makes its own in that folder.
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
  // (EISDIR), before anything is written. Stale temporary files in the folder go first.
  static std::unique_ptr<PendingFile> create(const std::string& final_path, bool text, int& error);

  // Removes the temporary file unless it was committed.
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  FILE* stream() const { return stream_; }
  const std::string& final_path() const { return final_path_; }
  const std::string& temporary_path() const { return temporary_path_; }
  // Whether the new file stands at its final name: committed, and not rolled back.
  bool replaced() const { return committed_; }

  // Flushes and closes the stream; 0 when everything written reached the file, otherwise the
  // error number of the first failure (EIO when the system gave none). A second call gives
  // the first one's result.
  int finish();

  // Renames the finished file over its final name; 0 or the error number. Called after a
  // successful finish().
  int commit();

  // As commit(), but only where nothing stands at the final name: an existing file is never
  // replaced (EEXIST).
  int commit_new();

  // Puts the earlier file, kept under the name `kept` ("" when there was none), back at the
  // final name of this committed file; 0 or the error number.
  int roll_back(const std::string& kept);

 private:
  PendingFile(std::string final_path, std::string temporary_path, FILE* stream, int lock);
  void forget();

  std::string final_path_;
  std::string temporary_path_;
  FILE* stream_;
  int lock_;  // a descriptor of the temporary file, locked while it is pending; -1 for none
  bool finished_ = false;
  int finish_error_ = 0;
  bool committed_ = false;
};

// Finishes every file of `files` not yet finished, then, only when all of them are complete,
// puts them in place together, with the catchable signals held back and the folder locked
// against another run doing the same (two runs at once each leave a consistent set; the last
// to finish wins). Each earlier file is kept under a temporary name until every new one stands
// at its final name; when a rename fails, the files renamed before it are rolled back to their
// earlier versions. Gives, for each file, 0 when its new version now stands at its final name,
// otherwise the error number of its own failure (a write, a rename), or ECANCELED when it was
// left alone or rolled back because another failed. A file whose rollback failed gives 0 (it
// is new) while another gives its failure (it is old): replaced() tells them apart too.
std::vector<int> commit_together(const std::vector<PendingFile*>& files);

// Flushes and closes `file`; 0 when everything written to it reached the file, otherwise the
// error number of the failure (EIO when the system gave none).
int close_checked(FILE* file);

// Removes every pending temporary file. Safe in a signal handler (dataset/signals.h): it calls only
// what is safe there.
void remove_pending_files_now();

}  // namespace scab
