// The immutable flag of a file, for tests of results that cannot be put in place: root may
// write over a file whatever its permission bits, but not over an immutable one. Linux only.
#pragma once

#ifdef __linux__
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>

namespace scab::test {

// Makes `path` immutable, or no longer: not even root may then replace, rename or remove it.
// False where the file system has no such flag.
inline bool set_immutable(const std::filesystem::path& path, bool immutable) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
  done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  close(fd);
  return done;
}

}  // namespace scab::test
#endif
