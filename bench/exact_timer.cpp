// Times the exact engine over a dataset file, the whole computation: the raster read once on
// SCABROSIMETER_THREADS threads (default: the machine's cores), then every figure and every
// row of the table certified.
//   exact_timer RAW LINES COLUMNS WIDTH DECIMALS [REPEAT] [--doubles] [--figures]
// WIDTH is the bytes per sample (1 image, 2 or 4 DEM), DECIMALS the unit (0 m, 1 dm, 2 cm,
// 3 mm). Prints the best of REPEAT (5) times in seconds with the scan's share, the sample
// range; --doubles also certifies each figure's nearest double (as the Python module needs);
// --figures prints every figure and then the table's rows.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "exact/driver.h"
#include "exact/figures.h"

namespace {

using namespace scab::exact;
using Clock = std::chrono::steady_clock;

void print(const ExactFigures& f) {
  const std::pair<const char*, const ExactFigure*> named[] = {
      {"RMS line", &f.rms_line},
      {"RMS column", &f.rms_column},
      {"RMS image", &f.rms_image},
      {"Standard deviation", &f.standard_deviation},
      {"RMS total", &f.rms_total},
      {"Average RMS", &f.average_rms},
      {"homogeneity coefficient", &f.homogeneity},
      {"Homogeneity Coeff.", &f.homogeneity_report},
      {"slope", &f.slope},
      {"r", &f.r},
      {"r(sqrt)", &f.r_abs},
      {"r2", &f.r2},
      {"RMS error", &f.rms_error},
      {"standard deviation", &f.rms_error_sd},
  };
  std::printf("Min %d Max %d interior cells %lld\n", f.minimum, f.maximum,
              static_cast<long long>(f.interior_cells));
  for (const auto& [name, figure] : named)
    std::printf("%s = %s (%.17g)\n", name, figure->text.c_str(), figure->value);
  for (size_t i = 0; i < f.line_rms.size(); i++)
    std::printf("%zu\t%s\n", i + 1, f.line_rms[i].text.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr,
                 "usage: exact_timer RAW LINES COLUMNS WIDTH DECIMALS [REPEAT] [--doubles] "
                 "[--figures]\n");
    return 2;
  }
  const Raster raster{std::atol(argv[2]), std::atol(argv[3]),
                      static_cast<SampleType>(std::atoi(argv[4])), std::atoi(argv[5])};
  int repeat = 5;
  bool with_doubles = false, show = false;
  for (int k = 6; k < argc; k++) {
    if (std::strcmp(argv[k], "--doubles") == 0) {
      with_doubles = true;
    } else if (std::strcmp(argv[k], "--figures") == 0) {
      show = true;
    } else {
      repeat = std::atoi(argv[k]);
    }
  }
  const std::string problem = check_raster(raster);
  if (!problem.empty() || repeat < 1) {
    std::fprintf(stderr, "exact_timer: %s\n", problem.empty() ? "REPEAT >= 1" : problem.c_str());
    return 2;
  }
  double best = 1e300, best_scan = 0;
  ExactFigures figures;
  for (int k = 0; k < repeat; k++) {
    const Clock::time_point start = Clock::now();
    RawFileSource source(argv[1], raster.columns * static_cast<int>(raster.type));
    Summary summary;
    std::string error;
    if (!summarise(source, raster, threads_from_environment(), summary, error)) {
      std::fprintf(stderr, "exact_timer: %s\n", error.c_str());
      return 1;
    }
    const Clock::time_point scanned = Clock::now();
    if (!exact_figures(summary, with_doubles, figures, error)) {
      std::fprintf(stderr, "exact_timer: %s\n", error.c_str());
      return 1;
    }
    const std::chrono::duration<double> took = Clock::now() - start, scan = scanned - start;
    if (took.count() < best) {
      best = took.count();
      best_scan = scan.count();
    }
  }
  std::printf("%.6f (scan %.6f) %d %d\n", best, best_scan, figures.minimum, figures.maximum);
  if (show) print(figures);
  return 0;
}
