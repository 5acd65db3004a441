// The value range of the loaded raster, and the height unit of a DEM: what turns its samples
// into the heights that the passes read, in metres (an image's grey levels stay as they are).
#include "raster/raw_raster.h"
#include "run/run.h"

namespace scab {

void prepare_heights(Run& run) {
  FILE* out = run.console.out;
  FILE* report = run.results.report->stream();
  const int minimum = run.raster->minimum(), maximum = run.raster->maximum();
  if (!run.answers.image) {
    fputs("\n\n\tHypsometric scale of the input DEM :", out);
    fprintf(out, "\n\t\tMin = %d ", minimum);
    fprintf(out, "\n\t\tMax = %d \n\n", maximum);
    fputs("\n\tHypsometric scale of the DEM :", report);
    fprintf(report, "\n\t\tMin = %d\n\t\tMax = %d", minimum, maximum);
  } else {
    fputs("\n\n\tDynamic scale of the 8 bits image :", out);
    fprintf(out, "\n\t\tMin = %d ", minimum);
    fprintf(out, "\n\t\tMax = %d \n\n", maximum);
    fputs("\n\n\tDynamic scale of the 8 bits image :", report);
    fprintf(report, "\n\t\tMin = %d\n\t\tMax = %d", minimum, maximum);
  }

  // A DEM's heights become metres; an image's grey levels stay as they are.
  if (!run.answers.image) {
    run.answers.unit = ask_int(
        run,
        [out] {
          fputs("\n\tIs the Hypsometric Scale\n\t\t0 ====> in meters\n\t\t1 ====> in decimeters",
                out);
          fputs("\n\t\t2 ====> in centimeters\n\t\t3 ====> or in millimeters\n\t\t", out);
        },
        [](int answer) { return answer >= 0 && answer <= 3; });
    static const char* const kUnitLine[4] = {
        "\n\n\tHypsometric scale in meters", "\n\n\tHypsometric scale in decimeters",
        "\n\n\tHypsometric scale in centimeters", "\n\n\tHypsometric scale in millimeters"};
    fputs(kUnitLine[run.answers.unit], report);
    run.raster->set_factor(metres_per_unit(run.answers.unit));
  }

  fputs("\n\n\tTreatment RMS Roughness", report);
  fputs("\n\tLine, column and image Scanning", report);
}

}  // namespace scab
