// The analysis: the profile pass and the RMS error pass over the heights, side by side on two
// threads where they can be had, then their results written in their order: the profile
// pass's, then the RMS error pass's.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>
#include <new>
#include <string>
#include <system_error>

#include "analysis/passes.h"
#include "run/run.h"

namespace scab {
namespace {

// The progress line of a long analysis on a terminal: "Analysing: NN %", shown once the
// passes have run for run.progress_after seconds and redrawn in place, then erased.
class ProgressLine {
 public:
  ProgressLine(const Run& run, long total_lines)
      : out_(run.console.out),
        shown_(run.console.terminal),
        after_(run.progress_after),
        total_(total_lines > 0 ? total_lines : 1),
        start_(std::chrono::steady_clock::now()) {}

  void update(long lines_read) {
    if (!shown_) return;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
    if (elapsed.count() < after_) return;
    const long percent = std::min(100L, lines_read * 100 / total_);
    fprintf(out_, "\r\tAnalysing: %3ld %%", percent);
    fflush(out_);
    drawn_ = true;
  }

  // Erases the line, if it was drawn, so that the results begin where it stood.
  void erase() {
    if (!drawn_) return;
    fputs("\r                              \r", out_);
    fflush(out_);
    drawn_ = false;
  }

 private:
  FILE* out_;
  bool shown_;
  double after_;
  long total_;
  std::chrono::steady_clock::time_point start_;
  bool drawn_ = false;
};

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

void drive(Run& run) {
  const LineSource& heights = *run.raster;
  LinesRead lines_read{0};
  ProgressLine progress(run, 2L * heights.lines() + 2L * std::max(heights.lines() - 2, 0));
  // The two passes run side by side, each on a thread of its own while this one keeps the
  // progress line. The profile pass's first sweep also takes the RMS error pass's sums of the
  // heights alone (X, X2) from the lines it reads anyway: the two threads' work comes out about
  // even.
  HeightSums interior;
  const auto profile = [&] { return profile_pass(heights, &interior, &lines_read); };
  const auto rms_error = [&] { return rms_error_pass(heights, false, &lines_read); };
  auto profile_ahead = start(profile);
  auto rms_error_ahead = start(rms_error);
  const auto running = [](auto& ahead) {
    return ahead.valid() &&
           ahead.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready;
  };
  do {
    progress.update(lines_read.load(std::memory_order_relaxed));
  } while (running(profile_ahead) || running(rms_error_ahead));
  const ProfileResult profile_result = profile_ahead.valid() ? profile_ahead.get() : profile();
  RmsErrorResult result = rms_error_ahead.valid() ? rms_error_ahead.get() : rms_error();
  progress.erase();

  FILE* report = run.results.report->stream();
  write_profile(profile_result, run.console.out, report, run.results.table->stream());
  result.sum_x = interior.sum_x;
  result.sum_x2 = interior.sum_x2;
  finish_regression(result);
  write_rms_error(result, run.console.out, report);
}

}  // namespace

void analyse(Run& run) {
  try {
    drive(run);
  } catch (const RasterChanged&) {
    stop_run(run, 1,
             "\n\n\tThe file " + run.dataset.raw_path +
                 " changed during the analysis: it no longer holds what it held when it was "
                 "first read.\n\tRun the program again once nothing else writes to it.\n");
  } catch (const RasterReadError& failure) {
    stop_for_read_error(run, failure.error);
  } catch (const std::bad_alloc&) {
    stop_run(run, 1,
             "\n\n\tNot enough memory for the analysis of " + std::to_string(run.dataset.lines) +
                 " lines and " + std::to_string(run.dataset.columns) +
                 " columns.\n\tFree some memory, or cut the raster into smaller pieces, then run "
                 "the program again.\n");
  }
}

}  // namespace scab
