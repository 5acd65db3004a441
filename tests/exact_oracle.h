// An independent exact evaluation for the exact engine's tests: rasters made in memory, their
// sums taken cell by cell in GMP integers, and (exact_oracle.cpp) their figures evaluated
// cell by cell from the README's formulas in GMP rationals, or in MPFR at 4000 bits where a
// square root is irrational.
#pragma once

#include <gmpxx.h>
#include <mpfr.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "exact/summary.h"

namespace scab::exact::test {

// A raster's samples in memory, line after line.
struct TestRaster {
  Raster raster;
  std::vector<int32_t> samples;

  int32_t at(int64_t i, int64_t j) const {
    return samples[static_cast<size_t>(i * raster.columns + j)];
  }
  // The raw file's bytes: the samples least significant byte first.
  std::vector<unsigned char> bytes() const;
};

// Rasters of the kinds the tests attack: `kind` one of "random", "flat" (heights spanning a few
// units at a high altitude), "constant", "extreme" (32-bit samples at both ends of their
// range), "steps" (a few distinct values).
TestRaster make_raster(std::mt19937_64& random, const std::string& kind, SampleType type,
                       int decimals, int64_t lines, int64_t columns);

// The exact sums of a block, cell by cell.
struct OracleSums {
  std::vector<mpz_class> line_sum, line_squares;      // per line of the block
  std::vector<mpz_class> column_sum, column_squares;  // per column of the block
  mpz_class cells, sample, squares, eight, sample_eight, eight_squares, eight_off, four_squares,
      four_off;
  int32_t minimum = 0, maximum = 0;
};
OracleSums oracle_sums(const TestRaster& raster, const Block& block);

mpz_class big(Int128 value);
mpz_class big(const Wide& value);

// Compares every sum of `summary` (for `block`) with the oracle's: empty when all agree, else
// the first that differs.
std::string compare_sums(const Summary& summary, const OracleSums& expected, const Block& block);

// The window of `block` (the block and the ring of cells around it) as bytes, as
// summarise_block() reads them: its lines `*stride` bytes apart.
std::vector<unsigned char> window_bytes(const TestRaster& raster, const Block& block,
                                        int64_t* stride);

// A real number as the oracle knows it: exactly when it is rational, else to 4000 bits.
class Real {
 public:
  Real() : Real(mpq_class(0)) {}
  explicit Real(const mpq_class& q);
  Real(const Real& other);
  Real& operator=(const Real& other);
  ~Real();

  bool rational() const { return rational_; }
  const mpq_class& exact() const { return q_; }  // when rational()
  mpfr_srcptr approximation() const { return x_; }
  int sign() const;

  friend Real operator+(const Real& a, const Real& b);
  friend Real operator-(const Real& a, const Real& b);
  friend Real operator*(const Real& a, const Real& b);
  friend Real operator/(const Real& a, const Real& b);
  friend Real sqrt(const Real& a);
  friend Real abs(const Real& a);
  template <class Exact, class Approximate>
  friend Real combine(const Real& a, const Real& b, Exact exact, Approximate approximate);

 private:
  bool rational_ = true;
  mpq_class q_;
  mpfr_t x_;
};

// "%f" of an exact rational: rounded to 6 decimals, ties to even, "-0.000000" for a negative
// value that rounds to 0. Written from the definition, apart from the engine's.
std::string text_of(const mpq_class& q);

// A figure of the oracle: undefined, or a value.
struct OracleFigure {
  bool defined = false;
  Real value;
};

// The "%f" text of a figure, and whether the oracle is sure of it: not when an irrational
// value lies within 2^-3900 of a rounding boundary (or of 0, whose side sets the sign).
std::string oracle_text(const OracleFigure& figure, bool* sure);
// The double nearest to the figure.
double oracle_double(const OracleFigure& figure);

struct OracleFigures {
  OracleFigure rms_line, rms_column, rms_image, standard_deviation, rms_total, average_rms,
      homogeneity, homogeneity_report, slope, r, r_abs, r2, rms_error, rms_error_sd;
  std::vector<OracleFigure> line_rms;
};

// Every figure of the README's "Exact formulas", cell by cell, on heights sample × 10^-decimals.
OracleFigures oracle_figures(const TestRaster& raster);

}  // namespace scab::exact::test
