// The analysis driver: a small state machine over (treat_type, scan_type) that runs the
// profile pass from (0, 3), moves to (2, 2) and runs the RMS error pass.
//
// The RMS error pass only reads the heights and does not depend on the profile pass, so where
// threads exist it is computed on a second thread while the profile pass runs; its results
// are written in their turn, after the profile pass's.
#include <new>
#include <string>

#include "analysis/passes.h"
#include "run/run.h"

#if SCABROSIMETER_THREADS
#include <future>
#endif

namespace scab {
namespace {

void drive(Run& run) {
  long long kco = 0;  // cell counter of the RMS error pass
  const auto rms_error = [&run, &kco] { return rms_error_pass(*run.dtab, kco); };
#if SCABROSIMETER_THREADS
  std::future<RmsErrorResult> ahead;
  if (run.treat_type == 0 && run.scan_type == 3) ahead = std::async(std::launch::async, rms_error);
#endif
  for (;;) {
    if (run.treat_type == 2 && run.scan_type == 2) {
#if SCABROSIMETER_THREADS
      write_rms_error(ahead.valid() ? ahead.get() : rms_error(), run.con.out, run.f2d);
#else
      write_rms_error(rms_error(), run.con.out, run.f2d);
#endif
    }
    if (run.treat_type != 0) return;
    if (run.scan_type == 3) {
      write_profile(profile_pass(*run.dtab), run.con.out, run.f2d, run.f3d);
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
  } catch (const std::bad_alloc&) {
    stop_run(run, 1,
             "\n\n\tNot enough memory for the analysis of " + std::to_string(run.nb_lig) +
                 " lines and " + std::to_string(run.nb_col) +
                 " columns.\n\tFree some memory, or cut the raster into smaller pieces, then run "
                 "the program again.\n");
  }
}

}  // namespace scab
