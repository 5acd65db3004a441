#include <cassert>
#include <cmath>
#include <cstdint>
#include <utility>

#include "raster/buffer.h"
#include "raster/line_source.h"
// The kernel headers come after kernel_target.h (arith/isa.h says why).
// clang-format off
#include "arith/kernel_target.h"
#include "analysis/neighbourhood.h"
#include "arith/elementwise.h"
#include "arith/fast.h"
#include "arith/model.h"
// clang-format on

namespace scab {
SCABROSIMETER_COPY_BEGIN

Band band_about(double reference) {
  // Exponents from middle - 4 to middle + 4, whose partial sums need no more than 64 bits; a
  // middle too near either end of the exponents leaves the band empty.
  const uint64_t middle = fast::exponent_of(reference);
  if (middle < 64 + 4 || middle > 2000) return Band{};
  return Band{fast::from_bits((middle - 4) << 52), fast::from_bits((middle + 5) << 52)};
}

bool within(const Band& band, const double* values, long n) {
  uint64_t out = 0;
  for (long k = 0; k < n; k++) {
    const double a = std::fabs(values[k]);
    out |= (a != 0) & !((a >= band.low) & (a < band.high));
  }
  return !out;
}

Window::Window(const LineSource& heights, const HeightFacts& facts)
    : line_count_(heights.lines()),
      column_count_(heights.columns()),
      reader_(heights.reader()),
      raster_sums_exact_(facts.neighbour_sums_exact),
      lines_{Buffer<double>(static_cast<size_t>(heights.columns())),
             Buffer<double>(static_cast<size_t>(heights.columns())),
             Buffer<double>(static_cast<size_t>(heights.columns()))} {
  assert(heights.lines() >= 3 && heights.columns() >= 1);
}

void Window::move_to(int i) {
  assert(i >= 1 && i + 1 < line_count_);
  if (i == 1) {
    // The band is taken about the middle of the first interior line.
    reader_->line(1, lines_[1].data());
    band_ = band_about(lines_[1][static_cast<size_t>(column_count_ / 2)]);
    check(1);
    load(0, 0);
  } else {
    std::swap(lines_[0], lines_[1]);
    std::swap(lines_[1], lines_[2]);
    in_band_[0] = in_band_[1];
    in_band_[1] = in_band_[2];
  }
  load(2, i + 1);
}

bool Window::sums_exact() const {
  return raster_sums_exact_ || (in_band_[0] && in_band_[1] && in_band_[2]);
}

void Window::load(int slot, int line) {
  reader_->line(line, lines_[slot].data());
  check(slot);
}

void Window::check(int slot) {
  if (!raster_sums_exact_) in_band_[slot] = within(band_, lines_[slot].data(), column_count_);
}

namespace {

// The neighbours of cell j + 1 of the row, in the order of their sum.
struct Neighbours {
  double value[8];
  Neighbours(const double* above, const double* row, const double* below, long j)
      : value{above[j + 1], row[j + 2],   below[j + 1], row[j],
              above[j],     above[j + 2], below[j + 2], below[j]} {}
};

// The plain double sum of the first kNeighbours neighbours, in their order.
template <int kNeighbours>
inline double plain_sum(const double* above, const double* row, const double* below, long j) {
  double sum = above[j + 1];
  sum = sum + row[j + 2];
  sum = sum + below[j + 1];
  sum = sum + row[j];
  if (kNeighbours == 8) {
    sum = sum + above[j];
    sum = sum + above[j + 2];
    sum = sum + below[j + 2];
    sum = sum + below[j];
  }
  return sum;
}

// The same by the model's own evaluation.
template <int kNeighbours>
double model_sum(const double* above, const double* row, const double* below, long j) {
  const Neighbours n(above, row, below, j);
  double sum = n.value[0];
  for (int k = 1; k < kNeighbours; k++)
    sum = model::add(sum, n.value[k]);
  return sum;
}

// The neighbour means of a line where the plain sums are not known to be exact: each cell's
// sum is checked (its neighbours within nine binades, or zero), and where that fails for any,
// the line is done again with every addition's candidate, the unsure ones by the model.
template <int kNeighbours>
void means_of_any_heights(double* out, const double* above, const double* row, const double* below,
                          long m, double weight) {
  uint64_t all_exact = 1;
  for (long j = 0; j < m; j++) {
    const Neighbours n(above, row, below, j);
    double sum = n.value[0];
    uint64_t lowest = 2047, highest = fast::exponent_of(n.value[0]);
    lowest = n.value[0] != 0 ? highest : lowest;
    for (int k = 1; k < kNeighbours; k++) {
      sum = sum + n.value[k];
      const uint64_t e = fast::exponent_of(n.value[k]);
      lowest = (n.value[k] != 0 && e < lowest) ? e : lowest;
      highest = e > highest ? e : highest;
    }
    all_exact &= fast::sums_are_exact(lowest, highest);
    out[j] = sum * weight;
  }
  if (all_exact) return;
  fast::each(
      out, m,
      [=](long j) {
        const Neighbours n(above, row, below, j);
        bool unsure = false;
        double sum = n.value[0];
        for (int k = 1; k < kNeighbours; k++) {
          const fast::Candidate partial = fast::add_candidate(sum, n.value[k]);
          sum = partial.value;
          unsure |= partial.unsure;
        }
        const fast::Candidate mean = fast::mul_candidate(sum, weight);
        return fast::Candidate{mean.value, (unsure | mean.unsure) != 0};
      },
      [=](long j) { return model::mul(model_sum<kNeighbours>(above, row, below, j), weight); });
}

// The neighbour means of the m interior cells and the absolute differences of the cells from
// them. Where the sums and the differences are known to be exact (the raster's range, or the
// window's band), plain double arithmetic gives the model's results in one loop; otherwise each
// is checked, and what is unsure is done again by the model.
template <int kNeighbours>
void neighbour_differences(double* means, double* difs, const Window& window, long m,
                           const HeightFacts& facts) {
  assert(m >= 0);
  const double *above = window.above(), *row = window.row(), *below = window.below();
  const double weight = kNeighbours == 8 ? 0.125 : 0.25;  // a power of two: exact
  if (!window.sums_exact()) {
    means_of_any_heights<kNeighbours>(means, above, row, below, m, weight);
  } else {
#pragma omp simd
    for (long j = 0; j < m; j++)
      means[j] = plain_sum<kNeighbours>(above, row, below, j) * weight;
  }
  const double* z = row + 1;
  if (facts.differences_exact) {
#pragma omp simd
    for (long j = 0; j < m; j++)
      difs[j] = std::fabs(z[j] - means[j]);
    return;
  }
  fast::each(
      difs, m,
      [=](long j) {
        return fast::Candidate{std::fabs(z[j] - means[j]),
                               !fast::difference_is_exact(z[j], means[j])};
      },
      [=](long j) { return std::fabs(model::add(z[j], -means[j])); });
}

}  // namespace

void all_neighbour_differences(double* means, double* difs, const Window& window, long m,
                               const HeightFacts& facts) {
  neighbour_differences<8>(means, difs, window, m, facts);
}

void edge_neighbour_differences(double* means, double* difs, const Window& window, long m,
                                const HeightFacts& facts) {
  neighbour_differences<4>(means, difs, window, m, facts);
}

SCABROSIMETER_COPY_END
}  // namespace scab
