// Heights given line by line in a test, read by the passes like the raster's.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <utility>
#include <vector>

#include "raster/raw_raster.h"

namespace scab::test {

class Heights final : public LineSource {
 public:
  Heights(std::initializer_list<std::vector<double>> values) : rows(values) {}
  explicit Heights(std::vector<std::vector<double>> values) : rows(std::move(values)) {}

  int lines() const override { return static_cast<int>(rows.size()); }
  int columns() const override { return static_cast<int>(rows[0].size()); }
  void line(int i, double* out) const override { std::copy(rows[i].begin(), rows[i].end(), out); }
  HeightRange range() const override {
    std::vector<const double*> pointers;
    for (const auto& row : rows)
      pointers.push_back(row.data());
    return range_of(pointers.data(), lines(), columns());
  }

  std::vector<std::vector<double>> rows;
};

}  // namespace scab::test
