#include "arith/rows.h"

#include <cstring>
#include <vector>

#include "arith/fast.h"

namespace scab::fast {
namespace {

// The candidates of one call and their doubt marks, reused by every call of a thread.
struct Scratch {
  std::vector<double> values;
  std::vector<unsigned char> doubtful;
};

thread_local Scratch scratch;

Scratch& scratch_for(long n) {
  if (static_cast<long>(scratch.values.size()) < n) {
    scratch.values.resize(static_cast<size_t>(n));
    scratch.doubtful.resize(static_cast<size_t>(n) + 8);
  }
  return scratch;
}

// Redoes the marked candidates with `slow(j)`, reading the marks eight at a time, then copies
// the values to out.
template <typename Slow>
void finish(Scratch& s, double* out, long n, unsigned any, Slow slow) {
  if (any) {
    unsigned char* marks = s.doubtful.data();
    std::memset(marks + n, 0, 8);
    for (long j = 0; j < n; j += 8) {
      uint64_t eight;
      std::memcpy(&eight, marks + j, sizeof eight);
      if (eight == 0) continue;
      for (long k = j; k < j + 8 && k < n; k++) {
        if (marks[k]) s.values[static_cast<size_t>(k)] = slow(k);
      }
    }
  }
  std::memcpy(out, s.values.data(), static_cast<size_t>(n) * sizeof(double));
}

}  // namespace

SCAB_VECTOR_CLONES void add_each(double* out, const double* a, const double* b, long n) {
  Scratch& s = scratch_for(n);
  double* values = s.values.data();
  unsigned char* marks = s.doubtful.data();
  unsigned any = 0;
  for (long j = 0; j < n; j++) {
    const double sum = a[j] + b[j];
    const bool doubtful = add_suspect(a[j], b[j], sum);
    values[j] = sum;
    marks[j] = doubtful;
    any |= doubtful;
  }
  finish(s, out, n, any, [=](long j) { return add_slow(a[j], b[j]); });
}

SCAB_VECTOR_CLONES void scale_each(double* out, const double* a, double factor, long n) {
  Scratch& s = scratch_for(n);
  double* values = s.values.data();
  unsigned char* marks = s.doubtful.data();
  unsigned any = 0;
  for (long j = 0; j < n; j++) {
    const double product = a[j] * factor;
    const bool doubtful = mul_suspect(a[j], factor, product);
    values[j] = product;
    marks[j] = doubtful;
    any |= doubtful;
  }
  finish(s, out, n, any, [=](long j) { return mul_slow(a[j], factor); });
}

SCAB_VECTOR_CLONES void deviation_squares(double* out, const double* z, double mean, long n) {
  Scratch& s = scratch_for(n);
  double* values = s.values.data();
  unsigned char* marks = s.doubtful.data();
  unsigned any = 0;
  for (long j = 0; j < n; j++) {
    const double dif = z[j] - mean;
    const double dif2 = dif * dif;
    const bool doubtful = add_suspect(z[j], -mean, dif) | mul_suspect(dif, dif, dif2);
    values[j] = dif2;
    marks[j] = doubtful;
    any |= doubtful;
  }
  finish(s, out, n, any, [=](long j) {
    const double dif = add_slow(z[j], -mean);
    return mul_slow(dif, dif);
  });
}

SCAB_VECTOR_CLONES void deviation_squares(double* out, const double* z, const double* mean,
                                          long n) {
  Scratch& s = scratch_for(n);
  double* values = s.values.data();
  unsigned char* marks = s.doubtful.data();
  unsigned any = 0;
  for (long j = 0; j < n; j++) {
    const double dif = z[j] - mean[j];
    const double dif2 = dif * dif;
    const bool doubtful = add_suspect(z[j], -mean[j], dif) | mul_suspect(dif, dif, dif2);
    values[j] = dif2;
    marks[j] = doubtful;
    any |= doubtful;
  }
  finish(s, out, n, any, [=](long j) {
    const double dif = add_slow(z[j], -mean[j]);
    return mul_slow(dif, dif);
  });
}

SCAB_VECTOR_CLONES void absolute_differences(double* out, const double* z, const double* y,
                                             long n) {
  Scratch& s = scratch_for(n);
  double* values = s.values.data();
  unsigned char* marks = s.doubtful.data();
  unsigned any = 0;
  for (long j = 0; j < n; j++) {
    const double dif = z[j] - y[j];
    const bool doubtful = add_suspect(z[j], -y[j], dif);
    values[j] = std::fabs(dif);
    marks[j] = doubtful;
    any |= doubtful;
  }
  finish(s, out, n, any, [=](long j) { return std::fabs(add_slow(z[j], -y[j])); });
}

SCAB_VECTOR_CLONES void squares_of_differences(double* out, const double* d, double mean, long n) {
  for (long j = 0; j < n; j++)
    out[j] = square_of_difference(d[j], mean);
}

}  // namespace scab::fast
