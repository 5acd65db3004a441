// Running sums in their fixed order, a block of steps at a time.
//
// A running sum takes, step after step, total = rnd(xreal(total) + v): the 64-bit sum of the
// total and an increment v (a double, or a product of two doubles kept to 64 bits), rounded to
// a double. Done as written it is one long chain of dependent additions. The block rule breaks
// the chain:
//
//   Let the total T be a double whose magnitude lies in the binade [2^E, 2^(E+1)), u = 2^(E-52)
//   the spacing of doubles there and g = 2^(E-63) that of 64-bit significands. Let w_1 .. w_n
//   be multiples of u with |v_k - w_k| < u/2 - g/2, and T_k = T + w_1 + ... + w_k (T_0 = T).
//   If every |T_k| lies in [2^E + u, 2^(E+1) - 2u], the model's totals are T_1 .. T_n.
//
// Proof, by induction on k, T_(k-1) being a double of the binade. The exact sum
// s = T_(k-1) + v_k lies within u/2 - g/2 of T_k, hence strictly inside the binade, where 64-bit
// significands are spaced g: the model rounds s to s' with |s' - s| <= g/2, then s' to the
// nearest double, a multiple of u. As |s' - T_k| < g/2 + (u/2 - g/2) = u/2, that is T_k (and
// no tie). When every v_k has the sign of T, |s| >= |T_(k-1)| >= 2^E: only |T_n| <= 2^(E+1) - 2u
// needs checking. When every v_k has the other sign, |s| <= |T_(k-1)|: only |T_n| >= 2^E + u.
//
// So a block's totals need no additions in order: each w_k is v_k rounded to a multiple of u
// on its own, in vector lanes, and T_n = T + (w_1 + ... + w_n), where every partial sum of
// these multiples of u stays below 2^(E+1) = 2^53 u in magnitude: exact in any order. Several
// running sums over the same steps go through one loop together (advance_together), sharing
// its loads and its cost. A block that breaks the conditions for one of them (an increment
// within g of a midpoint between multiples of u, or not a number; a total that would leave its
// binade, or has none) is taken again for that one alone: where its increments are unsure (near
// a midpoint), by the model's own roundings (model_block); otherwise in parts, down to single
// steps done with fast::add or fast::muladd.
//
// The increments come from functions of the step, inlined into the loops, so that they are
// computed where they are summed, without a line of them in memory. A fast function that is
// unsure of an increment gives NaN (fast::or_nan): that step is taken singly, with the sure
// function. Kernels meant for these loops are written without branches (& and | on bools, no
// select of a NaN), which the compiler vectorizes reliably.
#pragma once

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>

#include "arith/fast.h"
#include "arith/isa.h"

namespace scab {
SCABROSIMETER_COPY_BEGIN
namespace fast {

// Which increments a running sum takes: any, or none below zero (a sum of squares, of absolute
// values, of heights known not to be negative), whose totals then only move one way.
enum class Signs { any, non_negative };

// v rounded to the nearest multiple of unit 2^-52 (a power of two), ties to even: adding unit,
// signed as v, rounds a smaller v to that spacing; a larger one is a multiple of it already.
inline double to_grid(double v, double unit) {
  assert(unit > 0 && (bits_of(unit) & kSignificandMask) == 0);  // a power of two
  const double signed_unit = std::copysign(unit, v);
  const double rounded = (v + signed_unit) - signed_unit;
  const uint64_t small = 0 - static_cast<uint64_t>(std::fabs(v) < unit);  // all ones, or zero
  return from_bits((bits_of(rounded) & small) | (bits_of(v) & ~small));
}

// A product kept to 64 bits before it is added: an increment of a sum of products.
struct Product {
  double x;
  double y;
};

// A running sum whose increment at step k is sure(k), a double, always the model's; value(k)
// gives the same, or NaN where it is unsure.
template <Signs kSignsOfIncrements, typename Value, typename Sure>
struct SumChain {
  static constexpr Signs kSigns = kSignsOfIncrements;
  static constexpr bool kProducts = false;
  double total;
  Value value;
  Sure sure;

