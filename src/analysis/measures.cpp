// Every figure defined once (analysis/measures.h). Each expression is written in the model's
// notation: xreal is the 64-bit intermediate, rnd() the store to a double (arith/xreal.h).
#include "analysis/measures.h"

#include <cassert>
#include <cstddef>

#include "analysis/undefined.h"
#include "arith/xreal.h"

namespace scab {
namespace {

// The double nearest one third: the averages of three values multiply by it.
constexpr double kThird = 0x1.5555555555555p-2;

// 0, then rnd(xreal(total) + v) for every value in order.
double sum_of(const std::vector<double>& values) {
  double total = 0;
  for (const double v : values)
    total = rnd(xreal(total) + v);
  return total;
}

// The sum of (v - m)^2 over the values in order, m their mean: each difference stored as a
// double, then its square, then the sum. The RMS of a line, of a column and of the image.
double squares_about_mean(const std::vector<double>& values) {
  const double mean = mean_of(sum_of(values), static_cast<double>(values.size()));
  double squares = 0;
  for (const double v : values) {
    const double dif = rnd(xreal(v) - mean);
    squares = rnd(xreal(squares) + rnd(xreal(dif) * dif));
  }
  return squares;
}

// The homogeneity of the three RMS values: their mean absolute difference, their mean, and
// the first in percent of the second.
void add_homogeneity(ProfileResult& result) {
  const double line = result.rms_line, column = result.rms_column, image = result.rms_image;
  result.rms_total = rnd((xreal(abs_d(xreal(line) - column)) + abs_d(xreal(line) - image) +
                          abs_d(xreal(column) - image)) *
                         kThird);
  result.average_rms = rnd((xreal(line) + column + image) * kThird);
  if (result.average_rms != 0)
    result.homogeneity = rnd(xreal(result.rms_total) / result.average_rms * 100);
}

// The regression of y on x over n interior cells: slope and r. None with a single cell (the
// sums describe one point), no slope when its denominator is 0, no r when the product under its
// root is not above 0.
void add_regression(RmsErrorResult& result, const HeightSums& sums_x, const NeighbourSums& sums) {
  if (result.interior_cells <= 1) return;
  const double n = static_cast<double>(result.interior_cells);
  const double x = sums_x.x, x2 = sums_x.x2, y = sums.y, xy = sums.xy;
  const xreal slope_denominator = xreal(n) * x2 - xreal(x) * x;
  if (!slope_denominator.is_zero()) {
    result.slope = rnd((xreal(n) * xy - xreal(x) * y) / slope_denominator);
  }
  const RegressionTerms terms = regression_terms(n, sums_x, sums);
  const double under_root = rnd(xreal(terms.variance_x) * terms.variance_y);
  if (under_root > 0) {
    const double r = rnd(xreal(terms.covariance) / sqrt_d(under_root));
    const double r_squared = rnd(xreal(r) * r);
    result.r = r;
    result.r_magnitude = sqrt_d(r_squared);
    result.r_squared = r_squared;
  }
}

// The mean of the neighbours of cell (i, j), an interior cell: the edge neighbours above,
// right, below and left, then (for 8) the corners upper left, upper right, lower right and
// lower left, summed in that order, each partial sum stored; times 1/8 or 1/4.
double neighbour_mean(const Grid& z, size_t i, size_t j, int neighbours) {
  const double terms[8] = {z[i - 1][j],     z[i][j + 1],     z[i + 1][j],     z[i][j - 1],
                           z[i - 1][j - 1], z[i - 1][j + 1], z[i + 1][j + 1], z[i + 1][j - 1]};
  double sum = terms[0];
  for (int k = 1; k < neighbours; k++)
    sum = rnd(xreal(sum) + terms[k]);
  return rnd(xreal(sum) * (neighbours == 8 ? 0.125 : 0.25));
}

// Calls visit(i, j) for every interior cell in order: lines from 1, columns from 1 within.
template <typename Visit>
void for_each_interior_cell(const Grid& z, const Visit& visit) {
  for (size_t i = 1; i + 1 < z.size(); i++) {
    for (size_t j = 1; j + 1 < z[i].size(); j++)
      visit(i, j);
  }
}

}  // namespace

double mean_of(double total, double count) {
  return rnd(xreal(total) / count);
}

ProfileResult profile_figures(const ProfileSums& sums) {
  const double lines = static_cast<double>(sums.line_squares.size());
  const double columns = static_cast<double>(sums.column_squares.size());
  ProfileResult result;
  for (const double squares : sums.line_squares)
    result.line_rms.push_back(sqrt_d(xreal(squares) / columns));
  result.rms_line = mean_of(sum_of(result.line_rms), lines);
  std::vector<double> column_rms;
  for (const double squares : sums.column_squares)
    column_rms.push_back(sqrt_d(xreal(squares) / lines));
  result.rms_column = mean_of(sum_of(column_rms), columns);
  // The image: S / n, its root the image RMS; the standard deviation divides S / n once more,
  // by n - 1: sqrt(S / (n (n - 1))).
  const double cells = lines * columns;  // exact as a double
  const double mean_square = mean_of(sums.image_squares, cells);
  result.rms_image = sqrt_d(mean_square);
  if (cells > 1) result.standard_deviation = sqrt_d(xreal(mean_square) / (cells - 1));
  add_homogeneity(result);
  return result;
}

RmsErrorResult rms_error_figures(const HeightSums& x, const NeighbourSums& sums, int lines,
                                 int columns) {
  RmsErrorResult result;
  if (lines < 3 || columns < 3) return result;  // no interior cell: nothing has a value
  // Counts as doubles: exact, and beyond an int's range on a huge raster.
  const double n = static_cast<double>(lines - 2) * static_cast<double>(columns - 2);
  result.interior_cells = static_cast<long long>(n);
  // Both divisors are n - 1.
  if (n > 1) {
    result.standard_deviation = sqrt_d(xreal(sums.spreads) / (n - 1));
    result.rms_error = sqrt_d(xreal(sums.squares) / (n - 1));
  }
  add_regression(result, x, sums);
  return result;
}

RegressionTerms regression_terms(double n, const HeightSums& sums_x, const NeighbourSums& sums) {
  const double x = sums_x.x, x2 = sums_x.x2, y = sums.y, xy = sums.xy, y2 = sums.y2;
  RegressionTerms terms;
  terms.covariance = rnd(xreal(n) * xy - xreal(x) * y);
  terms.variance_x = rnd(xreal(n) * x2 - xreal(x) * x);
  terms.variance_y = rnd(xreal(n) * y2 - xreal(y) * y);
  return terms;
}

Value homogeneity_for_report(const ProfileResult& result) {
  if (!result.homogeneity) return Value();
  return rnd(xreal(100) - *result.homogeneity);
}

Grid grid_of(const LineSource& heights) {
  Grid z(static_cast<size_t>(heights.lines()),
         std::vector<double>(static_cast<size_t>(heights.columns())));
  const std::unique_ptr<LineReader> reader = heights.reader();
  for (size_t i = 0; i < z.size(); i++)
    reader->line(static_cast<int>(i), z[i].data());
  return z;
}

ProfileSums model_profile_sums(const Grid& z) {
  assert(!z.empty() && !z[0].empty());
  ProfileSums sums;
  std::vector<double> image;
  for (const auto& line : z) {
    sums.line_squares.push_back(squares_about_mean(line));
    image.insert(image.end(), line.begin(), line.end());
  }
  for (size_t j = 0; j < z[0].size(); j++) {
    std::vector<double> column;
    for (const auto& line : z)
      column.push_back(line[j]);
    sums.column_squares.push_back(squares_about_mean(column));
  }
  sums.image_squares = squares_about_mean(image);
  for_each_interior_cell(z, [&](size_t i, size_t j) {
    sums.interior.x = rnd(xreal(sums.interior.x) + z[i][j]);
    sums.interior.x2 = rnd(xreal(sums.interior.x2) + xreal(z[i][j]) * z[i][j]);
  });
  return sums;
}

NeighbourSums model_rms_error_sums(const Grid& z) {
  NeighbourSums sums;
  double n = 0;
  for_each_interior_cell(z, [&](size_t i, size_t j) {
    const double x = z[i][j], y = neighbour_mean(z, i, j, 8);
    sums.differences = rnd(xreal(sums.differences) + abs_d(xreal(x) - y));
    sums.y = rnd(xreal(sums.y) + y);
    sums.xy = rnd(xreal(sums.xy) + xreal(x) * y);
    sums.y2 = rnd(xreal(sums.y2) + xreal(y) * y);
    n++;
  });
  if (n == 0) return sums;
  // The spread is taken about the mean absolute difference from the 8 neighbours' mean.
  const double d = mean_of(sums.differences, n);
  for_each_interior_cell(z, [&](size_t i, size_t j) {
    const double dif = abs_d(xreal(z[i][j]) - neighbour_mean(z, i, j, 4));
    sums.squares = rnd(xreal(sums.squares) + rnd(xreal(dif) * dif));
    sums.spreads = rnd(xreal(sums.spreads) + rnd((xreal(dif) - d) * (xreal(dif) - d)));
  });
  return sums;
}

Analysis analysis_of(const LineSource& heights, const ProfileSums& profile,
                     const NeighbourSums& neighbours) {
  Analysis analysis{
      profile_figures(profile),
      rms_error_figures(profile.interior, neighbours, heights.lines(), heights.columns())};
  mend_undefined(heights, profile.interior, neighbours, analysis);
  return analysis;
}

Analysis model_analysis(const LineSource& heights) {
  const Grid z = grid_of(heights);
  return analysis_of(heights, model_profile_sums(z), model_rms_error_sums(z));
}

}  // namespace scab
