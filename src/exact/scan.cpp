#include "exact/scan.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <utility>

namespace scab::exact {

namespace {

Range join(const Range& a, const Range& b) {
  return Range{std::min(a.least, b.least), std::max(a.most, b.most)};
}

const Range kNoSample{INT32_MAX, INT32_MIN};

}  // namespace

BlockScanner::BlockScanner(const Raster& raster, const Block& block)
    : raster_(raster),
      block_(block),
      window_{std::max<int64_t>(block.first_line - 1, 0),
              std::min(block.end_line + 1, raster.lines),
              std::max<int64_t>(block.first_column - 1, 0),
              std::min(block.end_column + 1, raster.columns)} {
  assert(check_raster(raster).empty());
  assert(block.first_line >= 0 && block.first_line < block.end_line &&
         block.end_line <= raster.lines && block.first_column >= 0 &&
         block.first_column < block.end_column && block.end_column <= raster.columns);
  interior_first_ = std::max<int64_t>(block.first_column, 1);
  interior_end_ = std::max(interior_first_, std::min(block.end_column, raster.columns - 1));
  next_line_ = window_.first_line;
  const size_t width = static_cast<size_t>(window_columns());
  for (Decoded& line : lines_) {
    if (raster.type == SampleType::grey8) {
      line.grey.resize(width);
    } else {
      line.value.resize(width);
    }
  }
  summary_ = empty_summary(raster);
  summary_.blocks.push_back(block);
  summary_.first_line = block.first_line;
  summary_.lines.resize(static_cast<size_t>(block.end_line - block.first_line));
  summary_.first_column = block.first_column;
  if (raster.type == SampleType::height32) {
    sum64_.assign(width, 0);
  } else {
    sum32_.assign(width, 0);
  }
  if (raster.type == SampleType::grey8) {
    squares32_.assign(width, 0);
  } else {
    squares64_.assign(width, 0);
  }
  sum_total_.assign(width, 0);
  squares_total_.assign(width, 0);
}

ColumnLanes BlockScanner::lanes() {
  return ColumnLanes{sum32_.data(), sum64_.data(), squares32_.data(), squares64_.data()};
}

// Carries the lanes into the totals before a line of samples up to `reach` in magnitude could
// overflow them. Grey levels: 2^16 lines add below 2^16 × 2^8 < 2^31 to a sum32 lane and below
// 2^16 × 65025 < 2^32 to a squares32 one. 16-bit heights: 2^15 lines add below 2^15 × 2^16
// = 2^31 to sum32, and below 2^47 to squares64. 32-bit heights: sum64 never overflows (below
// 2^31 lines × 2^31); each line adds at most reach² < 2^63 to squares64, counted.
void BlockScanner::make_room(int64_t reach) {
  if (raster_.type == SampleType::height32) {
    const uint64_t most_square = static_cast<uint64_t>(reach) * static_cast<uint64_t>(reach);
    if (most_square > squares_room_) carry_columns();
    squares_room_ -= most_square;
    return;
  }
  const int64_t lines = raster_.type == SampleType::grey8 ? int64_t(1) << 16 : int64_t(1) << 15;
  if (lines_since_carry_ == lines) carry_columns();
  lines_since_carry_++;
}

Kind BlockScanner::kind_of(int64_t reach) const {
  switch (raster_.type) {
    case SampleType::grey8:
      return Kind::grey8;
    case SampleType::height16:
      return Kind::height16;
    case SampleType::height32:
      break;
  }
  return reach < kNearReach ? Kind::near32 : Kind::any32;
}

// Decodes a line of the window in three parts, the ring's cells apart: returns the range of
// the block's cells, and keeps the greatest magnitude of all of them in line.reach.
Range BlockScanner::decode(const unsigned char* bytes, Decoded& line) const {
  const int width = bytes_per_sample();
  const int64_t first = block_.first_column - window_.first_column;
  const int64_t end = block_.end_column - window_.first_column;
  const auto part = [&](int64_t from, int64_t to) {
    if (from == to) return kNoSample;
    int16_t* grey = line.grey.empty() ? nullptr : line.grey.data() + from;
    int32_t* value = line.value.empty() ? nullptr : line.value.data() + from;
    return exact::decode(width, bytes + from * width, to - from, grey, value);
  };
  const Range block = part(first, end);
  const Range all = join(join(part(0, first), block), part(end, window_columns()));
  line.reach = std::max(std::abs(int64_t(all.least)), std::abs(int64_t(all.most)));
  return block;
}

void BlockScanner::add_line(const unsigned char* bytes) {
  const int64_t i = next_line_++;
  assert(i < window_.end_line);
  Decoded& line = lines_[i % 3];
  const Range block_range = decode(bytes, line);
  if (i >= block_.first_line && i < block_.end_line) sum_block_line(i, line, block_range);
  // Line i completes the neighbourhoods of the line above it.
  const int64_t centre = i - 1;
  if (centre >= block_.first_line && centre < block_.end_line && centre >= 1 &&
      centre <= raster_.lines - 2 && interior_end_ > interior_first_) {
    sum_neighbourhoods(centre);
  }
}

void BlockScanner::sum_block_line(int64_t i, const Decoded& line, const Range& range) {
  range_ = join(range_, range);
  make_room(line.reach);
  const int64_t offset = window_.first_column;
  const int64_t first = block_.first_column - offset, end = block_.end_column - offset;
  const int64_t inner_first = interior_first_ - offset, inner_end = interior_end_ - offset;
  const Kind kind = kind_of(line.reach);
  const ColumnLanes columns = lanes();
  // The block's interior columns, then its cells on the raster's first and last column.
  const LinePart inner = sum_line(kind, line.view(), inner_first, inner_end, columns);
  const LinePart left = sum_line(kind, line.view(), first, inner_first, columns);
  const LinePart right = sum_line(kind, line.view(), inner_end, end, columns);
  SampleSums& line_sums = summary_.lines[static_cast<size_t>(i - block_.first_line)];
  line_sums.sum = inner.sum + left.sum + right.sum;
  line_sums.squares = inner.squares + left.squares + right.squares;
  if (i >= 1 && i <= raster_.lines - 2 && inner_end > inner_first) {
    InteriorSums& interior = summary_.interior;
    interior.cells += inner_end - inner_first;
    interior.sample.add(inner.sum);
    interior.squares.add(static_cast<Int128>(inner.squares));
  }
}

void BlockScanner::sum_neighbourhoods(int64_t centre) {
  const Decoded& above = lines_[(centre - 1) % 3];
  const Decoded& middle = lines_[centre % 3];
  const Decoded& below = lines_[(centre + 1) % 3];
  const Kind kind = kind_of(std::max({above.reach, middle.reach, below.reach}));
  const int64_t offset = window_.first_column;
  const NeighbourPart part = neighbours(kind, above.view(), middle.view(), below.view(),
                                        interior_first_ - offset, interior_end_ - offset);
  InteriorSums& interior = summary_.interior;
  interior.eight.add(part.eight);
  interior.sample_eight.add(part.sample_eight);
  interior.eight_squares.add(part.eight_squares);
  interior.eight_off.add(part.eight_off);
  interior.four_squares.add(part.four_squares);
  interior.four_off.add(part.four_off);
}

// Whichever lanes the sample type uses, added to the totals and emptied.
void BlockScanner::carry_columns() {
  for (size_t j = 0; j < sum_total_.size(); j++) {
    if (!sum32_.empty()) sum_total_[j] += std::exchange(sum32_[j], 0);
    if (!sum64_.empty()) sum_total_[j] += std::exchange(sum64_[j], 0);
    if (!squares32_.empty()) squares_total_[j] += std::exchange(squares32_[j], 0);
    if (!squares64_.empty()) squares_total_[j] += std::exchange(squares64_[j], 0);
  }
  lines_since_carry_ = 0;
  squares_room_ = UINT64_MAX;
}

Summary BlockScanner::finish() {
  assert(next_line_ == window_.end_line);
  carry_columns();
  const int64_t first = block_.first_column - window_.first_column;
  const int64_t end = block_.end_column - window_.first_column;
  for (int64_t j = first; j < end; j++) {
    summary_.columns.push_back(
        SampleSums{sum_total_[static_cast<size_t>(j)], squares_total_[static_cast<size_t>(j)]});
  }
  summary_.minimum = range_.least;
  summary_.maximum = range_.most;
  return std::move(summary_);
}

}  // namespace scab::exact
