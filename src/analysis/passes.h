// The two analysis passes over the heights (`dtab`, read a line at a time), each a function that
// returns its numbers, and the writing of those numbers to the console, the report and the
// table.
#pragma once

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

// The regression's sums of the heights x alone over the interior cells, in their order: the
// RMS error pass's X and X2.
struct HeightSums {
  double X = 0;
  double X2 = 0;
};

// `heights`, when given, receives those sums too: the first sweep reads the same lines, and
// takes them beside its own.
ProfileResult profile_pass(const LineSource& dtab, HeightSums* heights = nullptr);

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
  // The regression's sums with the neighbour means y, over the interior cells.
  double Y = 0, XY = 0, Y2 = 0;
};

// The whole pass. `kco` counts the cells of the second sweep on top of the value it holds.
RmsErrorResult rms_error_pass(const LineSource& dtab, long long& kco);

// The same in parts: rms_error_sums gives all but the slope and r, which finish_regression
// then takes from those sums and the heights' own (height_sums', or the profile pass's).
RmsErrorResult rms_error_sums(const LineSource& dtab, long long& kco);
HeightSums height_sums(const LineSource& dtab);
void finish_regression(RmsErrorResult& result, const HeightSums& heights);

void write_rms_error(const RmsErrorResult& result, FILE* console, FILE* report);

}  // namespace scab
