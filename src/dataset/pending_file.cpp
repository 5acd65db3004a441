#include "dataset/pending_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "dataset/signals.h"

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <dirent.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace scab {
namespace {

// The temporary files not yet committed or removed, where a signal handler can find them: a
// handler may only call what is safe in one, so the paths sit in fixed slots that it reads
// without a lock. A slot is filled before it is marked used, and marked unused before it is
// reused.
constexpr int kSlots = 16;
constexpr size_t kSlotPathBytes = 4096;
char slot_paths[kSlots][kSlotPathBytes];
std::atomic<bool> slot_used[kSlots];

int remember(const std::string& path) {
  if (path.size() >= kSlotPathBytes) return -1;
  for (int k = 0; k < kSlots; k++) {
    bool expected = false;
    if (slot_used[k].load() || !slot_used[k].compare_exchange_strong(expected, true)) continue;
    // Taken, but not yet filled: a handler that runs now finds the previous path there, or
    // an empty one, and removing either does no harm (the previous file is gone already).
    std::memcpy(slot_paths[k], path.c_str(), path.size() + 1);
    return k;
  }
  return -1;  // more pending files than slots: this one is removed on normal paths only
}

void forget_slot(const std::string& path) {
  for (int k = 0; k < kSlots; k++) {
    if (slot_used[k].load() && path == slot_paths[k]) {
      slot_used[k].store(false);
      return;
    }
  }
}

int process_number() {
#ifdef _WIN32
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

int open_new_file(const std::string& path, bool text) {
#ifdef _WIN32
  return _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | (text ? _O_TEXT : _O_BINARY),
               _S_IREAD | _S_IWRITE);
#else
  (void)text;
  return open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
#endif
}

void close_descriptor(int fd) {
#ifdef _WIN32
  _close(fd);
#else
  close(fd);
#endif
}

int rename_over(const std::string& from, const std::string& to) {
#ifdef _WIN32
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return 0;
  return GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
#else
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
#endif
}

// The path of the file `name` in the folder of `path`.
std::string beside(const std::string& path, const std::string& name) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? name : path.substr(0, slash + 1) + name;
}

std::string folder_of(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

// A temporary name of this process not yet given out: ".scab-PID-N.tmp".
std::string new_temporary_name(const std::string& final_path) {
  static std::atomic<unsigned> counter{0};
  return beside(final_path, ".scab-" + std::to_string(process_number()) + "-" +
                                std::to_string(counter++) + ".tmp");
}

// Holds an exclusive lock on a folder while it lives, where the system has such locks; two
// runs that commit their results into the same folder take turns.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder) {
#ifndef _WIN32
    fd_ = open(folder.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ >= 0) flock(fd_, LOCK_EX);
#else
    (void)folder;
#endif
  }
  ~FolderLock() {
#ifndef _WIN32
    if (fd_ >= 0) close(fd_);  // closing releases the lock
#endif
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_ = -1;
};

#ifndef _WIN32
// The process number in a temporary name, or -1 for any other name.
long owner_of(const char* name) {
  const auto digits = [](const char*& at) {
    const char* from = at;
    while (*at >= '0' && *at <= '9')
      at++;
    return at > from && at - from <= 10;
  };
  if (std::strncmp(name, ".scab-", 6) != 0) return -1;
  const char* at = name + 6;
  if (!digits(at) || *at != '-') return -1;
  const long pid = std::atol(name + 6);
  at++;
  if (!digits(at) || std::strcmp(at, ".tmp") != 0) return -1;
  return pid > 0 ? pid : -1;
}
#endif

// Removes the temporary files that processes which no longer exist left in `folder`: names of
// the pattern whose process number is no process's now (kill gives ESRCH), and that no process
// holds locked (a live process of another PID namespace does, while its file is pending). The
// folder's lock keeps out a commit, whose kept earlier files are not locked.
void remove_stale_files(const std::string& folder) {
#ifndef _WIN32
  const FolderLock lock(folder);
  DIR* entries = opendir(folder.c_str());
  if (!entries) return;
  while (const dirent* entry = readdir(entries)) {
    const long pid = owner_of(entry->d_name);
    if (pid < 0 || pid == process_number()) continue;
    if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    const std::string path = folder + "/" + entry->d_name;
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) unlink(path.c_str());
    close(fd);
  }
  closedir(entries);
#else
  (void)folder;  // no process numbers to ask about there
#endif
}

