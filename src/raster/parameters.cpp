// Value range of the loaded raster, height unit of a DEM, and the matrix of doubles that the
// analysis reads: heights in metres, or grey levels.
#include "arith/xreal.h"
#include "raster/raster.h"
#include "run/run.h"

namespace scab {
namespace {

// The factors are the doubles nearest 0.1, 0.01 and 0.001.
const double kFactor[4] = {1.0, 0.1, 0.01, 0.001};

}  // namespace

double metres_from_height(int height, int hypso_scale) {
  // The product is formed with a 64-bit significand and only then rounded, which is not the
  // same as a double product.
  if (hypso_scale == 0) return height;
  return rnd(xreal(height) * kFactor[hypso_scale]);
}

void parameters(Run& run) {
  FILE* out = run.con.out;
  const int Min = run.dtab->minimum(), Max = run.dtab->maximum();
  if (run.image_type == 0) {
    fputs("\n\n\tHypsometric scale of the input DEM :", out);
    fprintf(out, "\n\t\tMin = %d ", Min);
    fprintf(out, "\n\t\tMax = %d \n\n", Max);
    fputs("\n\tHypsometric scale of the DEM :", run.f2d);
    fprintf(run.f2d, "\n\t\tMin = %d\n\t\tMax = %d", Min, Max);
  } else {
    fputs("\n\n\tDynamic scale of the 8 bits image :", out);
    fprintf(out, "\n\t\tMin = %d ", Min);
    fprintf(out, "\n\t\tMax = %d \n\n", Max);
    fputs("\n\n\tDynamic scale of the 8 bits image :", run.f2d);
    fprintf(run.f2d, "\n\t\tMin = %d\n\t\tMax = %d", Min, Max);
  }

  // A DEM's heights become metres; an image's grey levels stay as they are.
  if (run.image_type == 0) {
    run.hypso_scale = ask_int(
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
    fputs(kUnitLine[run.hypso_scale], run.f2d);
    run.dtab->set_factor(kFactor[run.hypso_scale]);
  }

  run.treat_type = 0;
  fputs("\n\n\tTreatment RMS Roughness", run.f2d);
  run.scan_type = 3;
  fputs("\n\tLine, column and image Scanning", run.f2d);
}

}  // namespace scab
