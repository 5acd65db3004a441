// The analysis driver: a small state machine over (treat_type, scan_type) that runs the
// profile pass from (0, 3), moves to (2, 2) and runs the RMS error pass.
#include <string>

#include "analysis/passes.h"
#include "run/run.h"

namespace scab {

void treatment(Run& run) {
  int kco = 0;  // cell counter of the RMS error pass
  for (;;) {
    if (run.treat_type == 2 && run.scan_type == 2) {
      RmsErrorResult result;
      if (!rms_error_pass(run.dtab, run.nb_lig, run.nb_col, kco, result)) {
        stop_run(run, 1,
                 "\n\n\tNot enough memory for the neighbourhood pass over " +
                     std::to_string(run.nb_lig) + " lines and " + std::to_string(run.nb_col) +
                     " columns.\n\tFree some memory, or cut the raster into smaller pieces, then "
                     "run the program again.\n");
      }
      write_rms_error(result, run.con.out, run.f2d);
    }
    if (run.treat_type != 0)
      return;
    if (run.scan_type == 3) {
      write_profile(profile_pass(run.dtab, run.nb_lig, run.nb_col), run.con.out, run.f2d, run.f3d);
      run.treat_type = 2;
      run.scan_type = 2;
    } else {
      return;  // no pass starts from any other state
    }
  }
}

}  // namespace scab
