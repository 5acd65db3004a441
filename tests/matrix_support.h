// A height matrix held as row pointers, as the passes read it.
#pragma once

#include <initializer_list>
#include <utility>
#include <vector>

namespace scab::test {

struct Heights {
  Heights(std::initializer_list<std::vector<double>> values) : rows(values) {
    for (auto& row : rows)
      pointers.push_back(row.data());
  }
  explicit Heights(std::vector<std::vector<double>> values) : rows(std::move(values)) {
    for (auto& row : rows)
      pointers.push_back(row.data());
  }
  // The row pointers point into `rows`: a move keeps the rows' storage, a copy would not.
  Heights(const Heights&) = delete;
  Heights(Heights&&) = default;
  const double* const* dtab() const { return pointers.data(); }
  int lines() const { return static_cast<int>(rows.size()); }
  int columns() const { return static_cast<int>(rows[0].size()); }

  std::vector<std::vector<double>> rows;
  std::vector<double*> pointers;
};

}  // namespace scab::test
