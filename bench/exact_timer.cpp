// Times the exact engine over a dataset file:
//   exact_timer RAW LINES COLUMNS WIDTH DECIMALS [REPEAT]
// prints the best of REPEAT (5) times in seconds and the image's sample range.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "exact/driver.h"

int main(int argc, char** argv) {
  using namespace scab::exact;
  if (argc < 6) {
    std::fprintf(stderr, "usage: exact_timer RAW LINES COLUMNS WIDTH DECIMALS [REPEAT]\n");
    return 2;
  }
  const Raster raster{std::atol(argv[2]), std::atol(argv[3]),
                      static_cast<SampleType>(std::atoi(argv[4])), std::atoi(argv[5])};
  const int repeat = argc > 6 ? std::atoi(argv[6]) : 5;
  const std::string problem = check_raster(raster);
  if (!problem.empty()) {
    std::fprintf(stderr, "exact_timer: %s\n", problem.c_str());
    return 2;
  }
  double best = 1e300;
  Summary summary;
  for (int k = 0; k < repeat; k++) {
    const auto start = std::chrono::steady_clock::now();
    RawFileSource source(argv[1], raster.columns * static_cast<int>(raster.type));
    std::string error;
    if (!summarise(source, raster, threads_from_environment(), summary, error)) {
      std::fprintf(stderr, "exact_timer: %s\n", error.c_str());
      return 1;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = took.count() < best ? took.count() : best;
  }
  std::printf("%.6f %d %d\n", best, summary.minimum, summary.maximum);
  return 0;
}
