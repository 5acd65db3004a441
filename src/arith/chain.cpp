#include "arith/chain.h"

#include <vector>

namespace scab::fast {
namespace {

// Steps taken ahead of their check at a time: long enough for the check to vectorize, short
// enough that a step redone the slow way costs little to take up again.
constexpr long kWindow = 128;

struct Ahead {
  std::vector<double> totals = std::vector<double>(kWindow + 1);
  std::vector<unsigned char> doubtful = std::vector<unsigned char>(kWindow);
};

thread_local Ahead ahead;

// The first marked step whose redone value differs from the one taken ahead (`right(k)` says
// whether step k was right), or n.
template <typename Right>
long first_wrong(const unsigned char* marks, long n, Right right) {
  for (long k = 0; k < n; k++) {
    if (marks[k] && !right(k)) return k;
  }
  return n;
}

}  // namespace

namespace {

// One running sum: `step(k, total)` is the plain double value of step k from total,
// `doubtful(k, before, after)` whether it may differ from the model's, `slow(k, before)` the
// model's own. The steps are taken a window ahead of their check.
template <typename Step, typename Doubtful, typename Slow>
double run_chain(double total, long count, Step step, Doubtful doubtful, Slow slow) {
  double* totals = ahead.totals.data();
  unsigned char* marks = ahead.doubtful.data();
  for (long start = 0; start < count;) {
    const long n = count - start < kWindow ? count - start : kWindow;
    totals[0] = total;
    double running = total;  // kept in a register: each step waits for nothing but the last
    for (long k = 0; k < n; k++)
      totals[k + 1] = running = step(start + k, running);
    unsigned any = 0;
    for (long k = 0; k < n; k++) {
      const bool d = doubtful(start + k, totals[k], totals[k + 1]);
      marks[k] = d;
      any |= d;
    }
    // Redo the doubtful steps; most give the same double. From the first that does not, the
    // steps after it are taken again.
    const long k =
        any ? first_wrong(marks, n,
                          [&](long j) { return slow(start + j, totals[j]) == totals[j + 1]; })
            : n;
    if (k == n) {
      total = totals[n];
      start += n;
    } else {
      total = slow(start + k, totals[k]);
      start += k + 1;
    }
  }
  return total;
}

}  // namespace

double running_sum(double total, const double* values, long count) {
  return run_chain(
      total, count, [=](long k, double t) { return t + values[k]; },
      [=](long k, double before, double after) { return add_suspect(before, values[k], after); },
      [=](long k, double before) { return add_slow(before, values[k]); });
}

double running_sum_of_products(double total, const double* x, const double* y, long count) {
  return run_chain(
      total, count, [=](long k, double t) { return std::fma(x[k], y[k], t); },
      [=](long k, double before, double after) {
        return muladd_suspect(before, x[k], y[k], after);
      },
      [=](long k, double before) { return muladd_slow(before, x[k], y[k]); });
}

namespace {

// The check of a window of one chain already advanced into t[0 .. n]: its total, or the total
// taken up again the slow way from the first doubtful step.
inline double checked_sum(const double* t, const double* x, long n, unsigned char* marks) {
  unsigned any = 0;
  for (long k = 0; k < n; k++) {
    const bool doubtful = add_suspect(t[k], x[k], t[k + 1]);
    marks[k] = doubtful;
    any |= doubtful;
  }
  if (!any) return t[n];
  const long k = first_wrong(marks, n, [&](long j) { return add_slow(t[j], x[j]) == t[j + 1]; });
  if (k == n) return t[n];
  return running_sum(add_slow(t[k], x[k]), x + k + 1, n - k - 1);
}

inline double checked_products(const double* t, const double* x, const double* y, long n,
                               unsigned char* marks) {
  unsigned any = 0;
  for (long k = 0; k < n; k++) {
    const bool doubtful = muladd_suspect(t[k], x[k], y[k], t[k + 1]);
    marks[k] = doubtful;
    any |= doubtful;
  }
  if (!any) return t[n];
  const long k =
      first_wrong(marks, n, [&](long j) { return muladd_slow(t[j], x[j], y[j]) == t[j + 1]; });
  if (k == n) return t[n];
  return running_sum_of_products(muladd_slow(t[k], x[k], y[k]), x + k + 1, y + k + 1, n - k - 1);
}

template <int kSums, int kProducts>
[[gnu::always_inline]] inline void advance(Chain* sums, Chain* products, long steps) {
  thread_local std::vector<double> room((kWindow + 1) * (kSums + kProducts));
  unsigned char* marks = ahead.doubtful.data();
  for (long start = 0; start < steps;) {
    const long n = steps - start < kWindow ? steps - start : kWindow;
    double* ts[kSums + 1];
    double* tp[kProducts + 1];
    const double* sx[kSums + 1];
    const double* px[kProducts + 1];
    const double* py[kProducts + 1];
    for (int c = 0; c < kSums; c++) {
      ts[c] = room.data() + c * (kWindow + 1);
      ts[c][0] = sums[c].total;
      sx[c] = sums[c].x + start;
    }
    for (int c = 0; c < kProducts; c++) {
      tp[c] = room.data() + (kSums + c) * (kWindow + 1);
      tp[c][0] = products[c].total;
      px[c] = products[c].x + start;
      py[c] = products[c].y + start;
    }
    // Every chain a step at a time on the plain double results, then every chain's check.
    double sum[kSums + 1], product[kProducts + 1];  // the running totals, in registers
    for (int c = 0; c < kSums; c++)
      sum[c] = ts[c][0];
    for (int c = 0; c < kProducts; c++)
      product[c] = tp[c][0];
    for (long k = 0; k < n; k++) {
      for (int c = 0; c < kSums; c++)
        ts[c][k + 1] = sum[c] = sum[c] + sx[c][k];
      for (int c = 0; c < kProducts; c++)
        tp[c][k + 1] = product[c] = std::fma(px[c][k], py[c][k], product[c]);
    }
    for (int c = 0; c < kSums; c++)
      sums[c].total = checked_sum(ts[c], sx[c], n, marks);
    for (int c = 0; c < kProducts; c++) {
      products[c].total = checked_products(tp[c], px[c], py[c], n, marks);
    }
    start += n;
  }
}

}  // namespace

void running_sums(Chain (&sums)[2], long steps) {
  advance<2, 0>(sums, nullptr, steps);
}

void running_sums(Chain (&sums)[3], Chain (&products)[3], long steps) {
  advance<3, 3>(sums, products, steps);
}

}  // namespace scab::fast