  double increment(long k) const { return value(k); }
  // The increment rounded to multiples of `grid` (a power of two) as the model's 64-bit sum
  // rounds it, `unit` being 2^52 grid; NaN where value(k) is unsure.
  double on_grid(long k, double unit, double) const { return to_grid(value(k), unit); }
  double step(double t, long k) const {
    assert(kSigns == Signs::any || !(sure(k) < 0));
    return add(t, sure(k));
  }
  bool adds_zero(long k) const { return sure(k) == 0; }
};

// A running sum whose increment at step k is the product of factors(k), kept to 64 bits.
template <Signs kSignsOfIncrements, typename Factors>
struct ProductChain {
  static constexpr Signs kSigns = kSignsOfIncrements;
  static constexpr bool kProducts = true;
  double total;
  Factors factors;

  // The product's double: the rule takes it in place of the 64-bit product (see products()).
  double increment(long k) const {
    const Product f = factors(k);
    return f.x * f.y;
  }
  // The 64-bit product rounded to multiples of `grid` (a power of two, unit = 2^52 grid), as the
  // model's 64-bit sum rounds it, for a product below `unit` in magnitude: the product's double
  // p rounds the same way, the 64-bit product being far closer to p than the grid's spacing,
  // unless p lies on a midpoint of the grid. NaN for those, and for larger products.
  double on_grid(long k, double unit, double grid) const {
    const Product f = factors(k);
    const double p = f.x * f.y;
    const double r = to_grid(p, unit);
    return or_nan({r, (!(std::fabs(p) < unit) | (std::fabs(p - r) == grid / 2)) != 0});
  }
  double step(double t, long k) const {
    const Product f = factors(k);
    assert(kSigns == Signs::any || !(f.x * f.y < 0));
    return muladd(t, f.x, f.y);
  }
  bool adds_zero(long k) const {
    const Product f = factors(k);
    return (f.x == 0 && std::isfinite(f.y)) || (f.y == 0 && std::isfinite(f.x));
  }
};

template <Signs kSigns, typename Value, typename Sure>
SumChain<kSigns, Value, Sure> sum_chain(double total, Value value, Sure sure) {
  return {total, value, sure};
}
template <Signs kSigns, typename Value>
SumChain<kSigns, Value, Value> sum_chain(double total, Value value) {
  return {total, value, value};
}
template <Signs kSigns, typename Factors>
ProductChain<kSigns, Factors> product_chain(double total, Factors factors) {
  return {total, factors};
}

namespace block_rule {

// Steps taken at once. A block that breaks the rule for a running sum is taken again for it
// alone, so a short block spoils little; a long one spreads the cost of checking the rule.
// model_block takes at most kModelBlock steps (one bit each in a 64-bit word).
constexpr long kBlock = 256;
constexpr long kModelBlock = 64;

// What the rule needs to know of the total before a block.
struct Rule {
  // 1.5 * 2^E. With the sign of v, (v + shift) - shift is a multiple of u, and v rounded to
  // the nearest one when |v| < 2^(E-1): v + shift lies in [1.5 * 2^E, 2^(E+1)), spaced u, and
  // the subtraction is exact. For larger v it is still a multiple of u (v + shift, at least
  // 1.5 * 2^E, is one; so is the difference, exact up to 3 * 2^E and of magnitude 2^E or more
  // beyond); one that lands too far from v, or takes the total out of its binade, fails the
  // rule's other conditions.
  double shift;
  // How far an increment may lie from its multiple of u: u/2 - g/2. For a product, whose double
  // p stands in for its 64-bit value v, the distance is taken as |p - w| + |p| 2^-52, which
  // bounds |v - w|: p is within half its spacing, |p| 2^-53, of the exact product, and that
  // within |p| 2^-64 of v. Its own rounding stays far below the g/2 kept in hand: u/2 - g.
  double limit;
  double low, high;  // 2^E + u and 2^(E+1) - 2u: the bounds of the totals' magnitudes
  bool positive;     // the total's sign
  bool usable;
};

// The rule about the total t. It is not used for zero, infinities and NaN, nor for a total
// near either end of the exponents. Exponent fields 128 to 1900 (E from -895 to 877):
// - below, g = 2^(E-63) must be a normal double (E >= -959, field 64), and so must what the
//   rule compares with it: u/2 - 2g, and a product's |p| 2^-52 for a product near u
//   (2^(E-104)), which needs E >= -918; 128 keeps 23 more binades in hand;
// - above, 2^(E+1) must be finite (E <= 1022, field 2045), and so must the block's sums of up
//   to 256 increments (a sum of magnitudes below 2^(E+1) each stays below 2^(E+9)) and a
//   product's double; 1900 keeps 136 binades in hand.
inline Rule rule_of(double t, bool products) {
  const uint64_t exponent = bits_of(t) & kExponentMask;
  const double low = from_bits(exponent);  // 2^E
  const double u = low * 0x1p-52, g = low * 0x1p-63;
  return {low * 1.5,        products ? u / 2 - 2 * g : u / 2 - g,
          low + u,          2 * low - 2 * u,
          !std::signbit(t), exponent >= (128ull << 52) && exponent <= (1900ull << 52)};
}

// v rounded to a multiple of u by the rule's shift, signed as v where v may be below zero.
template <Signs kSigns>
inline double to_multiple(double v, double shift) {
  const double signed_shift = kSigns == Signs::non_negative ? shift : std::copysign(shift, v);
  return (v + signed_shift) - signed_shift;
}

// What a block's loop gathers for one running sum: its rounded increments' sum (and, where they
// may have either sign, the sum of their magnitudes), and the farthest an increment lay from
// its multiple of u.
struct Gathered {
  double sum = 0, magnitude = 0, worst = 0;
};

// One step of a block's loop for one running sum: its increment at step k, rounded by `rule`,
// gathered into the accumulators (passed one by one: the loop's reductions need variables).
template <typename Chain>
inline void gather(const Chain& chain, long k, const Rule& rule, double& sum, double& magnitude,
                   double& worst) {
  const double v = chain.increment(k);
  const double w = to_multiple<Chain::kSigns>(v, rule.shift);
  sum += w;
  if (Chain::kSigns == Signs::any) magnitude += std::fabs(w);
  const double off =
      Chain::kProducts ? std::fabs(v - w) + std::fabs(v) * 0x1p-52 : std::fabs(v - w);
  worst = off > worst ? off : worst;
}

// What became of a block for one running sum: it stood, and the total moved on; it is unsure,
// some of its increments lying too near a midpoint between multiples of u (or not numbers) to
// be rounded alone; or it broke the rule otherwise (its totals would leave the binade, the
// total has none).
enum class Outcome { stood, unsure, broke };

// Whether every total of a block stays in the binade of `rule`, from the total t on, the
// block's increments rounded to multiples of u adding `sum` in all, the magnitudes of those
// increments `magnitude` (needed for kSigns any only). Written without branches.
template <Signs kSigns>
inline bool stays_in_binade(const Rule& rule, double t, double sum, double magnitude) {
  if (kSigns == Signs::non_negative) {
    // The totals move one way: away from zero from a positive total, towards it otherwise.
    return rule.positive ? t + sum <= rule.high : t + sum <= -rule.low;
  }
  // Every total lies between t + down and t + up, the sums of the negative and of the positive
  // increments: (sum -+ magnitude) / 2, exact, as sums of multiples of u.
  const double up = (magnitude + sum) / 2, down = (sum - magnitude) / 2;
  return rule.positive ? (t + down >= rule.low) & (t + up <= rule.high)
                       : (t + up <= -rule.low) & (t + down >= -rule.high);
}

template <typename Chain>
inline Outcome conclude(Chain& chain, const Rule& rule, const Gathered& g) {
  if (!rule.usable) return Outcome::broke;
  // A NaN among the increments makes the sum one too (and an infinity either that or an
  // infinity): those steps are unsure.
  if (std::isnan(g.sum)) return Outcome::unsure;
  // The totals leaving the binade come first: a block that would make them is too long for the
  // total (a young one, beside its increments), whatever its increments.
  if (!stays_in_binade<Chain::kSigns>(rule, chain.total, g.sum, g.magnitude)) return Outcome::broke;
  if (!(g.worst < rule.limit)) return Outcome::unsure;
  chain.total += g.sum;
  return Outcome::stood;
}

// The rule over steps [first, first + n) of one running sum. Kept out of line: the loop is
// vectorized reliably on its own, not always once inlined into the recursion of take().
template <typename Chain>
[[gnu::noinline]] Outcome one_block(Chain& chain, long first, long n, Gathered& g) {
  const Rule rule = rule_of(chain.total, Chain::kProducts);
  const Chain copy = chain;
  double sum = 0, magnitude = 0, worst = 0;
#pragma omp simd reduction(+ : sum, magnitude) reduction(max : worst)
  for (long k = first; k < first + n; k++)
    gather(copy, k, rule, sum, magnitude, worst);
  g = {sum, magnitude, worst};
  return conclude(chain, rule, g);
}

// What model_block gathers over a block of up to 64 steps: the sum of the increments rounded
// to multiples of u and of their magnitudes; and one bit a step, of the steps whose increment
// lies on a midpoint between multiples of u (ties), of those whose multiple is odd, and of
// those that the rule cannot round alone (unsure).
struct Parities {
  double sum = 0, magnitude = 0;
  uint64_t ties = 0, odd = 0, unsure = 0;
};

// The increments of steps [first, first + n) rounded as the model rounds them: first to the
// 64-bit grid g of the total's binade (as the model rounds the exact sum; the total adds a
// multiple of 2^11 g, so the ties go alike), giving r_k, then to the nearest multiple of u, w_k,
// ties to the even multiple. The loop is vectorized.
template <typename Chain>
[[gnu::always_inline]] inline Parities parities_of(const Chain& chain, const Rule& rule, long first,
                                                   long n) {
  const double low = rule.shift / 1.5;  // 2^E
  const double u = low * 0x1p-52, grid_unit = low * 0x1p-11, grid = low * 0x1p-63;
  const double shift = rule.shift;
  const Chain copy = chain;
  double sum = 0, magnitude = 0;
  uint64_t ties = 0, odd = 0, unsure = 0;
#pragma omp simd reduction(+ : sum, magnitude) reduction(| : ties, odd, unsure)
  for (long k = first; k < first + n; k++) {
    const double r = copy.on_grid(k, grid_unit, grid);
    const double signed_shift = std::copysign(shift, r);
    const double t = r + signed_shift;  // shift + w, a multiple of u: its last bit is w / u's
    const double w = t - signed_shift;
    sum += w;
    magnitude += std::fabs(w);
    const long at = k - first;
    ties |= static_cast<uint64_t>(std::fabs(r - w) == u / 2) << at;
    odd |= (bits_of(t) & 1) << at;
    // NaN, or beyond 2^(E-1), where adding the shift would round to multiples of 2u.
    unsure |= static_cast<uint64_t>(!(std::fabs(r) < low / 2)) << at;
  }
  return {sum, magnitude, ties, odd, unsure};
}

// The rule over steps [first, first + n) of one running sum again, every increment rounded as
// the model rounds it rather than checked against midpoints (parities_of). Where r_k lies on a
// midpoint between multiples of u (data on a decimal grid can put one in every block), the
// model's double goes to the even one, (T_(k-1) + w_k) / u even: the nearest-even rounding of
// r_k took w_k / u even, right when T_(k-1) / u is even; otherwise it is the other neighbour,
// w_k +- u. The parity of T_(k-1) / u is that of T / u and of every w_i / u before k, back to
// the last tie, after which it is even: the few ties are settled here, in order, from the bits
// gathered. The block stands when its totals stay in the binade.
template <typename Chain>
[[gnu::noinline]] Outcome model_block(Chain& chain, long first, long n) {
  assert(n <= kModelBlock);
  const Rule rule = rule_of(chain.total, Chain::kProducts);
  if (!rule.usable) return Outcome::broke;
  Parities p = parities_of(chain, rule, first, n);
  if (p.unsure != 0 || std::isnan(p.sum)) return Outcome::broke;
  const double low = rule.shift / 1.5;  // 2^E
  const double u = low * 0x1p-52;
  bool parity = (bits_of(chain.total) & 1) != 0;  // the total's before the block: its last bit
  uint64_t done = 0;                              // the steps whose parity is accounted for
  for (uint64_t left = p.ties; left != 0; left &= left - 1) {
    const int k = __builtin_ctzll(left);
    const uint64_t before = (uint64_t{1} << k) - 1;
    parity ^= (__builtin_popcountll(p.odd & before & ~done) & 1) != 0;
    if (parity) {
      const double r = chain.on_grid(first + k, low * 0x1p-11, low * 0x1p-63);
      const double w = to_multiple<Signs::any>(r, rule.shift);
      p.sum += r > w ? u : -u;
      p.magnitude += u;
    }
    parity = false;  // the total after a tie is even
    done = before | (uint64_t{1} << k);
  }
  if (!stays_in_binade<Chain::kSigns>(rule, chain.total, p.sum, p.magnitude)) return Outcome::broke;
  chain.total += p.sum;
  return Outcome::stood;
}

template <typename Chain>
void take(Chain& chain, long first, long count);

// Steps of one running sum from `first` on, before `end`, one at a time, each by the rule for a
// block of one step where it holds (a plain addition of the rounded increment, checked), and by
// the model's own step where it does not, the rule following the total from binade to binade:
// for a total that is young beside its increments and crosses powers of two every few steps.
// It stops where the room left in the total's binade exceeds twice what the steps left would
// add at `average` each: blocks can take them again. Gives the first step not taken.
template <typename Chain>
[[gnu::noinline]] long one_by_one(Chain& chain, long first, long end, double average) {
  assert(first <= end && average > 0);
  double t = chain.total;
  Rule rule = rule_of(t, Chain::kProducts);
  for (long k = first; k < end; k++) {
    if ((k - first) % 16 == 15 && rule.usable) {
      const double room = rule.positive ? rule.high - t : -t - rule.low;
      if (room > 2 * average * static_cast<double>(end - k)) {
        chain.total = t;
        return k;
      }
    }
    const double v = chain.increment(k);
    const double w = to_multiple<Signs::any>(v, rule.shift);
    const double off =
        Chain::kProducts ? std::fabs(v - w) + std::fabs(v) * 0x1p-52 : std::fabs(v - w);
    if (rule.usable & (off < rule.limit) &
        stays_in_binade<Chain::kSigns>(rule, t, w, std::fabs(w))) {
      t += w;
    } else {
      t = chain.step(t, k);
      rule = rule_of(t, Chain::kProducts);
    }
  }
  chain.total = t;
  return end;
}

// Steps [first, first + count) of one running sum whose block broke the rule (gathering g): a
// young total, whose block would cross powers of two more than once, one by one; otherwise in
// two parts, where its totals would leave the binade as far as the block's average increment
// tells, or in halves.
template <typename Chain>
void split(Chain& chain, long first, long count, const Gathered& g) {
  assert(count >= 2);
  long part = count / 2;
  const Rule rule = rule_of(chain.total, Chain::kProducts);
  if (rule.usable && Chain::kSigns == Signs::non_negative && g.sum != 0 && std::isfinite(g.sum)) {
    const double room = rule.positive ? rule.high - chain.total : -chain.total - rule.low;
    if (std::fabs(g.sum) > 2 * room) {
      const long next = one_by_one(chain, first, first + count, std::fabs(g.sum) / count);
      if (next < first + count) take(chain, next, first + count - next);
      return;
    }
    part = std::clamp(static_cast<long>(count * (room / std::fabs(g.sum))), 1L, count - 1);
  }
  take(chain, first, part);
  take(chain, first + part, count - part);
}

// Steps [first, first + count) of one running sum, whose block under the rule came out as
// `outcome` (gathering g). A zero total has no binade: its first step is taken singly. A block
// that is unsure is taken again by the model's roundings (model_block), in pieces it can take;
// a piece that it cannot take, and a block that broke the rule, are split, down to single steps.
template <typename Chain>
void recover(Chain& chain, long first, long count, Outcome outcome, const Gathered& g) {
  if (outcome == Outcome::stood) return;
  if (count == 1 || chain.total == 0) {
    chain.total = chain.step(chain.total, first);
    if (count > 1) take(chain, first + 1, count - 1);
    return;
  }
  if (outcome == Outcome::broke) {
    split(chain, first, count, g);
    return;
  }
  if (count > kModelBlock) {
    // Only the pieces that are unsure themselves are taken by the model's roundings.
    for (long start = first; start < first + count; start += kModelBlock)
      take(chain, start, std::min(kModelBlock, first + count - start));
    return;
  }
  if (model_block(chain, first, count) != Outcome::stood) split(chain, first, count, g);
}

// Steps [first, first + count) of one running sum, by the rule where it holds.
template <typename Chain>
void take(Chain& chain, long first, long count) {
  Gathered g;
  const Outcome outcome = one_block(chain, first, count, g);
  recover(chain, first, count, outcome, g);
}

// Steps the running sum takes from `first` on while its total is zero and its increments are
// zero: alone, cheaply, since the rule has no binade for a zero total (lines that begin with
// zeros, the zeros of a file cut short). Gives the first step left.
template <typename Chain>
long pass_zeros(Chain& chain, long first, long end) {
  while (first < end && chain.total == 0 && chain.adds_zero(first)) {
    chain.total = chain.step(chain.total, first);
    first++;
  }
  return first;
}

// The running sums `chains` over steps [first, first + n), through one loop: each gathers its
// increments with its own rule, and the ones the block stands for move on; the others take the
// block again alone.
template <typename Tuple, size_t... I>
void block_together(Tuple& chains, long first, long n, std::index_sequence<I...>) {
  constexpr size_t kCount = sizeof...(I);
  static_assert(kCount <= 6, "up to six running sums share a loop");
  Rule rules[kCount] = {rule_of(std::get<I>(chains).total,
                                std::decay_t<std::tuple_element_t<I, Tuple>>::kProducts)...};
  // The accumulators of each sum, as named variables: the loop's reductions take variables.
  double s0 = 0, s1 = 0, s2 = 0, s3 = 0, s4 = 0, s5 = 0;
  double m0 = 0, m1 = 0, m2 = 0, m3 = 0, m4 = 0, m5 = 0;
  double w0 = 0, w1 = 0, w2 = 0, w3 = 0, w4 = 0, w5 = 0;
  // The sums' increment functions, copied: the loop then reads their pointers from registers,
  // and sees that nothing it writes can change them.
  const auto c =
      std::make_tuple(std::decay_t<std::tuple_element_t<I, Tuple>>(std::get<I>(chains))...);
#pragma omp simd reduction(+ : s0, s1, s2, s3, s4, s5, m0, m1, m2, m3, m4, m5) \
    reduction(max : w0, w1, w2, w3, w4, w5)
  for (long k = first; k < first + n; k++) {
    if constexpr (kCount > 0) gather(std::get<0>(c), k, rules[0], s0, m0, w0);
    if constexpr (kCount > 1) gather(std::get<1>(c), k, rules[1], s1, m1, w1);
    if constexpr (kCount > 2) gather(std::get<2>(c), k, rules[2], s2, m2, w2);
    if constexpr (kCount > 3) gather(std::get<3>(c), k, rules[3], s3, m3, w3);
    if constexpr (kCount > 4) gather(std::get<4>(c), k, rules[4], s4, m4, w4);
    if constexpr (kCount > 5) gather(std::get<5>(c), k, rules[5], s5, m5, w5);
  }
  const Gathered gathered[6] = {{s0, m0, w0}, {s1, m1, w1}, {s2, m2, w2},
                                {s3, m3, w3}, {s4, m4, w4}, {s5, m5, w5}};
  const auto settle = [&](auto& chain, size_t index) {
    if (chain.total == 0) {
      // A zero total has no binade: the sum passes its zero steps alone, then takes the rest.
      const long start = pass_zeros(chain, first, first + n);
      if (start < first + n) take(chain, start, first + n - start);
    } else {
      recover(chain, first, n, conclude(chain, rules[index], gathered[index]), gathered[index]);
    }
  };
  (settle(std::get<I>(chains), I), ...);
}

}  // namespace block_rule

// Advances the running sums `chains` (sum_chain, product_chain: up to six) over steps [0, n),
// each one's total going from its value to the model's after the n steps, in their order.
template <typename... Chains>
void advance_together(long n, Chains&... chains) {
  assert(n >= 0);
  auto all = std::tie(chains...);
  for (long first = 0; first < n;) {
    const long count = std::min(block_rule::kBlock, n - first);
    block_rule::block_together(all, first, count, std::index_sequence_for<Chains...>());
    first += count;
  }
}

// total, then rnd(xreal(total) + v_k) for k = 0 .. n - 1, in that order, v_k being sure(k);
// value(k) gives the same double, or NaN where it is unsure. With Signs::non_negative no
// increment may be below zero.
template <Signs kSigns, typename Value, typename Sure>
double sum_of(double total, long n, const Value& value, const Sure& sure) {
  auto chain = sum_chain<kSigns>(total, value, sure);
  advance_together(n, chain);
  return chain.total;
}

template <Signs kSigns, typename Value>
double sum_of(double total, long n, const Value& value) {
  return sum_of<kSigns>(total, n, value, value);
}

}  // namespace fast
SCABROSIMETER_COPY_END
}  // namespace scab
