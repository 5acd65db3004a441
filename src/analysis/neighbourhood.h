// The neighbourhoods of the RMS error pass: three lines of heights that move down the raster,
// and the means of each interior cell's neighbours with the cell's difference from them.
//
//      5 1 6          1 above, 2 right, 3 below, 4 left: the 4 edge neighbours (x 0.25)
//      4 . 2          then 5 upper left, 6 upper right, 7 lower right, 8 lower left:
//      8 3 7          all 8 (x 0.125)
//
// The neighbours are summed in that order, each partial sum a double; the cell itself is not
// among them.
#pragma once

#include <memory>

#include "analysis/kernels.h"
#include "arith/isa.h"
#include "raster/buffer.h"
#include "raster/line_source.h"

namespace scab {
SCABROSIMETER_COPY_BEGIN

// Values within nine binades (exponents that differ by 8 at most), or zero: a sum of up to eight
// of them is exact with a 64-bit significand (fast::sums_are_exact), so the plain double sum is
// the model's. Empty (nothing within) for a reference too small or too large.
struct Band {
  double low = 0;
  double high = 0;
};
Band band_about(double reference);
bool within(const Band& band, const double* values, long n);

// Three consecutive lines of the heights, moved down one line at a time.
class Window {
 public:
  // `heights` has at least 3 lines. Unless the raster's range makes every sum of neighbours
  // exact, each line is checked for lying within the band of binades of the first interior line.
  Window(const LineSource& heights, const HeightFacts& facts);
  // Lines i - 1, i and i + 1, for i from 1 upward, one call per i in order: each line read once
  // (a sweep may start again at 1).
  void move_to(int i);
  const double* above() const { return lines_[0].data(); }
  const double* row() const { return lines_[1].data(); }
  const double* below() const { return lines_[2].data(); }
  // Whether every sum of neighbours of the middle line is exact.
  bool sums_exact() const;

 private:
  void load(int slot, int line);
  void check(int slot);

  const int line_count_, column_count_;
  const std::unique_ptr<LineReader> reader_;
  bool raster_sums_exact_;
  Buffer<double> lines_[3];
  Band band_;
  bool in_band_[3] = {false, false, false};
};

// The means of the 8 (or 4) neighbours of the m interior cells of the window's middle line,
// cell k being column k + 1, and the absolute differences of the cells from them:
// difs[k] = |rnd(xreal(row[k + 1]) - means[k])|.
void all_neighbour_differences(double* means, double* difs, const Window& window, long m,
                               const HeightFacts& facts);
void edge_neighbour_differences(double* means, double* difs, const Window& window, long m,
                                const HeightFacts& facts);

SCABROSIMETER_COPY_END
}  // namespace scab
