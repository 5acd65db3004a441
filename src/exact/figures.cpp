#include "exact/figures.h"

#include <gmpxx.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>

#include "exact/certify.h"

namespace scab::exact {
namespace {

mpz_class big(Uint128 value) {
  const uint64_t words[2] = {static_cast<uint64_t>(value), static_cast<uint64_t>(value >> 64)};
  mpz_class out;
  mpz_import(out.get_mpz_t(), 2, -1, sizeof words[0], 0, 0, words);
  return out;
}

std::vector<mpz_class> bigs(const std::vector<Uint128>& values) {
  std::vector<mpz_class> out;
  out.reserve(values.size());
  for (Uint128 v : values)
    out.push_back(big(v));
  return out;
}

mpz_class big(const Wide& value) {
  mpz_class out = static_cast<long>(value.word[2]);  // the top word is the signed one
  out = (out << 64) + static_cast<unsigned long>(value.word[1]);
  return (out << 64) + static_cast<unsigned long>(value.word[0]);
}

// count Σk² − (Σk)² of `count` samples, >= 0 for a raster's sums; false when the sums cannot be
// those of `count` samples (then it could overflow, or be negative).
bool spread(int64_t count, const SampleSums& s, Uint128& out) {
  // Samples are below 2^31 in magnitude: Σk² <= count × 2^62, (Σk)² <= count² × 2^62.
  if (s.squares > Uint128(count) << 62) return false;
  const Uint128 square = Uint128(s.sum < 0 ? -Uint128(s.sum) : Uint128(s.sum));
  const Uint128 product = Uint128(count) * s.squares;  // below 2^31 × 2^93
  const Uint128 sum_squared = square * square;         // below 2^124
  if (product < sum_squared) return false;
  out = product - sum_squared;
  return true;
}

ExactFigure figure(const Surd& surd, bool with_doubles) {
  const Certified c = certify(surd, with_doubles);
  return ExactFigure{true, c.text, c.nearest};
}

// The exact integers of the figures, from the summary.
struct Integers {
  int64_t lines = 0, columns = 0, cells = 0;
  mpz_class unit;                                     // 10^decimals
  std::vector<Uint128> line_spreads, column_spreads;  // A, B (below 2^124)
  mpz_class image_spread;                             // G
  mpz_class n, sample, squares, eight, sample_eight, eight_squares, eight_off, four_squares,
      four_off;
};

std::string read_integers(const Summary& s, Integers& out) {
  const Raster& raster = s.raster;
  out.lines = raster.lines;
  out.columns = raster.columns;
  out.cells = raster.lines * raster.columns;
  mpz_ui_pow_ui(out.unit.get_mpz_t(), 10, static_cast<unsigned long>(raster.decimals));
  Wide total, squares, column_total, column_squares;
  for (const SampleSums& line : s.lines) {
    Uint128 a;
    if (!spread(raster.columns, line, a)) return "sums of a line that no samples have";
    out.line_spreads.push_back(a);
    total.add(line.sum);
    squares.add(static_cast<Int128>(line.squares));  // below 2^94, as spread() checked
  }
  for (const SampleSums& column : s.columns) {
    Uint128 b;
    if (!spread(raster.lines, column, b)) return "sums of a column that no samples have";
    out.column_spreads.push_back(b);
    column_total.add(column.sum);
    column_squares.add(static_cast<Int128>(column.squares));
  }
  if (column_total != total || column_squares != squares) {
    return "sums of the lines and of the columns that do not agree";
  }
  out.image_spread = out.cells * big(squares) - big(total) * big(total);
  const InteriorSums& in = s.interior;
  out.n = static_cast<long>(in.cells);
  out.sample = big(in.sample);
  out.squares = big(in.squares);
  out.eight = big(in.eight);
  out.sample_eight = big(in.sample_eight);
  out.eight_squares = big(in.eight_squares);
  out.eight_off = big(in.eight_off);
  out.four_squares = big(in.four_squares);
  out.four_off = big(in.four_off);
  return "";
}

std::string check_whole(const Summary& s) {
  const std::string problem = check_summary(s);
  if (!problem.empty()) return problem;
  const Raster& r = s.raster;
  if (!s.whole() || s.first_line != 0 || static_cast<int64_t>(s.lines.size()) != r.lines ||
      s.first_column != 0 || static_cast<int64_t>(s.columns.size()) != r.columns) {
    return "the summary does not cover the whole raster";
  }
  const int64_t interior = r.lines >= 3 && r.columns >= 3 ? (r.lines - 2) * (r.columns - 2) : 0;
  if (s.interior.cells != interior) {
    return std::to_string(s.interior.cells) + " interior cells where the raster has " +
           std::to_string(interior);
  }
  return "";
}

// The rational number a / b (b > 0), canonical as GMP needs it.
mpq_class ratio(const mpz_class& a, const mpz_class& b) {
  mpq_class q(a, b);
  q.canonicalize();
  return q;
}

// A surd of one root sum: scale × Σ√r.
Surd roots(const mpq_class& scale, const RootSum& sum) {
  Surd s;
  s.scale = scale;
  s.numerator = {{1, &sum}};
  return s;
}

Surd rational(const mpq_class& q) {
  Surd s;
  s.scale = q;
  return s;
}

// The figures of the profile pass: from the three root sums S1 (lines), S2 (columns) and
// S3 (image), all over N D.
void profile_figures(const Integers& z, bool with_doubles, ExactFigures& f) {
  const RootSum lines(bigs(z.line_spreads)), columns(bigs(z.column_spreads)),
      image({z.image_spread});
  const mpz_class cells = z.cells;
  const mpq_class per_cell = ratio(1, cells * z.unit);  // 1 / (N D)
  f.rms_line = figure(roots(per_cell, lines), with_doubles);
  f.rms_column = figure(roots(per_cell, columns), with_doubles);
  f.rms_image = figure(roots(per_cell, image), with_doubles);
  if (cells > 1) {
    // √(G / (N − 1)) / (N D) = √(G (N − 1)) / ((N − 1) N D).
    const RootSum deviation({z.image_spread * (cells - 1)});
    f.standard_deviation =
        figure(roots(ratio(1, (cells - 1) * cells * z.unit), deviation), with_doubles);
  }
  // The three sums in order, each pair compared exactly (a tie either way gives the same
  // figures).
  const RootSum* sums[] = {&lines, &columns, &image};
  std::sort(std::begin(sums), std::end(sums), [](const RootSum* a, const RootSum* b) {
    Surd difference;
    difference.numerator = {{1, a}, {-1, b}};
    return sign_of(difference) < 0;
  });
  const RootSum *least = sums[0], *most = sums[2];
  Surd total;
  total.scale = ratio(2, 3 * cells * z.unit);
  total.numerator = {{1, most}, {-1, least}};
  f.rms_total = figure(total, with_doubles);
  Surd average;
  average.scale = ratio(1, 3 * cells * z.unit);
  average.numerator = {{1, &lines}, {1, &columns}, {1, &image}};
  f.average_rms = figure(average, with_doubles);
  if (z.image_spread == 0) return;  // a constant raster: the average RMS is 0
  Surd coefficient;
  coefficient.scale = 200;
  coefficient.numerator = {{1, most}, {-1, least}};
  coefficient.denominator = average.numerator;
  f.homogeneity = figure(coefficient, with_doubles);
  Surd report = coefficient;  // 100 − it = (100 (S1 + S2 + S3) − 200 (max − min)) / (S1 + S2 + S3)
  report.scale = 1;
  report.numerator = {{100, &lines}, {100, &columns}, {100, &image}, {-200, most}, {200, least}};
  f.homogeneity_report = figure(report, with_doubles);
}

// The figures of the neighbourhood pass, where the raster has at least two interior cells.
std::string neighbourhood_figures(const Integers& z, bool with_doubles, ExactFigures& f) {
  const mpz_class& n = z.n;
  const mpz_class p = n * z.sample_eight - z.sample * z.eight;
  const mpz_class qx = n * z.squares - z.sample * z.sample;
  const mpz_class qe = n * z.eight_squares - z.eight * z.eight;
  const mpz_class& h = z.eight_off;
  const mpz_class t = 4 * n * z.four_squares - 4 * h * z.four_off + h * h;
  if (qx < 0 || qe < 0 || t < 0 || h < 0 || z.four_off < 0 || z.four_squares < 0) {
    return "interior sums that no samples have";
  }
  if (qx != 0) f.slope = figure(rational(ratio(p, 8 * qx)), with_doubles);
  const mpz_class product = qx * qe;
  if (product != 0) {
    const RootSum root({product});
    f.r = figure(roots(ratio(p, product), root), with_doubles);
    f.r_abs = figure(roots(ratio(abs(p), product), root), with_doubles);
    f.r2 = figure(rational(ratio(p * p, product)), with_doubles);
  }
  // √(Σa² / (n − 1)) / (4 D) and √(T / (n (n − 1))) / (8 D), each as √(X Y) / (Y c).
  const RootSum error({z.four_squares * (n - 1)});
  f.rms_error = figure(roots(ratio(1, 4 * z.unit * (n - 1)), error), with_doubles);
  const RootSum deviation({t * n * (n - 1)});
  f.rms_error_sd = figure(roots(ratio(1, 8 * z.unit * n * (n - 1)), deviation), with_doubles);
  return "";
}

// A row of the table: √A / (C D), by the quick path where it settles it, else certified as
// any figure.
ExactFigure line_row(Uint128 spread, const mpq_class& scale, double divisor, bool with_doubles) {
  std::string text;
  double nearest;
  if (quick_root(spread, divisor, with_doubles, text, nearest)) {
    return ExactFigure{true, text, nearest};
  }
  const RootSum root({big(spread)});
  return figure(roots(scale, root), with_doubles);
}

}  // namespace

bool exact_figures(const Summary& summary, bool with_doubles, ExactFigures& f, std::string& error) {
  error = check_whole(summary);
  Integers z;
  if (error.empty()) error = read_integers(summary, z);
  ExactFigures out;
  try {
    if (error.empty() && z.n >= 2) error = neighbourhood_figures(z, with_doubles, out);
    if (!error.empty()) return false;
    out.minimum = summary.minimum;
    out.maximum = summary.maximum;
    out.interior_cells = summary.interior.cells;
    profile_figures(z, with_doubles, out);
    const mpz_class row_divisor = z.columns * z.unit;  // C D, below 2^41: an exact double
    const mpq_class row_scale = ratio(1, row_divisor);
    out.line_rms.reserve(z.line_spreads.size());
    for (size_t i = 0; i < z.line_spreads.size(); i++) {
      out.line_rms.push_back(
          line_row(z.line_spreads[i], row_scale, row_divisor.get_d(), with_doubles));
    }
  } catch (const std::runtime_error& failure) {  // certify(): a figure not settled at 2^20 bits
    error = failure.what();
    return false;
  }
  f = std::move(out);
  return true;
}

}  // namespace scab::exact
