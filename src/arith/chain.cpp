#include "arith/chain.h"

#include <algorithm>
#include <cmath>

namespace scab::fast {
namespace {

// How a running sum keeps the model's roundings at the cost of one plain addition a step.
//
// Let the total t lie in the binade [2^E, 2^(E+1)). As long as the exact t + v stays in that
// binade, the model's 64-bit value of t + v lies on the grid of spacing g = 2^(E-63), and since
// t is a multiple of 2^11 g, rounding t + v to that grid is rounding v alone to it (with ties
// to even, as t adds an even number of grid steps). So with v' = v rounded to the grid,
//
//     rnd(xreal(t) + v) = t + v'    (one double addition, rounded once),
//
// and the v' of many steps can be computed together, apart from the chain. A step whose total
// leaves the binade (or an increment that does not fit the trick) is found afterwards and
// redone with fast::add or fast::muladd; the chain goes on from there with a new grid.

// Steps taken at once: long enough for the increments and the check to vectorize, short enough
// that a window spoilt by a step out of the binade costs little. A chain that has just left its
// binade starts again with short windows, which grow while the binade holds.
constexpr long kWindow = 256;
constexpr long kFirstWindow = 16;

// The binade of the total, as the bounds of its magnitude; `usable` false where the trick is not
// made (zero, tiny totals whose grid would not be a normal double, infinities, NaN).
struct Binade {
  double low;        // 2^E
  double high;       // 2^(E+1)
  double unit;       // 2^(E-11) = 2^52 g: adding it rounds a smaller value to the grid
  double half_step;  // g / 2
  double sign;       // of the total: 1 or -1
  bool usable;
};

inline Binade binade_of(double t) {
  const uint64_t exponent = bits_of(t) & kExponentMask;
  const double low = from_bits(exponent);
  return {low,
          low * 2,
          low * 0x1p-11,
          low * 0x1p-64,
          std::copysign(1.0, t),
          exponent >= (128ull << 52) && exponent <= (1900ull << 52)};
}

// v rounded to the grid 2^52 g / 2^52 (ties to even); a value of magnitude unit or more is on
// the grid already.
inline double to_grid(double v, double unit) {
  const double c = from_bits(bits_of(unit) | (bits_of(v) & kSignMask));  // unit, signed as v
  const double rounded = (v + c) - c;
  const uint64_t small = 0 - static_cast<uint64_t>(std::fabs(v) < unit);  // all ones, or zero
  return from_bits((bits_of(rounded) & small) | (bits_of(v) & ~small));
}

// The model rounds x y to 64 bits before adding it. When |x y| < 2^52 g its double p has bits
// only far below the grid, and the rounding of the exact product to the grid is that of p,
// unless p lies exactly half way between two grid points (and the product may not be p: such
// steps are left to the slow way).
inline double product_to_grid(double x, double y, const Binade& b, bool& unusual) {
  const double p = x * y;
  const double c = from_bits(bits_of(b.unit) | (bits_of(p) & kSignMask));
  const double rounded = (p + c) - c;
  const double off = p - rounded;
  unusual = (!(std::fabs(p) < b.unit)) | (std::fabs(off) == b.half_step);
  return rounded;
}

struct Room {
  double totals[kWindow + 1];  // the total before the window, then after each step
  double steps[kWindow];       // the increments on the grid
  // Whether every increment has the sign of the total, or is zero: the total then only grows
  // in magnitude, and it stayed in its binade if its last value did.
  bool outward;
};

// The first of the n steps of a window whose total left the binade of the total before them,
// or n. A total on the lower bound itself stands unless its step went towards zero: then the
// exact sum may have been below the bound.
inline long first_out_of_binade(const Room& room, long n, const Binade& b) {
  const auto out = [&](long k) {
    const double a = std::fabs(room.totals[k + 1]);
    return !(a >= b.low) | !(a < b.high) | ((a == b.low) & (room.steps[k] * b.sign < 0));
  };
  uint64_t any = 0;
  for (long k = 0; k < n; k++)
    any |= out(k);
  if (!any) return n;
  long k = 0;
  while (!out(k))
    k++;
  return k;
}

// The increments of a window of one chain, into room.steps; the count of steps before the
// first that the grid cannot take.
inline long sum_steps(Room& room, const double* x, long n, const Binade& b) {
  uint64_t inward = 0;
  for (long k = 0; k < n; k++) {
    const double step = to_grid(x[k], b.unit);
    room.steps[k] = step;
    inward |= step * b.sign < 0;
  }
  room.outward = !inward;
  return n;
}

inline long product_steps(Room& room, const double* x, const double* y, long n, const Binade& b) {
  uint64_t any = 0, inward = 0;
  for (long k = 0; k < n; k++) {
    bool unusual;
    const double step = product_to_grid(x[k], y[k], b, unusual);
    room.steps[k] = step;
    any |= unusual;
    inward |= step * b.sign < 0;
  }
  room.outward = !inward;
  if (!any) return n;
  for (long k = 0; k < n; k++) {
    bool unusual;
    product_to_grid(x[k], y[k], b, unusual);
    if (unusual) return k;
  }
  return n;
}

// The number of steps of a window that stand, its plain totals being in room.totals.
inline long steps_that_stand(const Room& room, long n, long usable_steps, const Binade& b) {
  if (!b.usable) return 0;
  return first_out_of_binade(room, std::min(n, usable_steps), b);
}

// A chain taken on alone: every window's increments, its additions, its check; a step the grid
// cannot take is done by `one_step(k, total)`. A zero total has no binade: the steps that add
// zero to it are passed over (+0 plus either zero is +0). A total still small beside the values
// (a chain just started) crosses binades every few steps; `exact_run(room, start, n, total)`
// takes the steps it can from there without the grid, their totals into room.totals, and
// gives their count.
template <typename Steps, typename OneStep, typename AddsZero, typename ExactRun>
double run_alone(double total, long count, Steps steps, OneStep one_step, AddsZero adds_zero,
                 ExactRun exact_run) {
  thread_local Room room;
  long window = kFirstWindow;
  for (long start = 0; start < count;) {
    if (total == 0 && !std::signbit(total)) {
      while (start < count && adds_zero(start))
        start++;
      if (start == count) break;
    }
    const long n = std::min(window, count - start);
    const long exact = exact_run(room, start, n, total);
    if (exact > 0) {
      total = room.totals[exact];
      start += exact;
      window = exact == n ? std::min(window * 2, kWindow) : kFirstWindow;
      continue;
    }
    const Binade b = binade_of(total);
    const long usable = b.usable ? steps(room, start, n, b) : 0;
    room.totals[0] = total;
    double running = total;  // in a register: each step waits for nothing but the last
    for (long k = 0; k < usable; k++)
      room.totals[k + 1] = running = running + room.steps[k];
    const long good = steps_that_stand(room, n, usable, b);
    total = room.totals[good];
    start += good;
    if (good < n) {
      total = one_step(start, total);
      start += 1;
      window = kFirstWindow;
    } else {
      window = std::min(window * 2, kWindow);
    }
  }
  return total;
}

// The steps of a window from the first whose plain sums are exact with a 64-bit significand
// (the total and the value within a factor 2^10 of each other, or either zero), taken into
// room.totals; their count.
inline long exact_sums(Room& room, const double* x, long n, double total) {
  if (!(std::fabs(total) < std::fabs(x[0]) * 0x1p9)) return 0;  // the grid will do better
  room.totals[0] = total;
  double running = total;
  for (long k = 0; k < n; k++)
    room.totals[k + 1] = running = running + x[k];
  uint64_t any = 0;
  for (long k = 0; k < n; k++)
    any |= !difference_is_exact(room.totals[k], -x[k]);
  if (!any) return n;
  long k = 0;
  while (difference_is_exact(room.totals[k], -x[k]))
    k++;
  return k;
}

double sum_alone(double total, const double* x, long count) {
  return run_alone(
      total, count,
      [=](Room& room, long start, long n, const Binade& b) {
        return sum_steps(room, x + start, n, b);
      },
      [=](long k, double t) { return add(t, x[k]); }, [=](long k) { return x[k] == 0; },
      [=](Room& room, long start, long n, double t) { return exact_sums(room, x + start, n, t); });
}

double products_alone(double total, const double* x, const double* y, long count) {
  return run_alone(
      total, count,
      [=](Room& room, long start, long n, const Binade& b) {
        return product_steps(room, x + start, y + start, n, b);
      },
      [=](long k, double t) { return muladd(t, x[k], y[k]); },
      [=](long k) {
        return (x[k] == 0 && std::isfinite(y[k])) || (y[k] == 0 && std::isfinite(x[k]));
      },
      [=](Room& room, long start, long n, double t) {
        // Products not yet small beside the total (a chain just started) are taken one at a
        // time, without spending a window on them.
        long k = 0;
        room.totals[0] = t;
        while (k < n && !(std::fabs(x[start + k] * y[start + k]) < binade_of(t).unit)) {
          t = muladd(t, x[start + k], y[start + k]);
          room.totals[++k] = t;
        }
        return k;
      });
}

// Several chains a window at a time, their additions interleaved so that their latencies
// overlap. Where a chain's window only grows its total, the totals of the steps need not be
// kept: the last one shows whether they all stayed in the binade. A chain whose window does not
// stand so is done again alone.
template <int kSums, int kProducts>
void advance(Chain* sums, Chain* products, long count) {
  constexpr int kChains = kSums + kProducts;
  thread_local Room rooms[kChains];
  Chain* chains[kChains];
  for (int c = 0; c < kChains; c++)
    chains[c] = c < kSums ? &sums[c] : &products[c - kSums];
  for (long start = 0; start < count;) {
    const long n = std::min(kChains > 2 ? kWindow : kWindow / 4, count - start);
    double high[kChains];
    bool outward[kChains];
    for (int c = 0; c < kChains; c++) {
      const Chain& chain = *chains[c];
      const Binade b = binade_of(chain.total);
      high[c] = b.high;
      const long usable = !b.usable ? 0
                          : c < kSums
                              ? sum_steps(rooms[c], chain.x + start, n, b)
                              : product_steps(rooms[c], chain.x + start, chain.y + start, n, b);
      outward[c] = usable == n && rooms[c].outward;
    }
    double running[kChains];
    for (int c = 0; c < kChains; c++)
      running[c] = chains[c]->total;
    for (long k = 0; k < n; k++) {
      for (int c = 0; c < kChains; c++)
        running[c] += rooms[c].steps[k];
    }
    for (int c = 0; c < kChains; c++) {
      Chain& chain = *chains[c];
      if (outward[c] && std::fabs(running[c]) < high[c]) {
        chain.total = running[c];
      } else if (c < kSums) {
        chain.total = sum_alone(chain.total, chain.x + start, n);
      } else {
        chain.total = products_alone(chain.total, chain.x + start, chain.y + start, n);
      }
    }
    start += n;
  }
}

}  // namespace

double running_sum(double total, const double* values, long count) {
  Chain sums[1] = {{total, values, nullptr}};
  advance<1, 0>(sums, nullptr, count);
  return sums[0].total;
}

double running_sum_of_products(double total, const double* x, const double* y, long count) {
  Chain products[1] = {{total, x, y}};
  advance<0, 1>(nullptr, products, count);
  return products[0].total;
}

void running_sums(Chain (&sums)[2], long steps) {
  advance<2, 0>(sums, nullptr, steps);
}

void running_sums(Chain (&sums)[1], Chain (&products)[1], long steps) {
  advance<1, 1>(sums, products, steps);
}

void running_sums(Chain (&sums)[2], Chain (&products)[2], long steps) {
  advance<2, 2>(sums, products, steps);
}

void running_sums(Chain (&sums)[3], Chain (&products)[1], long steps) {
  advance<3, 1>(sums, products, steps);
}

}  // namespace scab::fast
