// Times the console program's own passes over a dataset file, as the program runs them after
// loading it (the raster streamed from the file, both passes side by side):
//   passes_timer RAW LINES COLUMNS WIDTH FACTOR [REPEAT]
// prints the best of REPEAT (5) times in seconds. bench/module_bench.py sets it beside the
// Python module's analyse() on the same samples.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "analysis/passes.h"
#include "raster/raw_raster.h"

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: passes_timer RAW LINES COLUMNS WIDTH FACTOR [REPEAT]\n");
    return 2;
  }
  const int lines = std::atoi(argv[2]), columns = std::atoi(argv[3]), width = std::atoi(argv[4]);
  const double factor = std::atof(argv[5]);
  const int repeat = argc > 6 ? std::atoi(argv[6]) : 5;
  scab::InputFile file(argv[1]);
  if (!file.is_open()) {
    std::fprintf(stderr, "passes_timer: cannot open %s\n", argv[1]);
    return 1;
  }
  scab::RawRaster raster(std::move(file), lines, columns, width);
  raster.set_factor(factor);
  double best = 1e300, rms_image = 0;
  for (int k = 0; k < repeat; k++) {
    const auto start = std::chrono::steady_clock::now();
    const scab::Analysis analysis = scab::run_passes(raster);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = took.count() < best ? took.count() : best;
    rms_image = analysis.profile.rms_image;
  }
  std::printf("%.6f %.17g\n", best, rms_image);  // the time, and a figure to check
  return 0;
}
