// The analysis driver: a small state machine over (treat_type, scan_type) that runs the
// profile pass from (0, 3), moves to (2, 2) and runs the RMS error pass.
//
// The RMS error pass only reads the heights and does not depend on the profile pass, so where
// threads exist it is computed on a second thread while the profile pass runs; its results
// are written in their turn, after the profile pass's. Its sums of the heights alone (X and
// X2) are taken by the profile pass's first sweep, which reads the same lines anyway: that
// evens out the work of the two threads.
#include <cstring>
#include <new>
#include <string>
#include <system_error>

#include "analysis/passes.h"
#include "run/run.h"

#if SCABROSIMETER_THREADS
#include <future>
#endif

namespace scab {
namespace {

void drive(Run& run) {
  long long kco = 0;  // cell counter of the RMS error pass
  const auto sums = [&run, &kco] { return rms_error_sums(*run.dtab, kco); };
#if SCABROSIMETER_THREADS
  std::future<RmsErrorResult> ahead;
  try {
    if (run.treat_type == 0 && run.scan_type == 3) ahead = std::async(std::launch::async, sums);
  } catch (const std::system_error&) {
    // No second thread to be had (a limit on threads or on address space): the pass runs in
    // its turn on this one, with the same results.
  }
#endif
  // The RMS error pass's sums of the heights alone come from the profile pass's first sweep.
  HeightSums heights;
  for (;;) {
    if (run.treat_type == 2 && run.scan_type == 2) {
#if SCABROSIMETER_THREADS
      RmsErrorResult result = ahead.valid() ? ahead.get() : sums();
#else
      RmsErrorResult result = sums();
#endif
      finish_regression(result, heights);
      write_rms_error(result, run.con.out, run.f2d);
    }
    if (run.treat_type != 0) return;
    if (run.scan_type == 3) {
      write_profile(profile_pass(*run.dtab, &heights), run.con.out, run.f2d, run.f3d);
      run.treat_type = 2;
      run.scan_type = 2;
    } else {
      return;  // no pass starts from any other state
    }
  }
}

}  // namespace

void treatment(Run& run) {
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
