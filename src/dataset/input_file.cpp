#include "dataset/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <utility>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace scab {
namespace {

FileKind kind_of(const struct stat& status) {
  if (S_ISREG(status.st_mode)) return FileKind::regular;
  if (S_ISDIR(status.st_mode)) return FileKind::directory;
#ifndef _WIN32
  if (S_ISFIFO(status.st_mode)) return FileKind::fifo;
  if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) return FileKind::device;
  if (S_ISSOCK(status.st_mode)) return FileKind::socket;
#else
  if (S_ISCHR(status.st_mode)) return FileKind::device;
#endif
  return FileKind::other;
}

void close_descriptor(int fd) {
#ifdef _WIN32
  _close(fd);
#else
  close(fd);
#endif
}

}  // namespace

const char* describe(FileKind kind) {
  switch (kind) {
    case FileKind::regular:
      return "a file";
    case FileKind::missing:
      return "missing";
    case FileKind::open_failed:
      return "a file that could not be opened";
    case FileKind::directory:
      return "a folder";
    case FileKind::fifo:
      return "a named pipe (FIFO)";
    case FileKind::device:
      return "a device";
    case FileKind::socket:
      return "a socket";
    case FileKind::link_loop:
      return "a symbolic link that leads round in a loop";
    case FileKind::other:
      break;
  }
  return "not a regular file";
}

InputFile::InputFile(const std::string& host_path) {
#ifdef _WIN32
  const int fd = _open(host_path.c_str(), _O_RDONLY | _O_BINARY);
#else
  // Without O_NONBLOCK, opening a named pipe would wait for a writer that may never come.
  const int fd = open(host_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
#endif
  if (fd < 0) {
    // Only "nothing there" counts as missing: a file that may not be read, or that cannot be
    // opened now (too many open files, an I/O error), is there all the same.
    error_ = errno;
    struct stat status;
    if (error_ == ELOOP) {
      kind_ = FileKind::link_loop;
    } else if (error_ == ENOENT || error_ == ENOTDIR) {
      kind_ = FileKind::missing;
    } else if (stat(host_path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
      kind_ = kind_of(status);  // a folder on Windows, a socket elsewhere
    } else {
      kind_ = FileKind::open_failed;
    }
    return;
  }
  take(fd);
}

void InputFile::take(int fd) {
  struct stat status;
  if (fstat(fd, &status) != 0) {
    error_ = errno;
    kind_ = FileKind::open_failed;
    close_descriptor(fd);
    return;
  }
  kind_ = kind_of(status);
  if (kind_ != FileKind::regular) {
    close_descriptor(fd);
    return;
  }
#ifndef _WIN32
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
#endif
  fd_ = fd;
}

InputFile::~InputFile() {
  if (fd_ >= 0) close_descriptor(fd_);
}

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), kind_(other.kind_), error_(other.error_) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  std::swap(fd_, other.fd_);
  std::swap(kind_, other.kind_);
  std::swap(error_, other.error_);
  return *this;
}

int64_t InputFile::read_at(void* into, size_t count, uint64_t offset) const {
  char* bytes = static_cast<char*>(into);
  size_t done = 0;
  while (done < count) {
#ifdef _WIN32
    OVERLAPPED where = {};
    const uint64_t at = offset + done;
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    const DWORD wanted = static_cast<DWORD>(count - done < (1u << 30) ? count - done : 1u << 30);
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(_get_osfhandle(fd_)), bytes + done, wanted, &got,
                  &where)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      errno = EIO;
      return -1;
    }
#else
    const ssize_t got = pread(fd_, bytes + done, count - done, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
#endif
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<int64_t>(done);
}

int InputFile::stamp(FileStamp& out) const {
#ifdef _WIN32
  struct _stat64 status;
  if (_fstat64(fd_, &status) != 0) return errno;
  out.modified_seconds = status.st_mtime;
  out.changed_seconds = status.st_ctime;
#else
  struct stat status;
  if (fstat(fd_, &status) != 0) return errno;
  out.modified_seconds = status.st_mtime;
  out.changed_seconds = status.st_ctime;
#if defined(__APPLE__)
  out.modified_nanoseconds = status.st_mtimespec.tv_nsec;
  out.changed_nanoseconds = status.st_ctimespec.tv_nsec;
#else
  out.modified_nanoseconds = status.st_mtim.tv_nsec;
  out.changed_nanoseconds = status.st_ctim.tv_nsec;
#endif
#endif
  out.size = static_cast<uint64_t>(status.st_size);
  return 0;
}

FILE* InputFile::release_as_stream() {
  const int fd = std::exchange(fd_, -1);
  if (fd < 0) return nullptr;
#ifdef _WIN32
  FILE* stream = _fdopen(fd, "rb");
#else
  FILE* stream = fdopen(fd, "rb");
#endif
  if (!stream) close_descriptor(fd);
  return stream;
}

}  // namespace scab
