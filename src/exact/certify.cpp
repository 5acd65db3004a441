#include "exact/certify.h"

#include <mpfr.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <unordered_map>

#include "exact/wide.h"

namespace scab::exact {
namespace {

// The unit roundoff of doubles: a correctly rounded operation errs by at most u × |result|.
constexpr double kUnit = 0x1p-53;
// A bound computed in doubles from sums and products of non-negative numbers is below the true
// bound by at most a factor (1 - u)^k after k operations; times this it is above it again, for
// the few operations (k < 2^12) of each bound below.
constexpr double kSlack = 1 + 0x1p-40;
// From this precision on, an enclosure that still holds a boundary is taken to the exact test:
// the number is then within 2^-240 of its own size from the boundary, which in practice means
// on it.
constexpr long kExactFrom = 256;
constexpr long kLongest = 1L << 20;

// An MPFR number, released with its owner.
class Float {
 public:
  explicit Float(long precision) { mpfr_init2(x_, precision); }
  ~Float() { mpfr_clear(x_); }
  Float(const Float&) = delete;
  Float& operator=(const Float&) = delete;
  mpfr_ptr get() { return x_; }
  mpfr_srcptr get() const { return x_; }

 private:
  mpfr_t x_;
};

// An enclosure [lo, hi] of a number.
struct Interval {
  explicit Interval(long precision) : lo(precision), hi(precision) {}
  Float lo, hi;
};

// A double and a bound on its distance to the number it stands for.
struct Approx {
  double value = 0, error = 0;
  bool usable() const { return std::isfinite(value) && std::isfinite(error); }
};

}  // namespace

struct RootSum::Enclosure : Interval {
  using Interval::Interval;
};

RootSum::RootSum(std::vector<mpz_class> radicands) : radicands_(std::move(radicands)) {
  assert(
      std::all_of(radicands_.begin(), radicands_.end(), [](const mpz_class& r) { return r >= 0; }));
}

RootSum::~RootSum() = default;

// Claim: |value − Σ√r| <= error. Proof: each r converts to a double truncated (relative error
// below 2u), so its root is off by below u before the root's own rounding (u): each term errs
// by at most 2u(1 + u) of itself; the sum of n non-negative terms adds at most
// (n − 1)u/(1 − (n − 1)u) of the terms' sum. Together below (n + 2)u × value × (1 + 2^-12)
// for n < 2^40; error is twice that.
void RootSum::approximate(double& value, double& error) const {
  if (!approximated_) {
    double sum = 0;
    for (const mpz_class& r : radicands_)
      sum += std::sqrt(r.get_d());
    value_ = sum;
    error_ = sum * (static_cast<double>(radicands_.size()) + 3) * (2 * kUnit);
    approximated_ = true;
  }
  value = value_;
  error = error_;
}

// The lower end is the sum of the roots rounded down, each and every partial sum; the upper
// end the same rounded up: a root rounded down that was not exact is one step below its upper
// rounding.
const RootSum::Enclosure& RootSum::enclose(long precision) const {
  std::unique_ptr<Enclosure>& slot = enclosures_[precision];
  if (slot) return *slot;
  slot = std::make_unique<Enclosure>(precision);
  mpfr_set_zero(slot->lo.get(), 1);
  mpfr_set_zero(slot->hi.get(), 1);
  Float root(precision), radicand(64);
  for (const mpz_class& r : radicands_) {
    const long bits = std::max<long>(64, static_cast<long>(mpz_sizeinbase(r.get_mpz_t(), 2)));
    if (bits > mpfr_get_prec(radicand.get())) mpfr_set_prec(radicand.get(), bits);
    mpfr_set_z(radicand.get(), r.get_mpz_t(), MPFR_RNDN);  // exact: precision >= its bits
    const int inexact = mpfr_sqrt(root.get(), radicand.get(), MPFR_RNDD);
    mpfr_add(slot->lo.get(), slot->lo.get(), root.get(), MPFR_RNDD);
    if (inexact != 0) mpfr_nextabove(root.get());
    mpfr_add(slot->hi.get(), slot->hi.get(), root.get(), MPFR_RNDU);
  }
  return *slot;
}

namespace {

using Parts = std::vector<std::pair<long, const RootSum*>>;

// Σ a_k S_k in doubles: each product and each sum adds at most u of its result.
Approx approximate(const Parts& parts) {
  if (parts.empty()) return Approx{1, 0};
  Approx out;
  for (const auto& [weight, sum] : parts) {
    double value, error;
    sum->approximate(value, error);
    const double product = static_cast<double>(weight) * value;
    out.error += std::fabs(static_cast<double>(weight)) * error + std::fabs(product) * kUnit;
    out.value += product;
    out.error += std::fabs(out.value) * kUnit;
  }
  out.error *= kSlack;
  return out;
}

// scale × N / D in doubles. With N = N' + dN and D = D' + dD (D' > |dD|), N/D − N'/D' is at
// most (|dN| + |N'/D'| |dD|) / (D' − |dD|); the scale converts truncated (below 2u of itself);
// each operation rounds once more. Unusable when D' does not exceed its error.
Approx approximate(const Surd& surd) {
  const Approx n = approximate(surd.numerator), d = approximate(surd.denominator);
  if (!n.usable() || !d.usable() || !(d.value - d.error > 0)) return Approx{NAN, NAN};
  const double quotient = n.value / d.value;
  const double quotient_error = ((n.error + std::fabs(quotient) * d.error) / (d.value - d.error) +
                                 std::fabs(quotient) * kUnit) *
                                kSlack;
  const double scale = surd.scale.get_d();
  Approx out;
  out.value = scale * quotient;
  out.error =
      (std::fabs(scale) * quotient_error +
       std::fabs(scale * quotient) * (2 * kUnit) * (1 + 4 * kUnit) + std::fabs(out.value) * kUnit) *
      kSlack;
  return out;
}

// Σ a_k S_k enclosed at `precision`: each weight times the end of the right side.
void enclose(const Parts& parts, long precision, Interval& out) {
  if (parts.empty()) {
    mpfr_set_ui(out.lo.get(), 1, MPFR_RNDN);
    mpfr_set_ui(out.hi.get(), 1, MPFR_RNDN);
    return;
  }
  mpfr_set_zero(out.lo.get(), 1);
  mpfr_set_zero(out.hi.get(), 1);
  Float term(precision);
  for (const auto& [weight, sum] : parts) {
    const RootSum::Enclosure& e = sum->enclose(precision);
    mpfr_mul_si(term.get(), (weight >= 0 ? e.lo : e.hi).get(), weight, MPFR_RNDD);
    mpfr_add(out.lo.get(), out.lo.get(), term.get(), MPFR_RNDD);
    mpfr_mul_si(term.get(), (weight >= 0 ? e.hi : e.lo).get(), weight, MPFR_RNDU);
    mpfr_add(out.hi.get(), out.hi.get(), term.get(), MPFR_RNDU);
  }
}

// The surd enclosed at `precision`; false when the denominator's enclosure does not yet
// exclude 0.
bool enclose(const Surd& surd, long precision, Interval& out) {
  Interval n(precision), d(precision);
  enclose(surd.numerator, precision, n);
  enclose(surd.denominator, precision, d);
  if (mpfr_sgn(d.lo.get()) <= 0) return false;
  // N / D for D > 0: the lower end is the least of lo/lo and lo/hi, the upper the greatest of
  // hi/lo and hi/hi, by the signs of lo and hi.
  const bool low_negative = mpfr_sgn(n.lo.get()) < 0, high_negative = mpfr_sgn(n.hi.get()) < 0;
  mpfr_div(out.lo.get(), n.lo.get(), (low_negative ? d.lo : d.hi).get(), MPFR_RNDD);
  mpfr_div(out.hi.get(), n.hi.get(), (high_negative ? d.hi : d.lo).get(), MPFR_RNDU);
  const bool negative_scale = sgn(surd.scale) < 0;
  if (negative_scale) mpfr_swap(out.lo.get(), out.hi.get());
  mpfr_mul_q(out.lo.get(), out.lo.get(), surd.scale.get_mpq_t(), MPFR_RNDD);
  mpfr_mul_q(out.hi.get(), out.hi.get(), surd.scale.get_mpq_t(), MPFR_RNDU);
  return true;
}

bool equals(const Surd& surd, const mpq_class& boundary);

}  // namespace

namespace {

// The text of m / 10^6 from the decimal digits of |m|.
std::string fixed_from_digits(std::string digits, bool negative) {
  if (digits.size() < 7) digits.insert(0, 7 - digits.size(), '0');
  digits.insert(digits.size() - 6, ".");
  return negative ? "-" + digits : digits;
}

}  // namespace

std::string fixed_text(const mpz_class& m, bool negative) {
  return fixed_from_digits(mpz_class(abs(m)).get_str(), negative);
}

namespace {

const mpz_class kMillion = 1000000;

// What an enclosure tells of the text: decided (with m = the value × 10^6 rounded, and its
// sign), or the one boundary it straddles (a tie, or 0 for the sign of a value that rounds to
// 0), or nothing yet.
struct TextDecision {
  bool decided = false;
  mpz_class m;
  bool negative = false;
  bool has_boundary = false;
  mpq_class boundary;  // in the value's units
};

// The text from a double and its error bound, when they decide it. t = value × 10^6 and m the
// nearest integer: t − m is exact (|t| < 2^50), and the value rounds to m when t's distance
// to m, plus t's error, stays below 1/2.
bool decide_text(const Approx& a, TextDecision& out) {
  if (!a.usable()) return false;
  const double t = a.value * 1e6;
  const double t_error = (a.error * 1e6 + std::fabs(t) * kUnit) * kSlack;
  if (!(std::fabs(t) < 0x1p50)) return false;
  const double m = std::nearbyint(t);
  if (!((std::fabs(t - m) + t_error) * kSlack < 0.5)) return false;
  // Rounded to 0, the sign must be certain too: "-0.000000" for a negative value.
  const bool exactly_zero = a.value == 0 && a.error == 0;
  if (m == 0 && !(std::fabs(a.value) > a.error) && !exactly_zero) return false;
  out.decided = true;
  out.m = static_cast<long>(m);
  out.negative = a.value < 0;
  return true;
}

TextDecision decide_text(const Interval& e) {
  TextDecision out;
  const long precision = mpfr_get_prec(e.lo.get()) + 32;
  Float a(precision), b(precision);  // 2t at either end, t = value × 10^6, rounded outwards
  mpfr_mul_ui(a.get(), e.lo.get(), 2000000, MPFR_RNDD);
  mpfr_mul_ui(b.get(), e.hi.get(), 2000000, MPFR_RNDU);
  mpz_class low, high;  // their floors
  mpfr_get_z(low.get_mpz_t(), a.get(), MPFR_RNDD);
  mpfr_get_z(high.get_mpz_t(), b.get(), MPFR_RNDD);
  const bool low_above = mpfr_cmp_z(a.get(), low.get_mpz_t()) > 0;
  const bool low_odd = mpz_odd_p(low.get_mpz_t()) != 0;
  // The boundaries are the odd values of 2t; the value rounds to m where 2t lies strictly
  // between 2m − 1 and 2m + 1. Here 2t lies in [a, b], within [low, high + 1).
  if (low == high && !low_odd) {
    out.m = low / 2;
  } else if ((low == high || (high == low + 1 && !mpz_odd_p(high.get_mpz_t()))) && low_above) {
    out.m = (low + 1) / 2;  // low odd, 2t above it and below the next odd value
  } else {
    // The boundary to test: 0 when the enclosure holds it (a value that is exactly 0 may lie
    // in enclosures wider than a digit); else, when only one boundary lies inside, low when 2t
    // may equal it, else high when odd.
    if (mpfr_sgn(e.lo.get()) <= 0 && mpfr_sgn(e.hi.get()) >= 0) {
      out.has_boundary = true;
      out.boundary = 0;
    } else if (low == high || high == low + 1) {
      out.has_boundary = true;
      out.boundary = mpq_class(low_odd ? low : high, 2 * kMillion);
      out.boundary.canonicalize();
    }
    return out;
  }
  // Rounded to 0: "-0.000000" for a negative value, so the sign must be certain too.
  const bool may_be_negative = mpfr_sgn(e.lo.get()) < 0;
  if (out.m == 0 && may_be_negative && mpfr_sgn(e.hi.get()) >= 0) {
    out.has_boundary = true;
    out.boundary = 0;
    return out;
  }
  out.decided = true;
  out.negative = out.m < 0 || (out.m == 0 && may_be_negative);
  return out;
}

// The text of a value found equal to `boundary`: 0, or a tie broken to the even neighbour.
void decide_on_boundary(const mpq_class& boundary, TextDecision& out) {
  out.decided = true;
  out.negative = sgn(boundary) < 0;
  if (boundary == 0) {
    out.m = 0;
    return;
  }
  const mpz_class twice = boundary.get_num() * 2 * kMillion / boundary.get_den();  // odd
  const mpz_class below = (twice - 1) / 2;  // exact: twice - 1 is even
  out.m = mpz_even_p(below.get_mpz_t()) ? below : mpz_class(below + 1);
}

// What an enclosure tells of the nearest double: decided when both ends round to the same
// double (rounding is monotonic), else the boundary between two neighbouring doubles (their
// midpoint) or 0, when there is one inside.
struct NearestDecision {
  bool decided = false;
  double nearest = 0;
  bool has_boundary = false;
  mpq_class boundary;
  double below = 0, above = 0;  // the two doubles either side of the midpoint
};

NearestDecision decide_nearest(const Interval& e) {
  NearestDecision out;
  const double low = mpfr_get_d(e.lo.get(), MPFR_RNDN);
  const double high = mpfr_get_d(e.hi.get(), MPFR_RNDN);
  if (low == high && std::isfinite(low)) {
    out.decided = true;
    out.nearest = low == 0 ? 0.0 : low;
  } else if (std::nextafter(low, INFINITY) == high) {
    out.has_boundary = true;
    out.boundary = (mpq_class(low) + mpq_class(high)) / 2;
    out.below = low;
    out.above = high;
  } else if (mpfr_sgn(e.lo.get()) <= 0 && mpfr_sgn(e.hi.get()) >= 0) {
    out.has_boundary = true;
    out.boundary = 0;
  }
  return out;
}

// The double of a value found equal to `d.boundary`: 0, or the even one of the two doubles.
void decide_on_boundary(NearestDecision& d) {
  d.decided = true;
  if (d.boundary == 0) {
    d.nearest = 0;
    return;
  }
  uint64_t bits;
  std::memcpy(&bits, &d.below, sizeof bits);
  d.nearest = (bits & 1) == 0 ? d.below : d.above;
}

// Terms of surd − boundary, times a positive whole number: with scale = p/q and boundary
// = c/e (q, e > 0), p e N − c q D, each root sum's radicands taken one by one.
std::vector<std::pair<mpz_class, mpz_class>> difference_terms(const Surd& surd,
                                                              const mpq_class& boundary) {
  const mpz_class left = surd.scale.get_num() * boundary.get_den();
  const mpz_class right = boundary.get_num() * surd.scale.get_den();
  std::vector<std::pair<mpz_class, mpz_class>> terms;
  for (const auto& [weight, sum] : surd.numerator) {
    for (const mpz_class& r : sum->radicands())
      terms.emplace_back(left * weight, r);
  }
  if (surd.numerator.empty()) terms.emplace_back(left, 1);
  for (const auto& [weight, sum] : surd.denominator) {
    for (const mpz_class& r : sum->radicands())
      terms.emplace_back(-right * weight, r);
  }
  if (surd.denominator.empty()) terms.emplace_back(-right, 1);
  return terms;
}

bool equals(const Surd& surd, const mpq_class& boundary) {
  return is_zero(difference_terms(surd, boundary));
}

// The precision to start from: a sum of n roots loses about log2(n) bits. Rounded up to a
// multiple of 32, so that the figures that share a root sum mostly ask for its enclosure at
// the same precisions, kept from one figure to the next.
long first_precision(const Surd& surd) {
  size_t terms = 1;
  for (const auto* parts : {&surd.numerator, &surd.denominator}) {
    for (const auto& part : *parts)
      terms += part.second->radicands().size();
  }
  long bits = 64;
  for (; terms > 1; terms >>= 1)
    bits++;
  return (bits + 31) / 32 * 32;
}

// Runs `step` on enclosures of `surd` at growing precision until it returns true.
template <class Step>
void refine(const Surd& surd, Step step) {
  for (long precision = first_precision(surd);; precision *= 2) {
    if (precision > kLongest) {
      throw std::runtime_error("a figure could not be certified at " + std::to_string(kLongest) +
                               " bits");
    }
    Interval e(precision);
    if (enclose(surd, precision, e) && step(e, precision >= kExactFrom)) return;
  }
}

}  // namespace

namespace {

// Radicands r = f s² with the same square-free part f. Their roots are s √f, and the roots of
// distinct square-free numbers are linearly independent over the rationals (Besicovitch,
// 1940): a sum Σ w √r is 0 exactly when, for each f, Σ w s is. Two radicands share f exactly
// when their product is a perfect square; against the group's first radicand r0 = f s0²,
// √(r r0) = f s s0, so the group's Σ w √(r r0) is f s0 Σ w s, zero exactly when Σ w s is.
struct Group {
  mpz_class first;  // r0
  mpz_class total;  // Σ w √(r r0), a whole number
};

// To find a radicand's group among many without trying each: for a prime p that divides
// neither r nor r0, the Legendre symbol (r/p) is (f/p) when they share f. The key of a
// radicand is its symbols at 16 primes; a radicand that one of them divides has no key and
// is tried against every group, and every radicand against the groups whose first has none.
constexpr unsigned long kKeyPrimes[] = {65537, 65539, 65543, 65551, 65557, 65563, 65579, 65581,
                                        65587, 65599, 65609, 65617, 65629, 65633, 65647, 65651};
constexpr uint32_t kNoKey = UINT32_MAX;

uint32_t key_of(const mpz_class& r) {
  uint32_t key = 0;
  for (size_t k = 0; k < 16; k++) {
    const int symbol = mpz_kronecker_ui(r.get_mpz_t(), kKeyPrimes[k]);
    if (symbol == 0) return kNoKey;
    key |= static_cast<uint32_t>(symbol > 0) << k;
  }
  return key;
}

class Groups {
 public:
  void add(const mpz_class& weight, const mpz_class& r) {
    const uint32_t key = key_of(r);
    if (key == kNoKey) {
      if (join(all_, weight, r)) return;
      unkeyed_.push_back(groups_.size());
    } else {
      if (join(by_key_[key], weight, r) || join(unkeyed_, weight, r)) return;
      by_key_[key].push_back(groups_.size());
    }
    all_.push_back(groups_.size());
    groups_.push_back(Group{r, weight * r});
  }
  bool all_zero() const {
    return std::all_of(groups_.begin(), groups_.end(), [](const Group& g) { return g.total == 0; });
  }

