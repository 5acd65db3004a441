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
  regular,  // opened
  missing,  // nothing there, or nothing the program may open
  directory,
  fifo,    // a named pipe
  device,  // a character or block device
  socket,
  link_loop,  // a symbolic link that leads round in a loop, or through too many links
  other,
};

// What the kind of file is, for a message: "a folder", "a named pipe (FIFO)", ...
const char* describe(FileKind kind);

// A file open for reading, closed when it goes.
class InputFile {
 public:
  InputFile() = default;
  // Opens `host_path` for reading. kind() tells what stands there; the file is open only when
  // it is a regular file. `error` is the system's error number when nothing could be opened.
  explicit InputFile(const std::string& host_path);
  ~InputFile();
  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  FileKind kind() const { return kind_; }
  int error() const { return error_; }
  bool is_open() const { return fd_ >= 0; }
  int descriptor() const { return fd_; }

  // Reads up to `count` bytes from `offset` on, whatever other threads read meanwhile; gives
  // the bytes read (fewer only at the end of the file), or -1 with errno set.
  int64_t read_at(void* into, size_t count, uint64_t offset) const;

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