// Sweeps each folder once in a process: the program makes its few files in one folder.
void remove_stale_files_once(const std::string& folder) {
  static std::string swept;
  if (folder == swept) return;
  remove_stale_files(folder);
  swept = folder;
}

// Locks the new temporary file `fd` against a later run's sweep; gives a descriptor that keeps
// the lock until it is closed, or -1.
int lock_pending(int fd) {
#ifndef _WIN32
  const int lock = dup(fd);
  if (lock >= 0 && flock(lock, LOCK_EX | LOCK_NB) != 0) {
    close(lock);
    return -1;
  }
  return lock;
#else
  (void)fd;
  return -1;
#endif
}

// Keeps the earlier file at `final_path` under a new temporary name, `kept`, while a new one
// takes its place: a second hard link, or where the system has none, the file renamed aside.
// Nothing standing there, or a folder (the rename that follows fails on it), keeps nothing.
// Gives 0 or the error number.
int keep_earlier(const std::string& final_path, std::string& kept) {
  kept.clear();
  struct stat status;
#ifdef _WIN32
  if (stat(final_path.c_str(), &status) != 0) return errno == ENOENT ? 0 : errno;
#else
  if (lstat(final_path.c_str(), &status) != 0) return errno == ENOENT ? 0 : errno;
#endif
  if (S_ISDIR(status.st_mode)) return 0;
  const std::string name = new_temporary_name(final_path);
#ifndef _WIN32
  // A symbolic link standing at the final name is kept itself: linkat does not follow it.
  if (linkat(AT_FDCWD, final_path.c_str(), AT_FDCWD, name.c_str(), 0) == 0) {
    kept = name;
    return 0;
  }
#endif
  const int error = rename_over(final_path, name);
  if (error == 0) kept = name;
  return error;
}

// What would keep `final_path` from being taken at the end, found before anything is written:
// EISDIR for a folder standing there, the system's error for a name it does not accept (too
// long, say); 0 when none.
int final_name_refusal(const std::string& final_path) {
  struct stat status;
  if (stat(final_path.c_str(), &status) != 0) return errno == ENOENT ? 0 : errno;
  return S_ISDIR(status.st_mode) ? EISDIR : 0;
}

void remove_file(const std::string& path) {
#ifdef _WIN32
  _unlink(path.c_str());
#else
  unlink(path.c_str());
#endif
}

}  // namespace

void remove_pending_files_now() {
  for (int k = 0; k < kSlots; k++) {
    if (slot_used[k].load()) {
#ifdef _WIN32
      _unlink(slot_paths[k]);
#else
      unlink(slot_paths[k]);
#endif
    }
  }
}

PendingFile::PendingFile(std::string final_path, std::string temporary_path, FILE* stream, int lock)
    : final_path_(std::move(final_path)),
      temporary_path_(std::move(temporary_path)),
      stream_(stream),
      lock_(lock) {}

std::unique_ptr<PendingFile> PendingFile::create(const std::string& final_path, bool text,
                                                 int& error) {
  error = final_name_refusal(final_path);
  if (error != 0) return nullptr;
  remove_stale_files_once(folder_of(final_path));
  for (int attempt = 0; attempt < 1000; attempt++) {
    const std::string temporary = new_temporary_name(final_path);
    const int slot = remember(temporary);
    const int fd = open_new_file(temporary, text);
    if (fd < 0) {
      error = errno;
      if (slot >= 0) slot_used[slot].store(false);
      if (error == EEXIST) continue;
      return nullptr;
    }
    const int lock = lock_pending(fd);
#ifdef _WIN32
    FILE* stream = _fdopen(fd, text ? "w" : "wb");
#else
    FILE* stream = fdopen(fd, text ? "w" : "wb");
#endif
    if (!stream) {
      error = errno;
      close_descriptor(fd);
      if (lock >= 0) close_descriptor(lock);
      remove_file(temporary);
      if (slot >= 0) slot_used[slot].store(false);
      return nullptr;
    }
    error = 0;
    return std::unique_ptr<PendingFile>(new PendingFile(final_path, temporary, stream, lock));
  }
  error = EEXIST;
  return nullptr;
}