 private:
  bool join(const std::vector<size_t>& candidates, const mpz_class& weight, const mpz_class& r) {
    mpz_class product;
    for (size_t g : candidates) {
      product = groups_[g].first * r;
      if (mpz_perfect_square_p(product.get_mpz_t())) {
        groups_[g].total += weight * sqrt(product);
        return true;
      }
    }
    return false;
  }

  std::vector<Group> groups_;
  std::vector<size_t> all_, unkeyed_;
  std::unordered_map<uint32_t, std::vector<size_t>> by_key_;
};

}  // namespace

bool is_zero(std::vector<std::pair<mpz_class, mpz_class>> terms) {
  // Perfect squares have whole roots: together, the sum's rational part.
  mpz_class whole = 0;
  std::vector<std::pair<mpz_class, mpz_class>> others;  // (radicand, weight)
  for (const auto& [weight, r] : terms) {
    assert(r >= 0);
    if (weight == 0 || r == 0) continue;
    if (mpz_perfect_square_p(r.get_mpz_t())) {
      whole += weight * sqrt(r);
    } else {
      others.emplace_back(r, weight);
    }
  }
  if (whole != 0) return false;
  // Equal radicands first added together (a raster's line and column sums often repeat).
  std::sort(others.begin(), others.end(),
            [](const auto& a, const auto& b) { return cmp(a.first, b.first) < 0; });
  Groups groups;
  for (size_t k = 0; k < others.size();) {
    mpz_class weight = 0;
    size_t next = k;
    for (; next < others.size() && others[next].first == others[k].first; next++)
      weight += others[next].second;
    if (weight != 0) groups.add(weight, others[k].first);
    k = next;
  }
  return groups.all_zero();
}

bool quick_text(double value, double error, std::string& text) {
  TextDecision decision;
  if (!decide_text(Approx{value, error}, decision)) return false;
  // |m| < 2^50 here: its digits without GMP, as the table's rows are many.
  const long m = decision.m.get_si();
  text = fixed_from_digits(std::to_string(m < 0 ? -m : m), decision.negative);
  return true;
}

namespace {

// √a / d as q + t, two doubles. Claim: |√a / d − (q + t)| <= 16 u² q (u = 2^-53), for
// 0 < a < 2^124 and d a whole number below 2^53. Proof, step by step (second-order terms
// folded into the constants):
// - ah = a rounded (within 2u a, even if the conversion were only faithful); rest = a − ah
//   exactly in 128 bits, al = rest rounded (within 2u² a).
// - s = √ah rounded: s² is within 4.1u of a. p = s² rounded, e = s² − p exactly (fma);
//   ah − p is exact (Sterbenz: the two are within a factor 2); r = (ah − p − e) + al is
//   a − s² within 8.1u² a (two roundings of terms below 4.1u a, and al's).
// - c = r / 2s rounded; √(s² + r) = s + r/2s − r²/8s³ + …: s + c is within 8.2u² s of √a
//   (c's rounding 2.1u² s, r's error over 2s 4.1u² s, the series' tail 2.1u² s).
// - q = s / d rounded; rem = s − q d exactly (fma: the remainder of a correctly rounded
//   quotient is a double); t = ((rem + c) rounded / d) rounded errs by at most 3.1u² s / d
//   + 3.1u² q. In all below 14.4u² q.
void root_pair(Uint128 a, double d, double& q, double& t) {
  const double ah = static_cast<double>(a);
  const double al =
      static_cast<double>(static_cast<Int128>(a) - static_cast<Int128>(static_cast<Uint128>(ah)));
  const double s = std::sqrt(ah);
  const double p = s * s;
  const double e = std::fma(s, s, -p);
  const double r = ((ah - p) - e) + al;
  const double c = r / (2 * s);
  q = s / d;
  const double rem = std::fma(-q, d, s);
  t = (rem + c) / d;
}

}  // namespace

// Rows: their double-double value n + δ (n = q + t rounded, δ its exact rest, |t| < 4u q)
// lies within 16u² q of √a / d. With the bound taken as E = 64u² q, the value rounds to n
// when δ + E stays below half the gap to n's upper neighbour and −δ + E below half the gap to
// its lower one: those two sums are computed within u × (half a gap + E), below 2u² n, which
// the slack of E (48u² q) covers. The text follows from n within |δ| + E.
bool quick_root(unsigned __int128 radicand, double divisor, bool with_nearest, std::string& text,
                double& nearest) {
  if (radicand >> 124 != 0) return false;
  nearest = 0;
  if (radicand == 0) {
    text = fixed_text(0, false);
    return true;
  }
  double q, t;
  root_pair(radicand, divisor, q, t);
  const double n = q + t;
  const double rest = t - (n - q);  // exact, |q| >= |t|
  const double bound = q * 0x1p-100;
  if (!quick_text(n, std::fabs(rest) + bound, text)) return false;
  if (!with_nearest) return true;
  const double up = std::nextafter(n, INFINITY) - n, down = n - std::nextafter(n, 0.0);
  if (!(rest + bound < up / 2 && bound - rest < down / 2)) return false;
  nearest = n;
  return true;
}

Certified certify(const Surd& surd, bool with_nearest) {
  TextDecision text;
  NearestDecision nearest;
  decide_text(approximate(surd), text);
  nearest.decided = !with_nearest;
  // Each boundary is tested exactly once (0 may be one for the text and for the double):
  // when the value is not on it, the enclosures shrink away from it.
  std::vector<std::pair<mpq_class, bool>> tested;
  const auto on_boundary = [&](const mpq_class& boundary) {
    for (const auto& [known, equal] : tested) {
      if (known == boundary) return equal;
    }
    tested.emplace_back(boundary, equals(surd, boundary));
    return tested.back().second;
  };
  if (!text.decided || !nearest.decided) {
    refine(surd, [&](const Interval& e, bool exact_now) {
      if (!text.decided) {
        text = decide_text(e);
        if (text.has_boundary && exact_now && on_boundary(text.boundary)) {
          decide_on_boundary(mpq_class(text.boundary), text);
        }
      }
      if (!nearest.decided) {
        nearest = decide_nearest(e);
        if (nearest.has_boundary && exact_now && on_boundary(nearest.boundary)) {
          decide_on_boundary(nearest);
        }
      }
      return text.decided && nearest.decided;
    });
  }
  return Certified{fixed_text(text.m, text.negative), with_nearest ? nearest.nearest : 0};
}

int sign_of(const Surd& surd) {
  const Approx a = approximate(surd);
  if (a.usable() && std::fabs(a.value) > a.error) return a.value > 0 ? 1 : -1;
  int sign = 0;
  bool tested = false;
  refine(surd, [&](const Interval& e, bool exact_now) {
    if (mpfr_sgn(e.lo.get()) > 0 || mpfr_sgn(e.hi.get()) < 0) {
      sign = mpfr_sgn(e.lo.get()) > 0 ? 1 : -1;
      return true;
    }
    if (mpfr_zero_p(e.lo.get()) && mpfr_zero_p(e.hi.get())) return true;
    if (!exact_now || tested) return false;
    tested = true;
    return equals(surd, 0);
  });
  return sign;
}

}  // namespace scab::exact
