// The two analysis passes over the heights (`dtab`, read a line at a time), each a function that
// returns its numbers, and the writing of those numbers to the console, the report and the
// table.
#pragma once

#include <atomic>
#include <cstdio>
#include <vector>

#include "raster/heights.h"
#include "run/console.h"

namespace scab {

// RMS roughness along every line, every column and over the whole image.
struct ProfileResult {
  std::vector<double> line_rms;  // one per line, in line order
  double rms1 = 0;               // average line RMS
  double rms2 = 0;               // average column RMS
  double rms3 = 0;               // image RMS
  Value desv;                    // sqrt(S / (n (n - 1))); none for a one-cell raster
  double rms_tot = 0;            // mean absolute difference between rms1, rms2 and rms3
  double prom_rms = 0;           // mean of rms1, rms2 and rms3
  Value coef_homo;               // rms_tot / prom_rms x 100; none when prom_rms is 0
};

// The lines the passes have read so far, for a progress line: each pass adds one for every line
// of each of its two sweeps, so that both passes together read about 4 x lines.
using LinesRead = std::atomic<long>;

// The RMS error pass's sums of the heights x alone, over the interior cells in their order
// (every cell but those of the first and last line and column): X and X2.
struct HeightSums {
  double X = 0;
  double X2 = 0;
};

// The profile pass. When `interior` is given, its first sweep also takes those sums, from the
// same lines: a driver that runs the RMS error pass beside it evens out their work so.
ProfileResult profile_pass(const LineSource& heights, HeightSums* interior = nullptr,
                           LinesRead* progress = nullptr);

// Writes the table rows, then the console and report lines, in the program's order.
void write_profile(const ProfileResult& result, FILE* console, FILE* report, FILE* table);

// Regression of the interior cells on their 8-neighbour mean, and RMS error against the
// 4-neighbour mean.
struct RmsErrorResult {
  long long n = 0;  // interior cells
  Value slope;
  Value r;
  Value r_magnitude;
  Value r2;
  Value rms_error;
  Value desv;
  // The regression's sums over the interior cells, of their heights x and 8-neighbour means y.
  double X = 0, X2 = 0, Y = 0, XY = 0, Y2 = 0;
};

// The RMS error pass. With `height_sums` false it leaves X and X2 to another (profile_pass's
// `interior`), and the slope and r to finish_regression once they are in the result.
RmsErrorResult rms_error_pass(const LineSource& heights, bool height_sums = true,
                              LinesRead* progress = nullptr);

// The slope and r from the sums of a result.
void finish_regression(RmsErrorResult& result);

void write_rms_error(const RmsErrorResult& result, FILE* console, FILE* report);

}  // namespace scab
