// Certified figures: the "%f" text of an exact real number, correctly rounded, and the double
// nearest to it, for the numbers the figures are: sums of square roots of whole numbers, and
// quotients of such sums, times a rational.
//
// How a number is certified, cheapest first:
// 1. In doubles, with a rigorous bound on the error (each operation's rounding counted): the
//    text is certain when no rounding boundary of the 6th decimal lies within the bound.
// 2. In MPFR, as an enclosure [lo, hi] rounded outwards, at a precision doubled each time until
//    the text (and the nearest double) is the same for every value of the enclosure.
// 3. Exactly, when an enclosure at a few hundred bits still holds one boundary (a tie of the
//    6th decimal, a midpoint between two doubles, or zero, whose side sets the sign): whether
//    the number equals it is decided in GMP integers (is_zero()); if it does, the tie is
//    broken to even as "%f" and the double conversion do; if not, the precision grows until
//    the enclosure leaves the boundary, which it must.
#pragma once

#include <gmpxx.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace scab::exact {

// Σ √r over some whole numbers r >= 0, with its evaluations kept: a sum of many roots (a
// raster's line RMS values) enters several figures, and is evaluated once for all of them at
// each precision. Not to be shared between threads.
class RootSum {
 public:
  explicit RootSum(std::vector<mpz_class> radicands);
  RootSum(const RootSum&) = delete;
  RootSum& operator=(const RootSum&) = delete;
  ~RootSum();

  const std::vector<mpz_class>& radicands() const { return radicands_; }
  // A double and a bound on its distance to the sum.
  void approximate(double& value, double& error) const;
  // The sum enclosed at `precision` bits: *lo <= sum <= *hi (MPFR numbers of that precision).
  struct Enclosure;
  const Enclosure& enclose(long precision) const;

 private:
  std::vector<mpz_class> radicands_;
  mutable bool approximated_ = false;
  mutable double value_ = 0, error_ = 0;
  mutable std::map<long, std::unique_ptr<Enclosure>> enclosures_;
};

// The real number scale × (Σ a_k S_k) / (Σ b_k S_k), for root sums S_k and whole numbers a_k,
// b_k; the denominator positive. An empty denominator stands for 1.
struct Surd {
  mpq_class scale = 1;
  std::vector<std::pair<long, const RootSum*>> numerator, denominator;
};

// A certified figure.
struct Certified {
  std::string text;    // as "%f" prints the exact value: 6 decimals, ties to even
  double nearest = 0;  // the double nearest to the exact value, ties to even
};

// The figure `value`; `with_nearest` false leaves `nearest` at 0 (the text alone is cheaper).
// Throws std::runtime_error in the case that cannot happen: an enclosure of 2^20 bits that
// still does not decide.
Certified certify(const Surd& value, bool with_nearest);

// The text of a number known to lie within `error` of the double `value`, when that settles
// it: false when a boundary (or, for a text of zero, the sign) lies within reach.
bool quick_text(double value, double error, std::string& text);

// The text of √radicand / divisor (divisor a whole number below 2^53, radicand below 2^124),
// and with `with_nearest` its nearest double, when a double-double evaluation with an error
// bound settles them: the quick path of a table row.
bool quick_root(unsigned __int128 radicand, double divisor, bool with_nearest, std::string& text,
                double& nearest);

// The sign of `value`: -1, 0 or 1.
int sign_of(const Surd& value);

// Whether Σ w_k √r_k is 0, for whole numbers w_k and r_k >= 0 (exactly: see certify.cpp).
bool is_zero(std::vector<std::pair<mpz_class, mpz_class>> terms);

// "%f" of the exact value m / 10^6: m's digits with the point before the last 6, and a minus
// sign when `negative` (so "-0.000000" for a negative value that rounds to 0).
std::string fixed_text(const mpz_class& m, bool negative);

}  // namespace scab::exact
