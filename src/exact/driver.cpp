#include "exact/driver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "exact/scan.h"

namespace scab::exact {
namespace {

// Bytes of one block of lines read at a time (at least one line): a block that stays in the
// core's cache while it is scanned is faster than a larger one.
constexpr int64_t kBlockBytes = 128 * 1024;

// The lines of a block: as many as kBlockBytes holds (at least one), and no more than the
// `window_lines` lines to read.
int64_t block_lines_of(int64_t line_bytes, int64_t window_lines) {
  return std::min(std::max<int64_t>(1, kBlockBytes / line_bytes), window_lines);
}

// The bands of a raster read on `threads` threads: as many as the threads, at most one a line.
int64_t band_count(const Raster& raster, int threads) {
  return std::min<int64_t>(threads, raster.lines);
}

// One thread's band, scanned and summarised.
struct Band {
  Block block;
  Summary summary;
  std::string error;  // empty when all went well
};

void scan_band(const SampleSource& source, const Raster& raster, Band& band) {
  try {
    BlockScanner scanner(raster, band.block);
    const Block& window = scanner.window();
    const int64_t line_bytes = scanner.line_bytes();
    const int64_t block_lines = block_lines_of(line_bytes, window.end_line - window.first_line);
    std::vector<unsigned char> bytes(static_cast<size_t>(block_lines * line_bytes));
    for (int64_t first = window.first_line; first < window.end_line; first += block_lines) {
      const int64_t count = std::min(block_lines, window.end_line - first);
      if (!source.read(first, count, bytes.data(), band.error)) return;
      for (int64_t k = 0; k < count; k++)
        scanner.add_line(bytes.data() + k * line_bytes);
    }
    band.summary = scanner.finish();
  } catch (const std::bad_alloc&) {
    band.error = "not enough memory for the sums of the raster";
  }
}

}  // namespace

RawFileSource::RawFileSource(const std::string& path, int64_t line_bytes)
    : line_bytes_(line_bytes), path_(path) {
  file_ = open(path.c_str(), O_RDONLY);
  if (file_ < 0) {
    error_ = path + ": " + std::strerror(errno);
    return;
  }
  struct stat status;
  size_ = fstat(file_, &status) == 0 ? static_cast<int64_t>(status.st_size) : 0;
}

RawFileSource::~RawFileSource() {
  if (file_ >= 0) close(file_);
}

bool RawFileSource::read(int64_t first, int64_t count, unsigned char* bytes,
                         std::string& error) const {
  if (file_ < 0) {
    error = error_;
    return false;
  }
  const int64_t wanted = count * line_bytes_;
  int64_t done = 0;
  while (done < wanted) {
    // pread: threads reading at once do not move each other's file position.
    const int64_t got = pread(file_, bytes + done, static_cast<size_t>(wanted - done),
                              static_cast<off_t>(first * line_bytes_ + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = path_ + ": " + std::strerror(errno);
      break;
    }
    if (got == 0) break;
    done += got;
  }
  std::memset(bytes + done, 0, static_cast<size_t>(wanted - done));
  return error.empty();
}

bool MemorySource::read(int64_t first, int64_t count, unsigned char* bytes, std::string&) const {
  for (int64_t i = 0; i < count; i++)
    std::memcpy(bytes + i * line_bytes_, bytes_ + (first + i) * stride_,
                static_cast<size_t>(line_bytes_));
  return true;
}

int threads_from_environment() {
  const char* text = std::getenv("SCABROSIMETER_THREADS");
  if (text != nullptr && *text != '\0') {
    char* end;
    errno = 0;
    const long wanted = std::strtol(text, &end, 10);
    if (*end == '\0' && errno == 0 && wanted >= 1 && wanted <= 1024)
      return static_cast<int>(wanted);
  }
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

bool summarise(const SampleSource& source, const Raster& raster, int threads, Summary& summary,
               std::string& error) {
  assert(check_raster(raster).empty() && threads >= 1);
  const int64_t count = band_count(raster, threads);
  std::vector<Band> bands(static_cast<size_t>(count));
  for (int64_t k = 0; k < count; k++) {
    bands[static_cast<size_t>(k)].block =
        Block{raster.lines * k / count, raster.lines * (k + 1) / count, 0, raster.columns};
  }
  std::vector<std::thread> helpers;
  for (size_t k = 1; k < bands.size(); k++) {
    try {
      helpers.emplace_back(scan_band, std::cref(source), std::cref(raster), std::ref(bands[k]));
    } catch (const std::system_error&) {  // no more threads to be had: this one does it
      scan_band(source, raster, bands[k]);
    }
  }
  scan_band(source, raster, bands[0]);
  for (std::thread& helper : helpers)
    helper.join();
  Summary whole = empty_summary(raster);
  for (const Band& band : bands) {
    if (!band.error.empty()) {
      error = band.error;
      return false;
    }
    const bool merged = merge(whole, band.summary, error);
    assert(merged);
    (void)merged;
  }
  summary = std::move(whole);
  return true;
}

uint64_t bytes_needed(const Raster& raster, int threads) {
  assert(check_raster(raster).empty() && threads >= 1);
  const uint64_t lines = static_cast<uint64_t>(raster.lines);
  const uint64_t columns = static_cast<uint64_t>(raster.columns);
  const uint64_t bands = static_cast<uint64_t>(band_count(raster, threads));
  const int64_t line_bytes = raster.columns * static_cast<int64_t>(raster.type);
  // A band's window: its share of the lines, and the line above and below it.
  const int64_t window_lines = std::min<int64_t>(raster.lines, raster.lines / bands + 3);
  const uint64_t block =
      static_cast<uint64_t>(block_lines_of(line_bytes, window_lines) * line_bytes);
  // Per band: its block, three decoded lines and the column sums in their lanes and totals
  // (90 bytes a column), its summary's column sums (24). Per line and column of the raster:
  // the whole summary's sums (24), the figures' integers (16, and 48 as GMP numbers), a row's
  // figure and text (about 100 for a line): 256 leaves room.
  return bands * (block + 128 * columns) + 256 * (lines + columns);
}

Summary summarise_block(const Raster& raster, const Block& block, const unsigned char* window,
                        int64_t line_stride) {
  BlockScanner scanner(raster, block);
  const int64_t lines = scanner.window().end_line - scanner.window().first_line;
  for (int64_t i = 0; i < lines; i++)
    scanner.add_line(window + i * line_stride);
  return scanner.finish();
}

}  // namespace scab::exact
