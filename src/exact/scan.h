// The summary of one block of a raster, from its samples given a line at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "exact/scan_kernels.h"
#include "exact/summary.h"

namespace scab::exact {

// Builds the summary of `block` from the block and the ring of cells around it that its
// neighbour sums need: lines from window().first_line to window().end_line, each as the
// samples of columns window().first_column to window().end_column (the block widened by one
// line and column on each side where the raster goes on), least significant byte first.
// Memory: a few lines of the window, and the sums of the block's lines and columns.
class BlockScanner {
 public:
  // `raster` as check_raster() takes it; `block` not empty and inside it.
  BlockScanner(const Raster& raster, const Block& block);

  // The block and its ring.
  const Block& window() const { return window_; }
  // The bytes of one line of the window.
  int64_t line_bytes() const { return window_columns() * bytes_per_sample(); }

  // The next line of the window, from window().first_line on.
  void add_line(const unsigned char* bytes);

  // The block's summary, once every line of the window has been added.
  Summary finish();

 private:
  struct Decoded {
    std::vector<int16_t> grey;
    std::vector<int32_t> value;
    int64_t reach = 0;  // the greatest magnitude of its samples
    LineView view() const { return LineView{grey.data(), value.data()}; }
  };

  int bytes_per_sample() const { return static_cast<int>(raster_.type); }
  int64_t window_columns() const { return window_.end_column - window_.first_column; }
  Kind kind_of(int64_t reach) const;
  Range decode(const unsigned char* bytes, Decoded& line) const;
  void sum_block_line(int64_t i, const Decoded& line, const Range& range);
  void sum_neighbourhoods(int64_t centre);
  ColumnLanes lanes();
  void make_room(int64_t reach);
  void carry_columns();

  Raster raster_;
  Block block_, window_;
  // The block's interior columns [interior_first, interior_end), in the raster's columns.
  int64_t interior_first_ = 0, interior_end_ = 0;
  int64_t next_line_ = 0;
  Decoded lines_[3];  // line i in lines_[i % 3]
  Summary summary_;
  Range range_{INT32_MAX, INT32_MIN};
  // Σk and Σk² down each of the window's columns: in the lanes of the sample type
  // (ColumnLanes) since the last carry, and in the totals before it.
  std::vector<int32_t> sum32_;
  std::vector<int64_t> sum64_;
  std::vector<uint32_t> squares32_;
  std::vector<uint64_t> squares64_;
  std::vector<int64_t> sum_total_;
  std::vector<Uint128> squares_total_;
  int64_t lines_since_carry_ = 0;
  uint64_t squares_room_ = UINT64_MAX;  // 32-bit samples: what squares64_ can still take
};

}  // namespace scab::exact
