// Opening a dataset file for reading without trusting what stands at its path, and reading it
// at given offsets.
//
// A dataset file must be a regular file. Whatever else may stand in its place (a folder, a
// named pipe, a device, a symbolic link that leads round in a loop) is told apart, so that the
// program can say what it found; and the file is opened without blocking, so that a named pipe
// with no writer cannot hold the program up.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace scab {

enum class FileKind {
  regular,      // opened
  missing,      // nothing there (ENOENT; ENOTDIR for a path through a file)
  open_failed,  // something may be there, but it could not be opened: error() says why
  directory,
  fifo,    // a named pipe
  device,  // a character or block device
  socket,
  link_loop,  // a symbolic link that leads round in a loop, or through too many links
  other,
};

// What the kind of file is, for a message: "a folder", "a named pipe (FIFO)", ...
const char* describe(FileKind kind);

// What a file's status says of its contents: a write, a truncation or a copy over it changes
// one of these (a copy that keeps the modification time still sets the change time).
struct FileStamp {
  uint64_t size = 0;
  int64_t modified_seconds = 0, modified_nanoseconds = 0;
  int64_t changed_seconds = 0, changed_nanoseconds = 0;

  bool operator==(const FileStamp& other) const {
    return size == other.size && modified_seconds == other.modified_seconds &&
           modified_nanoseconds == other.modified_nanoseconds &&
           changed_seconds == other.changed_seconds &&
           changed_nanoseconds == other.changed_nanoseconds;
  }
  bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

// A file open for reading, closed when it goes.
class InputFile {
 public:
  InputFile() = default;
  // Opens `host_path` for reading. kind() tells what stands there; the file is open only when
  // it is a regular file. error() is the system's error number when nothing could be opened.
  explicit InputFile(const std::string& host_path);
  ~InputFile();
  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  FileKind kind() const { return kind_; }
  int error() const { return error_; }
  bool is_open() const { return fd_ >= 0; }

  // Reads up to `count` bytes from `offset` on, whatever other threads read meanwhile; gives
  // the bytes read (fewer only at the end of the file), or -1 with errno set.
  int64_t read_at(void* into, size_t count, uint64_t offset) const;

  // What the file's status says of its contents now; 0, or the system's error number.
  int stamp(FileStamp& out) const;

  // Hands the open file over as a binary stream, for reading from its start; the InputFile no
  // longer holds it. Null (and the file closed) when that fails.
  FILE* release_as_stream();

 private:
  void take(int fd);

  int fd_ = -1;
  FileKind kind_ = FileKind::missing;
  int error_ = 0;
};

}  // namespace scab
