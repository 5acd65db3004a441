// The analysis driver: the profile pass, then the RMS error pass, each written in its turn.
//
// The RMS error pass only reads the heights and does not depend on the profile pass, so where
// threads exist it is computed on a second thread while the profile pass runs; its results
// are written after the profile pass's.
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
      : out_(run.con.out),
        shown_(run.con.terminal),
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
  const LineSource& heights = *run.dtab;
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

  write_profile(profile_result, run.con.out, run.f2d, run.f3d);
  run.treat_type = 2;
  run.scan_type = 2;
  result.X = interior.X;
  result.X2 = interior.X2;
  finish_regression(result);
  write_rms_error(result, run.con.out, run.f2d);
}

}  // namespace

void treatment(Run& run) {
  // The driver is only ever entered from (0, 3): the profile pass, then the RMS error pass.
  if (run.treat_type != 0 || run.scan_type != 3) return;
  try {
    drive(run);
  } catch (const RasterChanged&) {
    stop_run(run, 1,
             "\n\n\tThe file " + run.raw_path +
                 " changed during the analysis: it no longer holds what it held when it was "
                 "first read.\n\tRun the program again once nothing else writes to it.\n");
  } catch (const RasterReadError& failure) {
    stop_run(run, 1,
             "\n\n\tThe file " + run.raw_path +
                 " could not be read: " + std::strerror(failure.error) +
                 ".\n\tCheck the file and the device it is on, then run the program again.\n");
  } catch (const std::bad_alloc&) {
    stop_run(run, 1,
             "\n\n\tNot enough memory for the analysis of " + std::to_string(run.nb_lig) +
                 " lines and " + std::to_string(run.nb_col) +
                 " columns.\n\tFree some memory, or cut the raster into smaller pieces, then run "
                 "the program again.\n");
  }
}

}  // namespace scab
