// The fast passes against the plain ones: every expression written once with the arithmetic
// model (xreal), the cells visited one at a time in their order, as the program computed them
// before the fast kernels. On random rasters chosen to be hard for the fast kernels (sums and
// products that land near a midpoint between doubles, huge and tiny magnitudes, cancellation),
// every result must be the same double, bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "analysis/kernels.h"
#include "analysis/passes.h"
#include "arith/elementwise.h"
#include "arith/isa.h"
#include "arith/running_sum.h"
#include "arith/xreal.h"
#include "heights_support.h"

namespace scab {
namespace {

using test::Heights;
using Matrix = std::vector<std::vector<double>>;

constexpr double kThird = 0x1.5555555555555p-2;

ProfileResult plain_profile(const Matrix& z) {
  const int L = static_cast<int>(z.size()), C = static_cast<int>(z[0].size());
  ProfileResult r;
  double total_rms = 0;
  for (int i = 0; i < L; i++) {
    double total = 0;
    for (int j = 0; j < C; j++)
      total = rnd(xreal(total) + z[i][j]);
    const double mean = rnd(xreal(total) / C);
    double squares = 0;
    for (int j = 0; j < C; j++) {
      const double dif = rnd(xreal(z[i][j]) - mean);
      squares = rnd(xreal(squares) + rnd(xreal(dif) * dif));
    }
    const double rms = sqrt_d(xreal(squares) / C);
    r.line_rms.push_back(rms);
    total_rms = rnd(xreal(total_rms) + rms);
  }
  r.rms_line = rnd(xreal(total_rms) / L);
  total_rms = 0;
  for (int j = 0; j < C; j++) {
    double total = 0;
    for (int i = 0; i < L; i++)
      total = rnd(xreal(total) + z[i][j]);
    const double mean = rnd(xreal(total) / L);
    double squares = 0;
    for (int i = 0; i < L; i++) {
      const double dif = rnd(xreal(z[i][j]) - mean);
      squares = rnd(xreal(squares) + rnd(xreal(dif) * dif));
    }
    total_rms = rnd(xreal(total_rms) + sqrt_d(xreal(squares) / L));
  }
  r.rms_column = rnd(xreal(total_rms) / C);
  const double n = static_cast<double>(L) * C;
  double total = 0;
  for (const auto& line : z) {
    for (double v : line)
      total = rnd(xreal(total) + v);
  }
  const double mean = rnd(xreal(total) / n);
  double S = 0;
  for (const auto& line : z) {
    for (double v : line) {
      const double dif = rnd(xreal(v) - mean);
      S = rnd(xreal(S) + rnd(xreal(dif) * dif));
    }
  }
  S = rnd(xreal(S) / n);
  r.rms_image = sqrt_d(S);
  if (n > 1) r.standard_deviation = sqrt_d(xreal(S) / (n - 1));
  r.rms_total =
      rnd((xreal(abs_d(xreal(r.rms_line) - r.rms_column)) + abs_d(xreal(r.rms_line) - r.rms_image) +
           abs_d(xreal(r.rms_column) - r.rms_image)) *
          kThird);
  r.average_rms = rnd((xreal(r.rms_line) + r.rms_column + r.rms_image) * kThird);
  if (r.average_rms != 0) r.homogeneity = rnd(xreal(r.rms_total) / r.average_rms * 100);
  return r;
}

RmsErrorResult plain_rms_error(const Matrix& z) {
  const int L = static_cast<int>(z.size()), C = static_cast<int>(z[0].size());
  RmsErrorResult r;
  if (L < 3 || C < 3) return r;
  std::vector<double> xx(1), yy(1);  // from index 1
  double differences = 0;
  for (int i = 1; i < L - 1; i++) {
    for (int j = 1; j < C - 1; j++) {
      double d = z[i - 1][j];
      for (double v : {z[i][j + 1], z[i + 1][j], z[i][j - 1], z[i - 1][j - 1], z[i - 1][j + 1],
                       z[i + 1][j + 1], z[i + 1][j - 1]}) {
        d = rnd(xreal(d) + v);
      }
      d = rnd(xreal(d) * 0.125);
      xx.push_back(z[i][j]);
      yy.push_back(d);
      differences = rnd(xreal(differences) + abs_d(xreal(z[i][j]) - d));
    }
  }
  const int n = static_cast<int>(xx.size()) - 1;
  r.interior_cells = n;
  double X = 0, Y = 0, XY = 0, X2 = 0, Y2 = 0;
  for (int k = 1; k <= n; k++) {
    XY = rnd(xreal(XY) + xreal(xx[k]) * yy[k]);
    X = rnd(xreal(X) + xx[k]);
    X2 = rnd(xreal(X2) + xreal(xx[k]) * xx[k]);
    Y = rnd(xreal(Y) + yy[k]);
    Y2 = rnd(xreal(Y2) + xreal(yy[k]) * yy[k]);
  }
  if (n > 1) {
    const xreal den = xreal(n) * X2 - xreal(X) * X;
    if (!den.is_zero()) r.slope = rnd((xreal(n) * XY - xreal(X) * Y) / den);
    const double v1 = rnd(xreal(n) * XY - xreal(X) * Y), v2 = rnd(xreal(n) * X2 - xreal(X) * X),
                 v3 = rnd(xreal(n) * Y2 - xreal(Y) * Y);
    const double under = rnd(xreal(v2) * v3);
    if (under > 0) {
      const double rr = rnd(xreal(v1) / sqrt_d(under));
      r.r = rr;
      r.r_squared = rnd(xreal(rr) * rr);
      r.r_magnitude = sqrt_d(*r.r_squared);
    }
  }
  const double mean_difference = rnd(xreal(differences) / n);
  double total = 0, squares = 0;
  for (int i = 1; i < L - 1; i++) {
    for (int j = 1; j < C - 1; j++) {
      double d = z[i - 1][j];
      for (double v : {z[i][j + 1], z[i + 1][j], z[i][j - 1]})
        d = rnd(xreal(d) + v);
      d = rnd(xreal(d) * 0.25);
      const double dif = abs_d(xreal(z[i][j]) - d);
      squares = rnd(xreal(squares) + rnd(xreal(dif) * dif));
      total =
          rnd(xreal(total) + rnd((xreal(dif) - mean_difference) * (xreal(dif) - mean_difference)));
    }
  }
  if (n > 1) {
    r.standard_deviation = sqrt_d(xreal(total) / (n - 1));
    r.rms_error = sqrt_d(xreal(squares) / (n - 1));
  }
  return r;
}

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

void compare_with_plain_passes(const char* copy) {
  const bool failed_before = ::testing::Test::HasFailure();
  std::mt19937_64 random(20261208);
  for (int round = 0; round < 400; round++) {
    // Now and then a wide raster, for the vector loops' blocks.
    const Matrix z = random_raster(random, round % 5, round % 10 == 9 ? 700 : 40);
    const Heights heights{Matrix(z)};
    const ProfileResult fast = profile_pass(heights), plain = plain_profile(z);
    // The heights' own regression sums.
    double X = 0, X2 = 0;
    for (size_t i = 1; i + 1 < z.size(); i++) {
      for (size_t j = 1; j + 1 < z[i].size(); j++) {
        X = rnd(xreal(X) + z[i][j]);
        X2 = rnd(xreal(X2) + xreal(z[i][j]) * z[i][j]);
      }
    }
    ASSERT_EQ(fast.line_rms.size(), plain.line_rms.size());
    for (size_t i = 0; i < fast.line_rms.size(); i++) {
      EXPECT_EQ(bits(fast.line_rms[i]), bits(plain.line_rms[i])) << "line " << i;
    }
    expect_same(fast.rms_line, plain.rms_line, "rms_line");
    expect_same(fast.rms_column, plain.rms_column, "rms_column");
    expect_same(fast.rms_image, plain.rms_image, "rms_image");
    expect_same(fast.standard_deviation, plain.standard_deviation, "standard_deviation");
    expect_same(fast.rms_total, plain.rms_total, "rms_total");
    expect_same(fast.average_rms, plain.average_rms, "average_rms");
    expect_same(fast.homogeneity, plain.homogeneity, "homogeneity");

    const RmsErrorResult f = rms_error_pass(heights), p = plain_rms_error(z);
    EXPECT_EQ(f.interior_cells, p.interior_cells);
    if (f.interior_cells > 0) {
      EXPECT_EQ(bits(f.sum_x), bits(X));
      EXPECT_EQ(bits(f.sum_x2), bits(X2));
    }
    expect_same(f.slope, p.slope, "slope");
    expect_same(f.r, p.r, "r");
    expect_same(f.r_magnitude, p.r_magnitude, "|r|");
    expect_same(f.r_squared, p.r_squared, "r2");
    expect_same(f.rms_error, p.rms_error, "rms_error");
    expect_same(f.standard_deviation, p.standard_deviation, "standard_deviation");
    if (::testing::Test::HasFailure() && !failed_before) {
      ADD_FAILURE() << copy << ", round " << round << ", a raster of " << z.size() << " x "
                    << z[0].size();
      return;
    }
  }
}

// Each copy of the passes (arith/isa.h): the AVX2 one, where the processor has it, and the
// baseline one.
TEST(ReferencePasses, FastPassesGiveTheSameDoublesAsThePlainOnes) {
  const bool was = isa::use_avx2(true);
  const bool has_avx2 = isa::avx2_in_use();
  for (const bool avx2 : {true, false}) {
    if (avx2 && !has_avx2) continue;
    isa::use_avx2(avx2);
    compare_with_plain_passes(avx2 ? "AVX2" : "baseline");
  }
  isa::use_avx2(was);
  if (!has_avx2) std::printf("This processor has no AVX2: only the baseline copy ran.\n");
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
      const double checked = kernel::checked_square_of_difference(a[k], b[0]);
      const double square = std::isnan(checked) ? fast::square_of_difference(a[k], b[0]) : checked;
      disagreements += square != rnd((xreal(a[k]) - b[0]) * (xreal(a[k]) - b[0]));
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
