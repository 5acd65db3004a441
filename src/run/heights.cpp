// The value range of the loaded raster, and the height unit of a DEM: what turns its samples
// into the heights that the passes read, in metres (an image's grey levels stay as they are).
#include "dataset/units.h"
#include "raster/raw_raster.h"
#include "report/report.h"
#include "run/run.h"

namespace scab {

void prepare_heights(Run& run) {
  FILE* out = run.console.out;
  fputs(console_range_text(report_facts(run)).c_str(), out);
  // A DEM's heights become metres; an image's grey levels stay as they are.
  if (!run.answers.image) {
    run.answers.unit = ask_int(
        run,
        [out] {
          fputs("\n\tIs the Hypsometric Scale\n\t\t0 ====> in meters\n\t\t1 ====> in decimeters",
                out);
          fputs("\n\t\t2 ====> in centimeters\n\t\t3 ====> or in millimeters\n\t\t", out);
        },
        [](int answer) { return is_unit(answer); });
    // The exact engine takes the unit as its heights' decimals when it certifies them.
    if (run.raster) run.raster->set_factor(metres_per_unit(run.answers.unit));
  }
}

}  // namespace scab
