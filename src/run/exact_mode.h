// The exact figures of a run: what run/exact_mode.cpp reads the raw file through. Only where the
// exact engine is built.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "exact/driver.h"
#include "raster/raw_file.h"

namespace scab {

// The raw file's lines as the exact engine reads them, through the program's own reading
// (raster/raw_file.h: the file's status checked at every block). The first read that fails is
// kept, for the stop that it calls for; the lines read are counted, for the progress line.
class RawFileLines final : public exact::SampleSource {
 public:
  enum class Failure { none, changed, read_error };

  explicit RawFileLines(const RawFile& file);

  bool read(int64_t first, int64_t count, unsigned char* bytes, std::string& error) const override;

  long lines_read() const { return static_cast<long>(lines_read_.load(std::memory_order_relaxed)); }
  // The first failure, and for a read error the system's error number.
  Failure failure() const { return failure_; }
  int error_number() const { return error_number_; }

 private:
  // Keeps the first failure; gives its message.
  std::string note(Failure failure, int error_number, const char* what) const;

  const RawFile& file_;
  mutable std::atomic<int64_t> lines_read_{0};
  mutable std::mutex mutex_;
  mutable Failure failure_ = Failure::none;
  mutable int error_number_ = 0;
};

}  // namespace scab
