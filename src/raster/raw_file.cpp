#include "raster/raw_file.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <utility>

namespace scab {

RawFile::RawFile(InputFile file, int lines, int columns, int width)
    : file_(std::move(file)),
      lines_(lines),
      columns_(columns),
      width_(width),
      line_bytes_(static_cast<uint64_t>(columns) * static_cast<uint64_t>(width)) {
  assert(lines >= 1 && columns >= 1 && (width == 1 || width == 2 || width == 4));
  if (const int error = file_.stamp(stamp_)) throw RasterReadError(error);
  // The size may only change by a write that the status shows: what the file holds of the
  // raster is what its size reaches.
  found_ = std::min(stamp_.size, bytes_expected());
}

void RawFile::read_lines(int first, int count, unsigned char* bytes) const {
  assert(first >= 0 && count >= 0 && first + count <= lines_);
  const uint64_t offset = static_cast<uint64_t>(first) * line_bytes_;
  const uint64_t wanted = static_cast<uint64_t>(count) * line_bytes_;
  const uint64_t held = found_ > offset ? std::min(found_ - offset, wanted) : 0;
  // The whole block is asked for, even beyond the size: a file whose reads fail says so here,
  // whatever size its status gives (one of /proc, say). What lies beyond the size is not kept.
  const int64_t got = file_.read_at(bytes, static_cast<size_t>(wanted), offset);
  if (got < 0) throw RasterReadError(errno != 0 ? errno : EIO);
  if (static_cast<uint64_t>(got) < held) throw RasterChanged();
  check_unchanged();
  std::memset(bytes + held, 0, static_cast<size_t>(wanted - held));
}

void RawFile::check_unchanged() const {
  FileStamp now;
  if (const int error = file_.stamp(now)) throw RasterReadError(error);
  if (now != stamp_) throw RasterChanged();
}

void decode_samples(int width, const unsigned char* bytes, long n, int32_t* out) {
  assert((width == 1 || width == 2 || width == 4) && n >= 0);
  for (long j = 0; j < n; j++) {
    const unsigned char* b = bytes + width * j;
    if (width == 1) {
      out[j] = b[0];
    } else if (width == 2) {
      out[j] = b[0] | b[1] << 8;
    } else {
      out[j] = static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                                    static_cast<uint32_t>(b[2]) << 16 |
                                    static_cast<uint32_t>(b[3]) << 24);
    }
  }
}

}  // namespace scab
