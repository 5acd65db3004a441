#include "arith/rows.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "arith/fast.h"

namespace scab::fast {
namespace {

// A value computed the fast way, and whether it may differ from the model's.
struct Candidate {
  double value;
  bool doubtful;
};

// out[j] = candidate(j).value for j < n, the doubtful ones redone with slow(j). The candidates
// are computed straight into out, a block at a time, in a loop the compiler vectorizes (the two
// functions must capture by value, so that nothing they read can alias what the loop writes);
// the doubtful ones of a block are redone after it. out must not be an input.
template <typename Fast, typename Slow>
void each(double* out, long n, Fast candidate, Slow slow) {
  constexpr long kBlock = 256;
  uint64_t marks[kBlock];  // flags as wide as the lanes need no packing
  for (long start = 0; start < n; start += kBlock) {
    const long count = n - start < kBlock ? n - start : kBlock;
    double* block = out + start;
    uint64_t any = 0;
    for (long k = 0; k < count; k++) {
      const Candidate c = candidate(start + k);
      block[k] = c.value;
      marks[k] = c.doubtful;
      any |= c.doubtful;
    }
    if (any) {
      for (long k = 0; k < count; k++) {
        if (marks[k]) block[k] = slow(start + k);
      }
    }
  }
}

// dif = rnd(xreal(z) - mean), then rnd(xreal(dif) * dif).
// The difference of heights and a mean of them is nearly always exact with a 64-bit
// significand (their exponents lie within 10 of each other), and then the plain one.
inline Candidate deviation_square(double z, double mean) {
  const double dif = z - mean;
  bool unusual_square;
  const double dif2 = product_candidate(dif, dif, unusual_square);
  return {dif2, (!difference_is_exact(z, mean) | unusual_square) != 0};
}

inline double deviation_square_slow(double z, double mean) {
  const double dif = add(z, -mean);
  return mul(dif, dif);
}

}  // namespace

void add_each(double* out, const double* a, const double* b, long n) {
  each(
      out, n,
      [=](long j) {
        bool unusual;
        const double sum = sum_candidate(a[j], b[j], unusual);
        return Candidate{sum, unusual};
      },
      [=](long j) { return add_slow(a[j], b[j]); });
}

void add_each_deviation_square(double* out, const double* totals, const double* z,
                               const double* means, long n) {
  each(
      out, n,
      [=](long j) {
        const Candidate square = deviation_square(z[j], means[j]);
        bool unusual;
        const double sum = sum_candidate(totals[j], square.value, unusual);
        return Candidate{sum, (square.doubtful | unusual) != 0};
      },
      [=](long j) { return add_slow(totals[j], deviation_square_slow(z[j], means[j])); });
}

void scale_each(double* out, const double* a, double factor, long n) {
  each(
      out, n,
      [=](long j) {
        bool unusual;
        const double product = product_candidate(a[j], factor, unusual);
        return Candidate{product, unusual};
      },
      [=](long j) { return mul_slow(a[j], factor); });
}

void deviation_squares(double* out, const double* z, double mean, long n) {
  each(
      out, n, [=](long j) { return deviation_square(z[j], mean); },
      [=](long j) { return deviation_square_slow(z[j], mean); });
}

void deviation_squares(double* out, const double* z, const double* mean, long n) {
  each(
      out, n, [=](long j) { return deviation_square(z[j], mean[j]); },
      [=](long j) { return deviation_square_slow(z[j], mean[j]); });
}

void absolute_differences(double* out, const double* z, const double* y, long n) {
  each(
      out, n,
      [=](long j) {
        return Candidate{std::fabs(z[j] - y[j]), !difference_is_exact(z[j], y[j])};
      },
      [=](long j) { return std::fabs(add(z[j], -y[j])); });
}

void squares(double* out, const double* d, long n) {
  each(
      out, n,
      [=](long j) {
        bool unusual;
        const double square = product_candidate(d[j], d[j], unusual);
        return Candidate{square, unusual};
      },
      [=](long j) { return mul_slow(d[j], d[j]); });
}

void squares_of_differences(double* out, const double* d, double mean, long n) {
  // Most differences of a value and a mean of such values are exact doubles; the 64-bit
  // difference is then that double, and its square is taken like any product. The others are
  // done with the check of the square of a difference kept to 64 bits.
  each(
      out, n,
      [=](long j) {
        const double dif = d[j] - mean;
        bool unusual;
        const double square = product_candidate(dif, dif, unusual);
        return Candidate{square, (unusual | (sum_error(d[j], -mean, dif) != 0)) != 0};
      },
      [=](long j) { return square_of_difference(d[j], mean); });
}

namespace {

double edge_sum_slow(const double* above, const double* row, const double* below, long j) {
  double dval = above[j + 1];
  dval = add_slow(dval, row[j + 2]);
  dval = add_slow(dval, below[j + 1]);
  return add_slow(dval, row[j]);
}

double all_sum_slow(const double* above, const double* row, const double* below, long j) {
  double dval = edge_sum_slow(above, row, below, j);
  dval = add_slow(dval, above[j]);
  dval = add_slow(dval, above[j + 2]);
  dval = add_slow(dval, below[j + 2]);
  return add_slow(dval, below[j]);
}

// dval = rnd(xreal(dval) + v), noting an unusual sum.
inline void accumulate(double& dval, double v, bool& doubtful) {
  bool unusual;
  dval = sum_candidate(dval, v, unusual);
  doubtful |= unusual;
}

// The exponent fields of the nonzero value of lowest magnitude and of the value of highest
// magnitude among `count` values, folded into lowest and highest.
inline void exponent_span(const double* values, int count, uint64_t& lowest, uint64_t& highest) {
  for (int k = 0; k < count; k++) {
    const uint64_t e = exponent_of(values[k]);
    lowest = (values[k] != 0 && e < lowest) ? e : lowest;
    highest = e > highest ? e : highest;
  }
}

}  // namespace

Band band_about(double reference) {
  const uint64_t middle = exponent_of(reference);
  if (middle < 64 + 4 || middle > 2000) return Band{};
  return Band{from_bits((middle - 4) << 52), from_bits((middle + 5) << 52)};
}

bool within(const Band& band, const double* values, long n) {
  uint64_t out = 0;
  for (long k = 0; k < n; k++) {
    const double a = std::fabs(values[k]);
    out |= (a != 0) & !((a >= band.low) & (a < band.high));
  }
  return !out;
}

namespace {

// The plain double sum of the neighbours of cell j + 1 of the row, in their order.
template <int kNeighbours>
inline double plain_neighbour_sum(const double* above, const double* row, const double* below,
                                  long j) {
  double dval = above[j + 1];
  dval = dval + row[j + 2];
  dval = dval + below[j + 1];
  dval = dval + row[j];
  if (kNeighbours == 8) {
    dval = dval + above[j];
    dval = dval + above[j + 2];
    dval = dval + below[j + 2];
    dval = dval + below[j];
  }
  return dval;
}

// The neighbour means of a line. Heights of one raster seldom span more than a few binades, so
// the plain double sums are usually exact with a 64-bit significand, and then the model's: the
// caller may know that for the three lines at once, else it is checked for each cell's
// neighbours. Where it does not hold, the line is done again with every addition corrected.
template <int kNeighbours>
void neighbour_means(double* out, const double* above, const double* row, const double* below,
                     long m, double weight, bool in_band) {
  if (in_band) {
    for (long j = 0; j < m; j++) {
      const double dval = plain_neighbour_sum<kNeighbours>(above, row, below, j);
      out[j] = dval * weight;  // a power of two: exact for sums of such values
    }
    return;
  }
  uint64_t all_exact = 1;
  for (long j = 0; j < m; j++) {
    const double values[8] = {above[j + 1], row[j + 2],   below[j + 1], row[j],
                              above[j],     above[j + 2], below[j + 2], below[j]};
    double dval = values[0];
    for (int k = 1; k < kNeighbours; k++)
      dval = dval + values[k];
    uint64_t lowest = 2047, highest = 0;
    exponent_span(values, kNeighbours, lowest, highest);
    all_exact &= sums_are_exact(lowest, highest);
    out[j] = dval * weight;
  }
  if (all_exact) return;
  each(
      out, m,
      [=](long j) {
        const double terms[8] = {above[j + 1], row[j + 2],   below[j + 1], row[j],
                                 above[j],     above[j + 2], below[j + 2], below[j]};
        bool doubtful = false;
        double dval = terms[0];
        for (int k = 1; k < kNeighbours; k++)
          accumulate(dval, terms[k], doubtful);
        bool unusual;
        const double mean = product_candidate(dval, weight, unusual);
        return Candidate{mean, (doubtful | unusual) != 0};
      },
      [=](long j) {
        const double sum = kNeighbours == 4 ? edge_sum_slow(above, row, below, j)
                                            : all_sum_slow(above, row, below, j);
        return mul_slow(sum, weight);
      });
}

// The neighbour means, and the absolute differences of the cells of the row from them, in one
// loop where the lines lie within one band; the differences that are not exact with a 64-bit
// significand are done again after it.
template <int kNeighbours>
void neighbour_differences(double* means, double* difs, const double* above, const double* row,
                           const double* below, long m, double weight, bool in_band) {
  if (!in_band) {
    neighbour_means<kNeighbours>(means, above, row, below, m, weight, false);
    absolute_differences(difs, row + 1, means, m);
    return;
  }
  uint64_t any = 0;
  for (long j = 0; j < m; j++) {
    const double dval = plain_neighbour_sum<kNeighbours>(above, row, below, j);
    const double mean = dval * weight;
    means[j] = mean;
    difs[j] = std::fabs(row[j + 1] - mean);
    any |= !difference_is_exact(row[j + 1], mean);
  }
  if (!any) return;
  for (long j = 0; j < m; j++) {
    if (!difference_is_exact(row[j + 1], means[j])) difs[j] = std::fabs(add(row[j + 1], -means[j]));
  }
}

}  // namespace

void edge_differences(double* means, double* difs, const double* above, const double* row,
                      const double* below, long m, bool in_band) {
  neighbour_differences<4>(means, difs, above, row, below, m, 0.25, in_band);
}

void all_differences(double* means, double* difs, const double* above, const double* row,
                     const double* below, long m, bool in_band) {
  neighbour_differences<8>(means, difs, above, row, below, m, 0.125, in_band);
}

void edge_means(double* out, const double* above, const double* row, const double* below, long m,
                bool in_band) {
  neighbour_means<4>(out, above, row, below, m, 0.25, in_band);
}

void all_means(double* out, const double* above, const double* row, const double* below, long m,
               bool in_band) {
  neighbour_means<8>(out, above, row, below, m, 0.125, in_band);
}

}  // namespace scab::fast
