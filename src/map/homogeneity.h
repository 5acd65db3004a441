// The homogeneity coefficient of a window, from its three RMS figures.
#pragma once

#include <cstdint>

namespace scab::map {

// A window's three RMS figures, in samples, as exact numbers:
//   r1 = line_roots / (lines x 2^fraction_bits): the mean of its line segments' roots,
//   r2 = column_roots / (columns x 2^fraction_bits): the same of its column segments,
//   r3 = sqrt(spread) / cells: the RMS of all its cells, spread = n Q - T^2.
// line_roots and column_roots are sums of fixed-point roots, each root rounded once to a double.
struct ThreeRms {
  __int128 line_roots;
  int64_t lines;
  __int128 column_roots;
  int64_t columns;
  __int128 spread;
  int64_t cells;
  int fraction_bits;
};

// 100 x (|r1 - r2| + |r1 - r3| + |r2 - r3|) / (r1 + r2 + r3): 0 where the three agree, larger
// where the window's relief runs more along one direction than the other. NaN when the three
// are 0 (a constant window). Within 2^-27 of its exact value relatively: where the three
// differences nearly cancel against their rounding errors (or always, when `exactly`), they
// are taken from exact integers.
double homogeneity_coefficient(const ThreeRms& three, bool exactly);

}  // namespace scab::map
