// The analysis: two passes over the heights (read a line at a time from a LineSource), each a
// function that returns its sums, and the figures made from those sums (analysis/measures.h).
// The figures are printed by report/report.h.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "raster/line_source.h"

namespace scab {

// A figure that the analysis may have no value for; printed as "undefined".
using Value = std::optional<double>;

// The regression's sums of the heights x of the interior cells (every cell but those of the
// first and last line and column), in the cells' order.
struct HeightSums {
  double x = 0;   // the sum of x
  double x2 = 0;  // the sum of x x, each product kept to 64 bits
};

// The profile pass's sums, z being a cell's height. analysis/measures.cpp defines each.
struct ProfileSums {
  std::vector<double> line_squares;    // each line's sum of (z - m)^2, m the line's mean
  std::vector<double> column_squares;  // each column's, m the column's mean
  double image_squares = 0;            // the whole image's, m the image's mean
  HeightSums interior;                 // the RMS error pass's regression sums of x (run_passes)
};

// The profile pass. Besides its own sums it takes the regression's sums of the interior
// heights, which the RMS error pass would otherwise take: run_passes runs the two side by side,
// and so evens out their work.
ProfileSums profile_pass(const LineSource& heights);

// The RMS error pass's sums over the interior cells, x being a cell's height, y the mean of its
// 8 neighbours, q that of its 4 edge neighbours (analysis/neighbourhood.h) and d the mean of
// |x - y|. analysis/measures.cpp defines each.
struct NeighbourSums {
  double differences = 0;        // the sum of |x - y|
  double y = 0, xy = 0, y2 = 0;  // the regression's sums of y, x y and y y
  double squares = 0;            // the sum of (x - q)^2
  double spreads = 0;            // the sum of (|x - q| - d)^2
};

// The RMS error pass: all sums 0 for a raster without interior cells.
NeighbourSums rms_error_pass(const LineSource& heights);

// RMS roughness along every line, every column and over the whole image.
struct ProfileResult {
  std::vector<double> line_rms;  // one per line, in line order
  double rms_line = 0;           // the average line RMS
  double rms_column = 0;         // the average column RMS
  double rms_image = 0;          // the RMS of the whole image
  Value standard_deviation;      // sqrt(S / (n (n - 1))); none for a one-cell raster
  double rms_total = 0;          // the mean absolute difference between the three RMS values
  double average_rms = 0;        // their mean
  Value homogeneity;             // rms_total / average_rms x 100; none when average_rms is 0
};

// Regression of the interior cells on their 8-neighbour mean, and RMS error against the
// 4-neighbour mean.
struct RmsErrorResult {
  long long interior_cells = 0;
  Value slope;
  Value r;
  Value r_magnitude;  // |r|, printed as "r(sqrt)"
  Value r_squared;
  Value rms_error;
  Value standard_deviation;
};

// Both passes over the same heights, and their results.
struct Analysis {
  ProfileResult profile;
  RmsErrorResult rms_error;
};

// How many times run_passes reads each line of the heights, at most: two sweeps of each pass.
constexpr int kReadsOfEachLine = 4;

// Runs the two passes side by side, each on a thread of its own where one can be had, and makes
// the figures from their sums (analysis_of(): a figure whose exact value is undefined has none).
// `waiting`, when given, is called about every 200 ms while they run.
Analysis run_passes(const LineSource& heights, const std::function<void()>& waiting = {});

}  // namespace scab
