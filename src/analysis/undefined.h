// Figures whose exact value is undefined, found with exact tests of zero.
//
// On the exact heights, a figure has no value where its denominator is exactly 0: the
// homogeneity coefficient (and the report's) of a constant raster, whose average RMS is 0; the
// slope of an interior whose cells are all equal (n Σx² − (Σx)² = 0); r, |r| and r² of such an
// interior, or of one whose cells' 8-neighbour sums are all equal (n Σy² − (Σy)² = 0). The
// model's rounded sums may leave such a denominator a little off 0, and print a slope, an r
// beyond ±1 or a coefficient out of nothing; these tests give those figures no value instead,
// and leave every other figure the model's.
//
// Heights are samples times one factor, so equal heights are equal samples: the tests are
// tests of integers. A constant raster is one whose least and greatest value are equal (the
// source's range says so at no cost). An interior, and its neighbour sums, are scanned only
// when the model's denominator is small enough to hide an exact 0 (model_zero_bound()): never
// on ordinary rasters, whose denominators are far above the bound.
#pragma once

#include "analysis/passes.h"
#include "raster/line_source.h"

namespace scab {

// The most that the model's n Σx² − (Σx)², or n Σy² − (Σy)², can be in magnitude when its
// exact value is 0: over `n` interior cells of a raster whose values are at most `magnitude`
// in magnitude. Infinity when there is no such bound (more than 2^41 cells).
double model_zero_bound(double n, double magnitude);

// Whether the interior cells of `heights` all have the same sample, and whether the sums of
// their 8 neighbours' samples are all the same; each scan stops once it finds two that differ.
// Only what is asked for (`interior`, `neighbour_sums`) is decided. False, with nothing
// decided, when the source has no samples (LineReader::samples()). `heights` has at least 3
// lines and 3 columns.
struct ConstantInterior {
  bool cells = false;           // every interior cell's sample is the same
  bool neighbour_sums = false;  // every interior cell's 8 neighbours sum to the same
};
bool scan_interior(const LineSource& heights, bool interior, bool neighbour_sums,
                   ConstantInterior& found);

// Leaves without a value each figure of `analysis`, the model's figures of `heights` from the
// regression's sums `x` and `neighbours`, whose exact value is undefined.
void mend_undefined(const LineSource& heights, const HeightSums& x, const NeighbourSums& neighbours,
                    Analysis& analysis);

}  // namespace scab
