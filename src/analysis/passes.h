// The two analysis passes over the heights (read a line at a time from a LineSource), each a
// function that returns its numbers, and the writing of those numbers to the console, the
// report and the table.
#pragma once

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "analysis/print.h"
#include "raster/raw_raster.h"

namespace scab {

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

// The lines the passes have read so far, for a progress line: each pass adds one for every line
// of each of its two sweeps, so that both passes together read about 4 x lines.
using LinesRead = std::atomic<long>;

// The RMS error pass's sums of the heights x alone, over the interior cells in their order
// (every cell but those of the first and last line and column).
struct HeightSums {
  double sum_x = 0;
  double sum_x2 = 0;
};

// The profile pass. When `interior` is given, its first sweep also takes those sums, from the
// same lines: a driver that runs the RMS error pass beside it evens out their work so.
ProfileResult profile_pass(const LineSource& heights, HeightSums* interior = nullptr,
                           LinesRead* progress = nullptr);

// The report's first lines, in their order: the raster's file (its Windows-form path); the
// range of its samples, on the console too; a DEM's height unit (0 metres, 1 decimetres, 2
// centimetres, 3 millimetres); the headings of the passes.
void write_report_start(FILE* report, const std::string& raw_path);
void write_range(FILE* console, FILE* report, bool image, int minimum, int maximum);
void write_unit(FILE* report, int unit);
void write_pass_headings(FILE* report);

// The report's "Homogeneity Coeff.": 100 minus the console's coefficient.
Value homogeneity_for_report(const ProfileResult& result);

// Writes the table rows, then the console and report lines, in the program's order.
void write_profile(const ProfileResult& result, FILE* console, FILE* report, FILE* table);

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
  // The regression's sums over the interior cells, of their heights x and 8-neighbour means y.
  double sum_x = 0, sum_x2 = 0, sum_y = 0, sum_xy = 0, sum_y2 = 0;
};

// The RMS error pass. With `height_sums` false it leaves sum_x and sum_x2 to another
// (profile_pass's `interior`), and the slope and r to finish_regression once they are in the
// result.
RmsErrorResult rms_error_pass(const LineSource& heights, bool height_sums = true,
                              LinesRead* progress = nullptr);

// The slope and r from the sums of a result.
void finish_regression(RmsErrorResult& result);

void write_rms_error(const RmsErrorResult& result, FILE* console, FILE* report);

// Both passes over the same heights, and their results.
struct Analysis {
  ProfileResult profile;
  RmsErrorResult rms_error;
};

// Runs the two passes side by side, each on a thread of its own where one can be had (the
// profile pass's first sweep takes the RMS error pass's sums of the heights alone, which evens
// out the two), and finishes the regression. `lines_read` counts the lines the passes have
// read; `waiting`, when given, is called about every 200 ms while they run.
Analysis run_passes(const LineSource& heights, LinesRead* lines_read = nullptr,
                    const std::function<void()>& waiting = {});

}  // namespace scab
