// The oracle's figures (exact_oracle.h): the README's formulas taken literally, cell by cell,
// in GMP rationals, and in MPFR at 4000 bits once a square root is irrational.
#include <algorithm>

#include "exact_oracle.h"

namespace scab::exact::test {
namespace {

constexpr long kBits = 4000;

bool perfect_square(const mpz_class& z) {
  return z >= 0 && mpz_perfect_square_p(z.get_mpz_t());
}

}  // namespace

Real::Real(const mpq_class& q) : q_(q) {
  mpfr_init2(x_, kBits);
  mpfr_set_q(x_, q_.get_mpq_t(), MPFR_RNDN);
}

Real::Real(const Real& other) : rational_(other.rational_), q_(other.q_) {
  mpfr_init2(x_, kBits);
  mpfr_set(x_, other.x_, MPFR_RNDN);
}

Real& Real::operator=(const Real& other) {
  rational_ = other.rational_;
  q_ = other.q_;
  mpfr_set(x_, other.x_, MPFR_RNDN);
  return *this;
}

Real::~Real() {
  mpfr_clear(x_);
}

int Real::sign() const {
  return rational_ ? sgn(q_) : mpfr_sgn(x_);
}

// Each operation: exact on two rationals, else at 4000 bits.
template <class Exact, class Approximate>
Real combine(const Real& a, const Real& b, Exact exact, Approximate approximate) {
  Real out;
  out.rational_ = a.rational_ && b.rational_;
  if (out.rational_) {
    out.q_ = exact(a.q_, b.q_);
    mpfr_set_q(out.x_, out.q_.get_mpq_t(), MPFR_RNDN);
  } else {
    approximate(out.x_, a.x_, b.x_, MPFR_RNDN);
  }
  return out;
}

Real operator+(const Real& a, const Real& b) {
  return combine(
      a, b, [](const mpq_class& x, const mpq_class& y) { return mpq_class(x + y); }, mpfr_add);
}
Real operator-(const Real& a, const Real& b) {
  return combine(
      a, b, [](const mpq_class& x, const mpq_class& y) { return mpq_class(x - y); }, mpfr_sub);
}
// 0 times or over anything is exactly 0.
Real operator*(const Real& a, const Real& b) {
  if (a.rational_ && a.q_ == 0) return a;
  if (b.rational_ && b.q_ == 0) return b;
  return combine(
      a, b, [](const mpq_class& x, const mpq_class& y) { return mpq_class(x * y); }, mpfr_mul);
}
Real operator/(const Real& a, const Real& b) {
  if (a.rational_ && a.q_ == 0) return a;
  return combine(
      a, b, [](const mpq_class& x, const mpq_class& y) { return mpq_class(x / y); }, mpfr_div);
}

// The root of a rational is rational when its numerator and denominator are perfect squares.
Real sqrt(const Real& a) {
  Real out = a;
  if (a.rational_ && perfect_square(a.q_.get_num()) && perfect_square(a.q_.get_den())) {
    out.q_ = mpq_class(mpz_class(sqrt(a.q_.get_num())), mpz_class(sqrt(a.q_.get_den())));
    mpfr_set_q(out.x_, out.q_.get_mpq_t(), MPFR_RNDN);
    return out;
  }
  out.rational_ = false;
  mpfr_sqrt(out.x_, a.x_, MPFR_RNDN);
  return out;
}

Real abs(const Real& a) {
  return a.sign() < 0 ? Real() - a : a;
}

std::string text_of(const mpq_class& q) {
  const mpq_class scaled = q * 1000000;
  // m = floor(scaled + 1/2), one less when scaled + 1/2 is a whole odd number (a tie).
  const mpq_class shifted = scaled + mpq_class(1, 2);
  mpz_class m;
  mpz_fdiv_q(m.get_mpz_t(), shifted.get_num_mpz_t(), shifted.get_den_mpz_t());
  if (shifted.get_den() == 1 && mpz_odd_p(m.get_mpz_t())) m -= 1;
  std::string digits = mpz_class(abs(m)).get_str();
  if (digits.size() < 7) digits.insert(0, 7 - digits.size(), '0');
  digits.insert(digits.size() - 6, ".");
  return (q < 0 ? "-" : "") + digits;
}

std::string oracle_text(const OracleFigure& f, bool* sure) {
  *sure = true;
  if (!f.defined) return "undefined";
  if (f.value.rational()) return text_of(f.value.exact());
  mpq_class q;
  mpfr_get_q(q.get_mpq_t(), f.value.approximation());
  // The distance of 10^6 q to the nearest boundary m + 1/2, and to 0.
  const mpq_class scaled = q * 1000000;
  mpz_class floor;
  mpz_fdiv_q(floor.get_mpz_t(), scaled.get_num_mpz_t(), scaled.get_den_mpz_t());
  const mpq_class boundary = mpq_class(floor) + mpq_class(1, 2);
  const mpq_class nearest =
      std::min(mpq_class(abs(scaled - boundary)), mpq_class(abs(scaled - boundary + 1)));
  mpq_class tolerance(1);
  tolerance /= mpq_class(mpz_class(1) << 3900);
  const mpq_class size = std::max(mpq_class(1), mpq_class(abs(scaled)));
  *sure = nearest > tolerance * size && abs(scaled) > tolerance;
  return text_of(q);
}

double oracle_double(const OracleFigure& f) {
  if (!f.defined) return 0;
  mpfr_t d;
  mpfr_init2(d, 53);
  if (f.value.rational()) {
    mpfr_set_q(d, f.value.exact().get_mpq_t(), MPFR_RNDN);
  } else {
    mpfr_set(d, f.value.approximation(), MPFR_RNDN);
  }
  const double out = mpfr_get_d(d, MPFR_RNDN);
  mpfr_clear(d);
  return out;
}

namespace {

OracleFigure defined(const Real& value) {
  return OracleFigure{true, value};
}

// The RMS of some heights: √(Σ(z − m)² / n), m their mean.
Real rms_of(const std::vector<mpq_class>& z) {
  mpq_class mean = 0, squares = 0;
  for (const mpq_class& v : z)
    mean += v;
  mean /= static_cast<long>(z.size());
  for (const mpq_class& v : z)
    squares += (v - mean) * (v - mean);
  return sqrt(Real(squares / static_cast<long>(z.size())));
}

void profile(const std::vector<std::vector<mpq_class>>& z, OracleFigures& f) {
  const size_t lines = z.size(), columns = z[0].size();
  Real line_total, column_total;
  std::vector<mpq_class> all;
  for (const auto& line : z) {
    f.line_rms.push_back(defined(rms_of(line)));
    line_total = line_total + f.line_rms.back().value;
    all.insert(all.end(), line.begin(), line.end());
  }
  for (size_t j = 0; j < columns; j++) {
    std::vector<mpq_class> column;
    for (const auto& line : z)
      column.push_back(line[j]);
    column_total = column_total + rms_of(column);
  }
  const Real r1 = line_total / Real(mpq_class(static_cast<long>(lines)));
  const Real r2 = column_total / Real(mpq_class(static_cast<long>(columns)));
  const Real r3 = rms_of(all);
  f.rms_line = defined(r1);
  f.rms_column = defined(r2);
  f.rms_image = defined(r3);
  const long n = static_cast<long>(all.size());
  // √(S / (N (N − 1))): the image's S / N divided once more by N − 1.
  if (n > 1) f.standard_deviation = defined(r3 / sqrt(Real(mpq_class(n - 1))));
  const Real three(mpq_class(3));
  const Real total = (abs(r1 - r2) + abs(r1 - r3) + abs(r2 - r3)) / three;
  const Real average = (r1 + r2 + r3) / three;
  f.rms_total = defined(total);
  f.average_rms = defined(average);
  if (average.sign() == 0) return;
  const Real coefficient = total / average * Real(mpq_class(100));
  f.homogeneity = defined(coefficient);
  f.homogeneity_report = defined(Real(mpq_class(100)) - coefficient);
}

void neighbourhood(const std::vector<std::vector<mpq_class>>& z, OracleFigures& f) {
  const size_t lines = z.size(), columns = z[0].size();
  std::vector<mpq_class> x, y, q;  // each interior cell, its 8- and 4-neighbour means
  for (size_t i = 1; i + 1 < lines; i++) {
    for (size_t j = 1; j + 1 < columns; j++) {
      const mpq_class four = z[i - 1][j] + z[i][j + 1] + z[i + 1][j] + z[i][j - 1];
      x.push_back(z[i][j]);
      q.push_back(four / 4);
      y.push_back((four + z[i - 1][j - 1] + z[i - 1][j + 1] + z[i + 1][j + 1] + z[i + 1][j - 1]) /
                  8);
    }
  }
  const long n = static_cast<long>(x.size());
  if (n < 2) return;
  mpq_class sx = 0, sy = 0, sxy = 0, sxx = 0, syy = 0, off = 0;
  for (long k = 0; k < n; k++) {
    sx += x[k];
    sy += y[k];
    sxy += x[k] * y[k];
    sxx += x[k] * x[k];
    syy += y[k] * y[k];
    off += abs(x[k] - y[k]);
  }
  const mpq_class top = n * sxy - sx * sy, dx = n * sxx - sx * sx, dy = n * syy - sy * sy;
  if (dx != 0) f.slope = defined(Real(top / dx));
  if (dx * dy > 0) {
    const Real r = Real(top) / sqrt(Real(dx * dy));
    f.r = defined(r);
    f.r_abs = defined(abs(r));
    f.r2 = defined(Real(top * top / (dx * dy)));  // r², exactly
  }
  const mpq_class d = off / n;
  mpq_class error = 0, spread = 0;
  for (long k = 0; k < n; k++) {
    error += (x[k] - q[k]) * (x[k] - q[k]);
    spread += (abs(x[k] - q[k]) - d) * (abs(x[k] - q[k]) - d);
  }
  f.rms_error = defined(sqrt(Real(error / (n - 1))));
  f.rms_error_sd = defined(sqrt(Real(spread / (n - 1))));
}

}  // namespace

OracleFigures oracle_figures(const TestRaster& t) {
  mpz_class unit;
  mpz_ui_pow_ui(unit.get_mpz_t(), 10, static_cast<unsigned long>(t.raster.decimals));
  std::vector<std::vector<mpq_class>> z(static_cast<size_t>(t.raster.lines));
  for (int64_t i = 0; i < t.raster.lines; i++) {
    for (int64_t j = 0; j < t.raster.columns; j++) {
      mpq_class height(mpz_class(t.at(i, j)), unit);
      height.canonicalize();
      z[static_cast<size_t>(i)].push_back(height);
    }
  }
  OracleFigures f;
  profile(z, f);
  neighbourhood(z, f);
  return f;
}

}  // namespace scab::exact::test
