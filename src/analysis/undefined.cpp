#include "analysis/undefined.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

#include "analysis/measures.h"
#include "raster/buffer.h"

namespace scab {
namespace {

// The sum of the 8 neighbours of column j (an interior column) of `line`, whose lines above
// and below are `above` and `below`: exact, 8 samples below 2^31 in magnitude.
int64_t neighbour_sum(const int32_t* above, const int32_t* line, const int32_t* below, int j) {
  return int64_t{above[j - 1]} + above[j] + above[j + 1] + line[j - 1] + line[j + 1] +
         below[j - 1] + below[j] + below[j + 1];
}

void clear_correlation(RmsErrorResult& result) {
  result.r.reset();
  result.r_magnitude.reset();
  result.r_squared.reset();
}

}  // namespace

// Claim: when the exact n Σx² − (Σx)² over the interior cells is 0, the model's (val2, as
// regression_terms() stores it) is at most B = 20 γ n² M² in magnitude, γ = nu / (1 − nu),
// u = 2^-52, M the largest height in magnitude; likewise n Σy² − (Σy)² (val3) when the
// exact sums of the 8 neighbours are all equal.
// Proof. One operation of the model (64-bit rounding, then the store to a double) errs by less
// than u of its result (2^-64 + 2^-53). A sum of n terms t taken one after another is within
// γ Σ|t| of the exact sum (the classic bound for recursive summation).
// - val2: every x is one height h, |h| <= M. Then Σx = nh + d, |d| <= γnM, and Σx² = nh² + d',
//   |d'| <= γnM² (the products' own 2^-64 included); n Σx² − (Σx)² = n d' − 2nh d − d², at
//   most n²M²(3γ + γ²); its evaluation (two products, a difference, a store) adds at most
//   2^-60 n²M². In all below 4γ n²M² < B.
// - val3: every 8-neighbour sum of samples is e. A height is its sample times the factor f
//   within u, so each y, the model's mean (7 additions of terms below M, a product by 1/8, a
//   store), lies within D = 12uM of c = e f / 8, and |y| <= 2M. The exact n Σy² − (Σy)² =
//   n Σ(y − ȳ)² is at most 4n²D²; the sums' errors add n²(2M)²(3γ + γ²), the evaluation
//   2^-60 n²(2M)². In all below 576u² n²M² + 13γ n²M² <= 17γ n²M² < B, as u <= γ.
// The bound is evaluated in doubles, a few roundings that the factor 20 against 17 covers.
// Fallback: beyond 2^41 cells (nu > 2^-11) there is no bound, and the scan decides.
double model_zero_bound(double n, double magnitude) {
  constexpr double u = 0x1p-52;
  if (!(n * u <= 0x1p-11)) return std::numeric_limits<double>::infinity();
  const double gamma = n * u / (1 - n * u);
  return 20 * gamma * n * n * magnitude * magnitude;
}

bool scan_interior(const LineSource& heights, bool interior, bool neighbour_sums,
                   ConstantInterior& found) {
  const int lines = heights.lines(), columns = heights.columns();
  assert(lines >= 3 && columns >= 3);
  const std::unique_ptr<LineReader> reader = heights.reader();
  Buffer<int32_t> window[3] = {Buffer<int32_t>(static_cast<size_t>(columns)),
                               Buffer<int32_t>(static_cast<size_t>(columns)),
                               Buffer<int32_t>(static_cast<size_t>(columns))};
  for (int i = 0; i < 3; i++) {
    if (!reader->samples(i, window[i].data())) return false;
  }
  found.cells = interior;
  found.neighbour_sums = neighbour_sums;
  const int32_t first_cell = window[1][1];
  const int64_t first_sum = neighbour_sum(window[0].data(), window[1].data(), window[2].data(), 1);
  for (int i = 1; i + 1 < lines && (found.cells || found.neighbour_sums); i++) {
    if (i > 1) reader->samples(i + 1, window[(i + 1) % 3].data());
    const int32_t* above = window[(i - 1) % 3].data();
    const int32_t* line = window[i % 3].data();
    const int32_t* below = window[(i + 1) % 3].data();
    for (int j = 1; j + 1 < columns; j++) {
      found.cells = found.cells && line[j] == first_cell;
      found.neighbour_sums =
          found.neighbour_sums && neighbour_sum(above, line, below, j) == first_sum;
    }
  }
  return true;
}

void mend_undefined(const LineSource& heights, const HeightSums& x, const NeighbourSums& neighbours,
                    Analysis& analysis) {
  RmsErrorResult& result = analysis.rms_error;
  const HeightRange range = heights.range();
  if (range.lowest == range.highest) {
    // A constant raster: its average RMS is 0, and its interior is constant.
    analysis.profile.homogeneity.reset();
    result.slope.reset();
    clear_correlation(result);
    return;
  }
  if (result.interior_cells <= 1 || (!result.slope && !result.r)) return;
  const double n = static_cast<double>(result.interior_cells);
  const RegressionTerms terms = regression_terms(n, x, neighbours);
  const double bound =
      model_zero_bound(n, std::max(std::fabs(range.lowest), std::fabs(range.highest)));
  const bool ask_cells = std::fabs(terms.variance_x) <= bound;
  const bool ask_sums = result.r && std::fabs(terms.variance_y) <= bound;
  ConstantInterior found;
  // Without samples (heights given alone) nothing can be decided: the model's figures stand.
  if (!(ask_cells || ask_sums) || !scan_interior(heights, ask_cells, ask_sums, found)) return;
  if (found.cells) result.slope.reset();
  if (found.cells || found.neighbour_sums) clear_correlation(result);
}

}  // namespace scab
