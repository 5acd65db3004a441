#include "run/pending_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
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

extern "C" void remove_pending_files_and_end(int signal_number) {
  for (int k = 0; k < kSlots; k++) {
    if (slot_used[k].load()) {
#ifdef _WIN32
      _unlink(slot_paths[k]);
#else
      unlink(slot_paths[k]);
#endif
    }
  }
  // The handler was installed to run once: the signal, raised again, now takes its default
  // action as soon as this handler returns.
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
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

int process_number() {
#ifdef _WIN32
  return _getpid();
#else
  return static_cast<int>(getpid());
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

std::string folder_of(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
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

}  // namespace

PendingFile::PendingFile(std::string final_path, std::string temporary_path, FILE* stream)
    : final_path_(std::move(final_path)),
      temporary_path_(std::move(temporary_path)),
      stream_(stream) {}

std::unique_ptr<PendingFile> PendingFile::create(const std::string& final_path, bool text,
                                                 int& error) {
  struct stat status;
  if (stat(final_path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    error = EISDIR;
    return nullptr;
  }
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 1000; attempt++) {
    const std::string temporary =
        final_path + ".tmp-" + std::to_string(process_number()) + "-" + std::to_string(counter++);
    const int slot = remember(temporary);
    const int fd = open_new_file(temporary, text);
    if (fd < 0) {
      error = errno;
      if (slot >= 0) slot_used[slot].store(false);
      if (error == EEXIST) continue;
      return nullptr;
    }
#ifdef _WIN32
    FILE* stream = _fdopen(fd, text ? "w" : "wb");
#else
    FILE* stream = fdopen(fd, text ? "w" : "wb");
#endif
    if (!stream) {
      error = errno;
      close(fd);
      std::remove(temporary.c_str());
      if (slot >= 0) slot_used[slot].store(false);
      return nullptr;
    }
    error = 0;
    return std::unique_ptr<PendingFile>(new PendingFile(final_path, temporary, stream));
  }
  error = EEXIST;
  return nullptr;
}

PendingFile::~PendingFile() {
  if (stream_) fclose(stream_);
  if (!committed_) std::remove(temporary_path_.c_str());
  forget();
}

void PendingFile::forget() {
  forget_slot(temporary_path_);
}

int PendingFile::finish() {
  FILE* stream = stream_;
  stream_ = nullptr;
  return stream ? close_checked(stream) : EIO;
}

int PendingFile::commit() {
  const int error = rename_over(temporary_path_, final_path_);
  if (error == 0) {
    committed_ = true;
    forget();
  }
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
  const FolderLock lock(folder_of(files.front()->final_path()));
  for (size_t k = 0; k < files.size(); k++) {
    errors[k] = files[k]->commit();
    if (errors[k] == 0) continue;
    // The files after it stay where they are, as the earlier ones do.
    for (size_t later = k + 1; later < files.size(); later++)
      errors[later] = ECANCELED;
    break;
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

void install_signal_cleanup() {
#ifdef _WIN32
  for (const int signal_number : {SIGINT, SIGTERM, SIGBREAK})
    std::signal(signal_number, remove_pending_files_and_end);
#else
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = remove_pending_files_and_end;
  sigemptyset(&action.sa_mask);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
    sigaddset(&action.sa_mask, signal_number);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
    sigaction(signal_number, &action, nullptr);
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}

}  // namespace scab
