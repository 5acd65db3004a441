// Heights given line by line in a test, read by the passes like the raster's.
#pragma once

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "raster/line_source.h"

namespace scab::test {

// The range of the values of `lines` rows of `columns` values (none of them a NaN).
inline HeightRange range_of(const double* const* rows, int lines, int columns) {
  HeightRange range;
  range.whole = true;
  bool first = true;
  for (int i = 0; i < lines; i++) {
    for (int j = 0; j < columns; j++) {
      const double v = rows[i][j];
      assert(!std::isnan(v));
      range.lowest = first ? v : std::min(range.lowest, v);
      range.highest = first ? v : std::max(range.highest, v);
      first = false;
      const double magnitude = std::fabs(v);
      if (magnitude != 0 && (range.smallest == 0 || magnitude < range.smallest))
        range.smallest = magnitude;
      range.whole &= v == std::floor(v);
    }
  }
  return range;
}

// Reads rows held in memory. Rows of whole numbers that an int32_t holds are their own samples
// (a factor of 1); other rows have none.
class RowsReader final : public LineReader {
 public:
  explicit RowsReader(const std::vector<std::vector<double>>& rows) : rows_(rows) {
    for (const auto& row : rows) {
      for (const double v : row)
        whole_ = whole_ && v == std::floor(v) && std::fabs(v) < 0x1p31;
    }
  }
  void line(int i, double* out) override { std::copy(rows_[i].begin(), rows_[i].end(), out); }
  bool samples(int i, int32_t* out) override {
    if (!whole_) return false;
    for (const double v : rows_[i])
      *out++ = static_cast<int32_t>(v);
    return true;
  }

 private:
  const std::vector<std::vector<double>>& rows_;
  bool whole_ = true;
};

class Heights final : public LineSource {
 public:
  Heights(std::initializer_list<std::vector<double>> values) : rows(values) {}
  explicit Heights(std::vector<std::vector<double>> values) : rows(std::move(values)) {}

  int lines() const override { return static_cast<int>(rows.size()); }
  int columns() const override { return static_cast<int>(rows[0].size()); }
  std::unique_ptr<LineReader> reader() const override { return std::make_unique<RowsReader>(rows); }
  HeightRange range() const override {
    std::vector<const double*> pointers;
    for (const auto& row : rows)
      pointers.push_back(row.data());
    return range_of(pointers.data(), lines(), columns());
  }

  std::vector<std::vector<double>> rows;
};

}  // namespace scab::test
