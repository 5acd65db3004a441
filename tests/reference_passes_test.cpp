// The fast passes against the model's own evaluation of every figure (analysis/measures.h):
// on random rasters chosen to be hard for the fast kernels (sums and products that land near a
// midpoint between doubles, huge and tiny magnitudes, cancellation), every sum and every figure
// must be the same double, bit for bit, on every instruction-set copy.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "analysis/measures.h"
#include "analysis/passes.h"
#include "arith/elementwise.h"
#include "arith/fast.h"
#include "arith/running_sum.h"
#include "arith/xreal.h"
#include "copies_support.h"
#include "heights_support.h"

namespace scab {
namespace {

using test::Heights;
using Matrix = std::vector<std::vector<double>>;

uint64_t bits(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

void expect_same(const Value& a, const Value& b, const char* what) {
  ASSERT_EQ(a.has_value(), b.has_value()) << what;
  if (a) {
    EXPECT_EQ(bits(*a), bits(*b)) << what << ": " << *a << " vs " << *b;
  }
}

// Rasters of several kinds: DEM-like heights in decimetres, millimetre heights of a large
// range, values spread over many binades, values that make exact ties likely, and heights
// with all their bits among which smaller ones, 13 binades down, are sprinkled (the sums of
// neighbours are then not all exact).
Matrix random_raster(std::mt19937_64& random, int kind, int most_columns) {
  std::uniform_int_distribution<int> size(1, 40), columns(1, most_columns);
  const int L = size(random), C = columns(random);
  Matrix z(static_cast<size_t>(L), std::vector<double>(static_cast<size_t>(C)));
  std::uniform_int_distribution<int> heights(0, 65535);
  std::uniform_int_distribution<int> wide(-2000000000, 2000000000);
  std::uniform_real_distribution<double> exponent(-40, 40);
  std::uniform_int_distribution<int> small(0, 16);
  std::uniform_int_distribution<uint64_t> significand(0, (1ull << 52) - 1);
  for (auto& line : z) {
    for (double& v : line) {
      switch (kind) {
        case 0:
          v = rnd(xreal(heights(random)) * 0.1);
          break;
        case 1:
          v = rnd(xreal(wide(random)) * 0.001);
          break;
        case 2:
          v = std::ldexp(1.0 + heights(random) / 65536.0, static_cast<int>(exponent(random)));
          break;
        case 3:
          v = small(random) * 0.5 + (small(random) == 0 ? 0x1p40 : 0);
          break;
        default:
          v = std::ldexp(1.0 + static_cast<double>(significand(random)) * 0x1p-52,
                         small(random) < 4 ? -3 : 10);
      }
    }
  }
  return z;
}

void expect_same_sums(const ProfileSums& fast, const ProfileSums& model) {
  ASSERT_EQ(fast.line_squares.size(), model.line_squares.size());
  for (size_t i = 0; i < fast.line_squares.size(); i++)
    EXPECT_EQ(bits(fast.line_squares[i]), bits(model.line_squares[i])) << "line " << i;
  ASSERT_EQ(fast.column_squares.size(), model.column_squares.size());
  for (size_t j = 0; j < fast.column_squares.size(); j++)
    EXPECT_EQ(bits(fast.column_squares[j]), bits(model.column_squares[j])) << "column " << j;
  expect_same(fast.image_squares, model.image_squares, "image_squares");
  expect_same(fast.interior.x, model.interior.x, "interior x");
  expect_same(fast.interior.x2, model.interior.x2, "interior x2");
}

void expect_same_sums(const NeighbourSums& fast, const NeighbourSums& model) {
  expect_same(fast.differences, model.differences, "differences");
  expect_same(fast.y, model.y, "y");
  expect_same(fast.xy, model.xy, "xy");
  expect_same(fast.y2, model.y2, "y2");
  expect_same(fast.squares, model.squares, "squares");
  expect_same(fast.spreads, model.spreads, "spreads");
}

void expect_same_figures(const Analysis& fast, const Analysis& model) {
  const ProfileResult &f = fast.profile, &p = model.profile;
  ASSERT_EQ(f.line_rms.size(), p.line_rms.size());
  for (size_t i = 0; i < f.line_rms.size(); i++)
    EXPECT_EQ(bits(f.line_rms[i]), bits(p.line_rms[i])) << "line " << i;
  expect_same(f.rms_line, p.rms_line, "rms_line");
  expect_same(f.rms_column, p.rms_column, "rms_column");
  expect_same(f.rms_image, p.rms_image, "rms_image");
  expect_same(f.standard_deviation, p.standard_deviation, "standard_deviation");
  expect_same(f.rms_total, p.rms_total, "rms_total");
  expect_same(f.average_rms, p.average_rms, "average_rms");
  expect_same(f.homogeneity, p.homogeneity, "homogeneity");
  const RmsErrorResult &e = fast.rms_error, &m = model.rms_error;
  EXPECT_EQ(e.interior_cells, m.interior_cells);
  expect_same(e.slope, m.slope, "slope");
  expect_same(e.r, m.r, "r");
  expect_same(e.r_magnitude, m.r_magnitude, "|r|");
  expect_same(e.r_squared, m.r_squared, "r2");
  expect_same(e.rms_error, m.rms_error, "rms_error");
  expect_same(e.standard_deviation, m.standard_deviation, "standard_deviation");
}

void compare_with_the_model(const std::string& copy) {
  std::mt19937_64 random(20261208);
  for (int round = 0; round < 400; round++) {
    // Now and then a wide raster, for the vector loops' blocks.
    const Matrix z = random_raster(random, round % 5, round % 10 == 9 ? 700 : 40);
    const Heights heights{Matrix(z)};
    SCOPED_TRACE(copy + ", round " + std::to_string(round) + ", a raster of " +
                 std::to_string(z.size()) + " x " + std::to_string(z[0].size()));
    expect_same_sums(profile_pass(heights), model_profile_sums(z));
    expect_same_sums(rms_error_pass(heights), model_rms_error_sums(z));
    expect_same_figures(run_passes(heights), model_analysis(heights));
    if (::testing::Test::HasFailure()) return;
  }
}

TEST(ReferencePasses, FastPassesGiveTheModelsSumsAndFigures) {
  test::on_every_copy(compare_with_the_model);
}

// Figures the model gives on rasters small enough to work out by hand (measures.cpp is the
// definition the fast passes are held to: this holds it to the formulas).
TEST(ReferencePasses, TheModelGivesTheFormulas) {
  // Lines 0 1 2 / 3 4 5: each line's mean 1 and 4, squares 2; columns' means 1.5 2.5 3.5,
  // squares 4.5 each; the image's mean 2.5, squares 17.5.
  const Heights two_lines({{0, 1, 2}, {3, 4, 5}});
  const Grid z = grid_of(two_lines);
  const ProfileSums sums = model_profile_sums(z);
  EXPECT_EQ(sums.line_squares, (std::vector<double>{2, 2}));
  EXPECT_EQ(sums.column_squares, (std::vector<double>{4.5, 4.5, 4.5}));
  EXPECT_EQ(sums.image_squares, 17.5);
  const ProfileResult profile = profile_figures(sums);
  EXPECT_EQ(profile.rms_line, std::sqrt(2.0 / 3));
  EXPECT_EQ(profile.rms_column, 1.5);
  EXPECT_EQ(profile.rms_image, std::sqrt(17.5 / 6));
  EXPECT_EQ(*profile.standard_deviation, std::sqrt(17.5 / 6 / 5));
  // A single peak of 8 among zeros, 3 lines of 4: interior cells (1,1) = 8 and (1,2) = 0, their
  // 8-neighbour means 0 and 1, 4-neighbour means 0 and 2.
  const Grid peak = {{0, 0, 0, 0}, {0, 8, 0, 0}, {0, 0, 0, 0}};
  const NeighbourSums neighbours = model_rms_error_sums(peak);
  EXPECT_EQ(neighbours.differences, 9);
  EXPECT_EQ(neighbours.y, 1);
  EXPECT_EQ(neighbours.xy, 0);
  EXPECT_EQ(neighbours.y2, 1);
  EXPECT_EQ(neighbours.squares, 64 + 4);
  EXPECT_EQ(neighbours.spreads, 3.5 * 3.5 + 2.5 * 2.5);  // d = 4.5
  const RmsErrorResult e = rms_error_figures(model_profile_sums(peak).interior, neighbours, 3, 4);
  EXPECT_EQ(e.interior_cells, 2);
  EXPECT_EQ(*e.rms_error, std::sqrt(68.0));
  EXPECT_EQ(*e.slope, -0.125);  // (2 * 0 - 8 * 1) / (2 * 64 - 64)
  EXPECT_EQ(*e.r, -1);
}

// The element-wise kernels and the running sums one operation at a time, on operands built to sit
// on or next to midpoints between doubles, where the fast way and the model part most easily.
TEST(ReferencePasses, KernelsAgreeWithTheModelNearMidpoints) {
  std::mt19937_64 random(7);
  std::uniform_int_distribution<int> shift(0, 70);
  std::uniform_int_distribution<uint64_t> mantissa(0, (1ull << 52) - 1);
  std::uniform_int_distribution<int> offset(-3, 3);
  const long n = 4096;
  std::vector<double> a(n), b(n), out(n);
  long disagreements = 0;
  for (int round = 0; round < 60; round++) {
    for (long k = 0; k < n; k++) {
      // a large, b about 2^-shift of it with low bits that put a + b near a midpoint.
      uint64_t m = mantissa(random);
      double big;
      std::memcpy(&big, &(m = (m | (1023ull << 52))), sizeof big);
      big = std::ldexp(big, static_cast<int>(shift(random)) - 20);
      const double half_ulp = std::ldexp(std::nextafter(big, 2 * big) - big, -1);
      b[k] = half_ulp + std::ldexp(half_ulp, -11) * offset(random) +
             std::ldexp(half_ulp, -40) * offset(random);
      a[k] = (k % 3 == 0) ? -big : big;
    }
    fast::add_each(out.data(), a.data(), b.data(), n);
    for (long k = 0; k < n; k++)
      disagreements += out[k] != rnd(xreal(a[k]) + b[k]);
    const std::vector<double> zeros(n, 0.0);
    fast::add_each_deviation_square(out.data(), zeros.data(), a.data(), b.data(), n);
    for (long k = 0; k < n; k++) {
      const double dif = rnd(xreal(a[k]) - b[k]);
      disagreements += out[k] != rnd(xreal(dif) * dif);
    }
    for (long k = 0; k < n; k++) {
      const fast::Candidate candidate = fast::square_of_difference_candidate(a[k], b[0]);
      const double model = rnd((xreal(a[k]) - b[0]) * (xreal(a[k]) - b[0]));
      disagreements += !candidate.unsure && candidate.value != model;
      disagreements += fast::square_of_difference(a[k], b[0]) != model;
    }
    // Running sums: a running total that the small terms keep near midpoints.
    double plain = a[0], plain_products = a[0];
    for (long k = 0; k < n; k++) {
      plain = rnd(xreal(plain) + b[k]);
      plain_products = rnd(xreal(plain_products) + xreal(b[k]) * a[k]);
    }
    const double *x = b.data(), *y = a.data();
    const auto value = [x](long k) { return x[k]; };
    const auto factors = [x, y](long k) { return fast::Product{x[k], y[k]}; };
    disagreements += fast::sum_of<fast::Signs::any>(a[0], n, value) != plain;
    auto products = fast::product_chain<fast::Signs::any>(a[0], factors);
    fast::advance_together(n, products);
    disagreements += products.total != plain_products;
    auto sum = fast::sum_chain<fast::Signs::any>(a[0], value);
    auto second_sum = fast::sum_chain<fast::Signs::any>(a[1], [y](long k) { return y[k]; });
    fast::advance_together(n, sum, second_sum);
    double second = a[1];
    for (long k = 0; k < n; k++)
      second = rnd(xreal(second) + a[k]);
    disagreements += sum.total != plain;
    disagreements += second_sum.total != second;
  }
  EXPECT_EQ(disagreements, 0);
}

}  // namespace
}  // namespace scab
