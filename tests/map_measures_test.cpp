// What a map may hold: the measures' names, the windows the engine refuses, and the valid cells
// a window needs.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <climits>
#include <cstdlib>
#include <random>

#include "map/measures.h"
#include "map/roughness_map.h"

using namespace scab::map;

namespace {

MapRequest raster_of(int lines, int columns, std::vector<Layer> layers) {
  MapRequest request;
  request.lines = lines;
  request.columns = columns;
  request.layers = std::move(layers);
  return request;
}

// The least whole n with n >= fraction x cells, in MPFR, where the product is exact.
long least_cells(double fraction, long cells) {
  mpfr_t product;
  mpfr_init2(product, 200);
  mpfr_set_d(product, fraction, MPFR_RNDN);
  mpfr_mul_si(product, product, cells, MPFR_RNDN);
  const long least = mpfr_get_si(product, MPFR_RNDU);
  mpfr_clear(product);
  return least;
}

}  // namespace

TEST(MapMeasures, NamesAndDescriptions) {
  for (const Measure measure : all_measures())
    EXPECT_EQ(measure_from_name(measure_name(measure)), measure);
  EXPECT_EQ(measure_from_name("rms-error"), Measure::kRmsError);
  EXPECT_EQ(measure_from_name("RMS"), std::nullopt);
  EXPECT_EQ(measure_from_name("slope"), std::nullopt);
  EXPECT_EQ(layer_description({Measure::kRms, 9}), "rms w=9");
  EXPECT_EQ(layer_description({Measure::kHomogeneity, 27}), "homogeneity w=27");
}

TEST(MapMeasures, RefusesWindowsTheMeasuresCannotTake) {
  EXPECT_EQ(request_problem(raster_of(9, 9, {{Measure::kRms, 3}, {Measure::kR, 9}})), "");
  EXPECT_NE(request_problem(raster_of(9, 9, {{Measure::kRms, 4}})).find("window 4 is even"),
            std::string::npos);
  EXPECT_NE(request_problem(raster_of(9, 9, {{Measure::kRms, 1}})).find("too small"),
            std::string::npos);
  EXPECT_NE(request_problem(raster_of(9, 9, {{Measure::kRmsError, 3}})).find("rms-error needs"),
            std::string::npos);
  EXPECT_NE(request_problem(raster_of(9, 9, {{Measure::kR, 3}})).find("r needs windows of 5"),
            std::string::npos);
  EXPECT_EQ(request_problem(raster_of(9, 9, {{Measure::kRmsError, 5}})), "");
  EXPECT_NE(request_problem(raster_of(9, 20, {{Measure::kRms, 11}})).find("larger than the raster"),
            std::string::npos);
  EXPECT_NE(request_problem(raster_of(20, 9, {{Measure::kRms, 11}})).find("larger than the raster"),
            std::string::npos);
  EXPECT_NE(request_problem(raster_of(INT_MAX, INT_MAX, {{Measure::kRms, kLargestWindow + 2}}))
                .find("too large"),
            std::string::npos);
  EXPECT_EQ(request_problem(raster_of(INT_MAX, INT_MAX, {{Measure::kR, kLargestWindow}})), "");
  EXPECT_NE(request_problem(raster_of(9, 9, {})), "");
  MapRequest fraction = raster_of(9, 9, {{Measure::kRms, 3}});
  for (const double bad : {0.0, -0.5, 1.5, std::nan("")}) {
    fraction.min_valid = bad;
    EXPECT_NE(request_problem(fraction), "") << bad;
  }
  EXPECT_EQ(halo(raster_of(99, 99, {{Measure::kRms, 3}, {Measure::kR, 27}, {Measure::kRms, 9}})),
            13);
}

TEST(MapMeasures, ValidCellsNeededAreTheFractionRoundedUpExactly) {
  EXPECT_EQ(cells_needed(1.0, 9), 81);
  EXPECT_EQ(cells_needed(0.5, 3), 5);   // 4.5
  EXPECT_EQ(cells_needed(0.9, 9), 73);  // 72.9
  EXPECT_EQ(cells_needed(1e-300, 3), 1);
  // Fractions whose double is a hair above or below the decimal: n / w^2 as a double times
  // w^2 may be just above n (n + 1 needed) or just below (n suffices), as MPFR says.
  std::mt19937 random(4);
  for (int trial = 0; trial < 20000; ++trial) {
    const int window = 3 + 2 * static_cast<int>(random() % 200);
    const long cells = static_cast<long>(window) * window;
    const long n = 1 + static_cast<long>(random() % cells);
    for (const double fraction : {static_cast<double>(n) / cells, (n - 0.5) / cells}) {
      ASSERT_EQ(cells_needed(fraction, window), least_cells(fraction, cells))
          << fraction << " of " << window;
    }
  }
}

TEST(MapMeasures, ThreadsFromTheEnvironment) {
  ASSERT_EQ(setenv("SCABROSIMETER_THREADS", "3", 1), 0);
  EXPECT_EQ(thread_count(), 3);
  for (const char* bad : {"0", "-2", "two", "", "3x", "5000"}) {
    ASSERT_EQ(setenv("SCABROSIMETER_THREADS", bad, 1), 0);
    EXPECT_THROW(thread_count(), std::invalid_argument) << bad;
  }
  ASSERT_EQ(unsetenv("SCABROSIMETER_THREADS"), 0);
  EXPECT_GE(thread_count(), 1);
}