PendingFile::~PendingFile() {
  if (stream_) fclose(stream_);
  if (!committed_) remove_file(temporary_path_);
  forget();
}

void PendingFile::forget() {
  forget_slot(temporary_path_);
  if (lock_ >= 0) close_descriptor(lock_);
  lock_ = -1;
}

int PendingFile::finish() {
  if (finished_) return finish_error_;
  finished_ = true;
  FILE* stream = stream_;
  stream_ = nullptr;
  finish_error_ = stream ? close_checked(stream) : EIO;
  return finish_error_;
}

int PendingFile::commit() {
  const int error = rename_over(temporary_path_, final_path_);
  if (error == 0) {
    committed_ = true;
    forget();
  }
  return error;
}

int PendingFile::commit_new() {
#ifdef _WIN32
  if (!MoveFileExA(temporary_path_.c_str(), final_path_.c_str(), MOVEFILE_WRITE_THROUGH))
    return GetLastError() == ERROR_ALREADY_EXISTS ? EEXIST : EIO;
#else
  // A second link fails on an existing name, where a rename would replace it. A file system
  // without links: the rename, after a look at the name.
  if (link(temporary_path_.c_str(), final_path_.c_str()) == 0) {
    unlink(temporary_path_.c_str());
  } else {
    if (errno == EEXIST) return EEXIST;
    struct stat status;
    if (lstat(final_path_.c_str(), &status) == 0) return EEXIST;
    if (const int error = rename_over(temporary_path_, final_path_)) return error;
  }
#endif
  committed_ = true;
  forget();
  return 0;
}

int PendingFile::roll_back(const std::string& kept) {
  int error = 0;
  if (kept.empty()) {
    error = std::remove(final_path_.c_str()) == 0 ? 0 : errno;
  } else {
    error = rename_over(kept, final_path_);
  }
  if (error == 0) committed_ = false;
  return error;
}

std::vector<int> commit_together(const std::vector<PendingFile*>& files) {
  std::vector<int> errors;
  bool complete = true;
  for (PendingFile* file : files) {
    errors.push_back(file->finish());
    complete &= errors.back() == 0;
  }
  if (!complete || files.empty()) return errors;
  const SignalsHeldBack held_back;
  const FolderLock lock(folder_of(files.front()->final_path()));
  std::vector<std::string> kept(files.size());
  size_t failed = files.size();
  for (size_t k = 0; k < files.size() && failed == files.size(); k++) {
    errors[k] = keep_earlier(files[k]->final_path(), kept[k]);
    if (errors[k] != 0) failed = k;
  }
  for (size_t k = 0; k < files.size() && failed == files.size(); k++) {
    errors[k] = files[k]->commit();
    if (errors[k] != 0) failed = k;
  }
  if (failed < files.size()) {
    // Back to the earlier set: the files renamed before the failure, in reverse order; then
    // the earlier files of the others, where they were renamed aside (where they were linked,
    // the kept name and the final one are the same file, and the rename does nothing).
    for (size_t k = failed; k-- > 0;) {
      if (files[k]->roll_back(kept[k]) == 0) errors[k] = ECANCELED;
    }
    for (size_t k = failed; k < files.size(); k++) {
      if (!kept[k].empty() && rename_over(kept[k], files[k]->final_path()) != 0)
        kept[k].clear();  // its only copy now: left where it is
      if (k > failed) errors[k] = ECANCELED;
    }
  }
  // What is left under a kept name: a second link to a file back at its final name, or the
  // earlier version of a file that stays replaced.
  for (const std::string& name : kept) {
    if (!name.empty()) remove_file(name);
  }
  return errors;
}

int close_checked(FILE* file) {
  // The error indicator is sticky: a write that failed at any time since the file was opened
  // shows here. What the buffer still holds is written now, and may fail afresh.
  const bool failed_before = ferror(file) != 0;
  const int error_before = errno;
  errno = 0;
  const bool flushed = fflush(file) == 0;
  int error = flushed ? 0 : errno;
  errno = 0;
  const bool closed = fclose(file) == 0;
  if (!closed && error == 0) error = errno;
  if (failed_before && error == 0) error = error_before;
  if ((failed_before || !flushed || !closed) && error == 0) error = EIO;
  return error;
}

}  // namespace scab
