#include "map/homogeneity.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "map/nearest_float.h"

namespace scab::map {

namespace {

// |a - b| for a = sqrt(a_num) / a_den and b = sqrt(b_num) / b_den, from exact integers:
// (a^2 - b^2) / (a + b), the difference of the squares taken exactly. a_sum is a + b, close.
double root_difference(const mpz_class& a_num, const mpz_class& a_den, const mpz_class& b_num,
                       const mpz_class& b_den, double a_sum) {
  const mpz_class squares = a_num * b_den * b_den - b_num * a_den * a_den;
  if (squares == 0) return 0;
  const double denominators = a_den.get_d() * a_den.get_d() * b_den.get_d() * b_den.get_d();
  return std::fabs(squares.get_d()) / denominators / a_sum;
}

// The three differences from exact integers: each within a few units of 2^-52 relatively.
double exact_spread(const ThreeRms& three, double r1, double r2, double r3) {
  const mpz_class lines = to_mpz(three.lines);
  const mpz_class columns = to_mpz(three.columns);
  const mpz_class cells = to_mpz(three.cells);
  const mpz_class line_roots = to_mpz(three.line_roots);
  const mpz_class column_roots = to_mpz(three.column_roots);
  const mpz_class spread = to_mpz(three.spread);
  // r1 = sqrt(line_roots^2) / (lines 2^f), r3 = sqrt(spread) / cells, and so on.
  const mpz_class scaled_lines = lines << three.fraction_bits;
  const mpz_class scaled_columns = columns << three.fraction_bits;
  const mpz_class d12 = line_roots * columns - column_roots * lines;
  const double line_column =
      std::ldexp(std::fabs(d12.get_d()) / (static_cast<double>(three.lines) * three.columns),
                 -three.fraction_bits);
  const double line_all =
      root_difference(line_roots * line_roots, scaled_lines, spread, cells, r1 + r3);
  const double column_all =
      root_difference(column_roots * column_roots, scaled_columns, spread, cells, r2 + r3);
  return line_column + line_all + column_all;
}

}  // namespace

// Each of r1, r2, r3 below is within 2^-51 of its exact value, relatively (a conversion and a
// division; or a conversion, a root and a division). So the three differences together are
// within 6 x 2^-51 of max(r1, r2, r3) of theirs, which is below 2^-28 of their sum whenever that
// sum is at least 2^-20 of the largest; below it, the differences are taken exactly.
double homogeneity_coefficient(const ThreeRms& three, bool exactly) {
  if (three.lines == 0 || three.columns == 0 || three.cells == 0) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  const double r1 =
      std::ldexp(static_cast<double>(three.line_roots), -three.fraction_bits) / three.lines;
  const double r2 =
      std::ldexp(static_cast<double>(three.column_roots), -three.fraction_bits) / three.columns;
  const double r3 = std::sqrt(static_cast<double>(three.spread)) / three.cells;
  const double total = r1 + r2 + r3;
  if (total == 0) return std::numeric_limits<double>::quiet_NaN();
  double spread = std::fabs(r1 - r2) + std::fabs(r1 - r3) + std::fabs(r2 - r3);
  if (exactly || spread < 0x1p-20 * std::max({r1, r2, r3})) {
    spread = exact_spread(three, r1, r2, r3);
  }
  return 100 * spread / total;
}

}  // namespace scab::map
