// The analysis driver: the profile pass, then the RMS error pass, each written in its turn.
//
// The RMS error pass only reads the heights and does not depend on the profile pass, so where
// threads exist it is computed on a second thread while the profile pass runs; its results
// are written after the profile pass's.
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
  const LineSource& heights = *run.dtab;
  // The RMS error pass runs beside the profile pass, whose first sweep takes the RMS error
  // pass's sums of the heights alone (X, X2) from the lines it reads anyway: the two threads'
  // work comes out about even.
  const auto rms_error_sums = [&heights] { return rms_error_pass(heights, false); };
#if SCABROSIMETER_THREADS
  std::future<RmsErrorResult> ahead;
  try {
    ahead = std::async(std::launch::async, rms_error_sums);
  } catch (const std::system_error&) {
    // No second thread to be had (a limit on threads or on address space): the pass runs in
    // its turn on this one, with the same results.
  }
#endif
  HeightSums interior;
  write_profile(profile_pass(heights, &interior), run.con.out, run.f2d, run.f3d);
  run.treat_type = 2;
  run.scan_type = 2;
#if SCABROSIMETER_THREADS
  RmsErrorResult result = ahead.valid() ? ahead.get() : rms_error_sums();
#else
  RmsErrorResult result = rms_error_sums();
#endif
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
