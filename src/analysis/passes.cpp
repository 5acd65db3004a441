// The passes' entry points: each runs the copy of the pass compiled for the instruction set in
// use (arith/isa.h); both side by side; and the end of the regression, once its sums are in.
#include "analysis/passes.h"

#include <chrono>
#include <future>
#include <system_error>

#include "arith/isa.h"
#include "arith/xreal.h"

namespace scab {

// The copies of the passes (profile.cpp, rms_error.cpp, compiled once for each instruction set).
namespace isa_base {
ProfileResult profile_pass(const LineSource& heights, HeightSums* interior, LinesRead* progress);
RmsErrorResult rms_error_pass(const LineSource& heights, bool height_sums, LinesRead* progress);
}  // namespace isa_base
namespace isa_avx2 {
ProfileResult profile_pass(const LineSource& heights, HeightSums* interior, LinesRead* progress);
RmsErrorResult rms_error_pass(const LineSource& heights, bool height_sums, LinesRead* progress);
}  // namespace isa_avx2

ProfileResult profile_pass(const LineSource& heights, HeightSums* interior, LinesRead* progress) {
#if defined(SCABROSIMETER_AVX2_KERNELS)
  if (isa::avx2_in_use()) return isa_avx2::profile_pass(heights, interior, progress);
#endif
  return isa_base::profile_pass(heights, interior, progress);
}

RmsErrorResult rms_error_pass(const LineSource& heights, bool height_sums, LinesRead* progress) {
#if defined(SCABROSIMETER_AVX2_KERNELS)
  if (isa::avx2_in_use()) return isa_avx2::rms_error_pass(heights, height_sums, progress);
#endif
  return isa_base::rms_error_pass(heights, height_sums, progress);
}

namespace {

// Runs `work` on a thread of its own where one can be had (its result then comes from the
// future), or leaves it to the caller: no second thread (a limit on threads or on address
// space) gives the same results in turn.
template <typename Work>
auto start(const Work& work) {
  std::future<decltype(work())> ahead;
#if SCABROSIMETER_THREADS
  try {
    ahead = std::async(std::launch::async, work);
  } catch (const std::system_error&) {
  }
#endif
  return ahead;
}

}  // namespace

Analysis run_passes(const LineSource& heights, LinesRead* lines_read,
                    const std::function<void()>& waiting) {
  HeightSums interior;
  // scab:: names the functions that choose the copy (the arith headers make isa_base's names
  // visible here too).
  const auto profile = [&] { return scab::profile_pass(heights, &interior, lines_read); };
  const auto rms_error = [&] { return scab::rms_error_pass(heights, false, lines_read); };
  auto profile_ahead = start(profile);
  auto rms_error_ahead = start(rms_error);
  const auto running = [](auto& ahead) {
    return ahead.valid() &&
           ahead.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready;
  };
  do {
    if (waiting) waiting();
  } while (running(profile_ahead) || running(rms_error_ahead));
  Analysis analysis{profile_ahead.valid() ? profile_ahead.get() : profile(),
                    rms_error_ahead.valid() ? rms_error_ahead.get() : rms_error()};
  analysis.rms_error.sum_x = interior.sum_x;
  analysis.rms_error.sum_x2 = interior.sum_x2;
  finish_regression(analysis.rms_error);
  return analysis;
}

void finish_regression(RmsErrorResult& result) {
  // With a single cell the sums describe one point: no slope and no correlation.
  if (result.interior_cells <= 1) return;
  const double n = static_cast<double>(result.interior_cells);
  const double x = result.sum_x, x2 = result.sum_x2, y = result.sum_y, xy = result.sum_xy,
               y2 = result.sum_y2;
  const xreal slope_denominator = xreal(n) * x2 - xreal(x) * x;
  if (!slope_denominator.is_zero()) {
    result.slope = rnd((xreal(n) * xy - xreal(x) * y) / slope_denominator);
  }
  // r = covariance / sqrt(variance of x times variance of y), each scaled by n^2.
  const double covariance = rnd(xreal(n) * xy - xreal(x) * y);
  const double variance_x = rnd(xreal(n) * x2 - xreal(x) * x);
  const double variance_y = rnd(xreal(n) * y2 - xreal(y) * y);
  const double under_root = rnd(xreal(variance_x) * variance_y);
  if (under_root > 0) {
    const double r = rnd(xreal(covariance) / sqrt_d(under_root));
    const double r_squared = rnd(xreal(r) * r);
    result.r = r;
    result.r_magnitude = sqrt_d(r_squared);
    result.r_squared = r_squared;
  }
}

}  // namespace scab
