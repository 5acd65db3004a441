// What a roughness map holds: the measures taken over each window of w x w cells, and the
// description of a map to compute. src/map/README.md defines every measure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace scab::map {

enum class Measure { kRms, kRmsLine, kRmsColumn, kHomogeneity, kRmsError, kR };

// Every measure, in the order the usage lists them.
const std::vector<Measure>& all_measures();

// "rms", "rms-line", "rms-column", "homogeneity", "rms-error", "r".
const char* measure_name(Measure measure);
std::optional<Measure> measure_from_name(const std::string& name);

// The smallest window a measure has a value for: 5 for the two that take their cells'
// neighbours inside the window (a 3 x 3 window has one such cell), 3 for the others.
int smallest_window(Measure measure);

// The largest window: every exact sum of a window then fits 128 bits (README.md, "Exact sums").
constexpr int kLargestWindow = 16383;

// One band of the map: a measure over windows of `window` x `window` cells.
struct Layer {
  Measure measure = Measure::kRms;
  int window = 3;
};

// "rms w=9": the band's description.
std::string layer_description(const Layer& layer);

// A map to compute. A sample s stands for the height s x 10^-decimal_places: the map's values are
// in the unit of the heights, whatever `decimal_places` is (0 for an 8-bit image's grey levels).
struct MapRequest {
  int lines = 0;
  int columns = 0;
  std::vector<Layer> layers;  // the map's bands, in this order
  // A window with fewer valid cells than this fraction of its w x w cells has no value.
  double min_valid = 1.0;
  int decimal_places = 0;  // 0 to 3
  // No valid sample is further from 0 than this: 65536 or less lets the sums take 64 bits.
  int64_t sample_limit = int64_t{1} << 31;
  // Decide every nearest float with integers, as the rare values too close to a rounding
  // boundary are decided: far slower, the same values; for checking that claim.
  bool round_every_value_exactly = false;
};

// Why `request` cannot be computed (an even window, one below 3 or beyond the raster, ...), or an
// empty string when it can.
std::string request_problem(const MapRequest& request);

// The largest (w - 1) / 2 of the request's windows: how many lines a window reaches above and
// below its centre.
int halo(const MapRequest& request);

// The number of valid cells a window of w x w cells needs: the least whole number not below
// min_valid x w x w, computed exactly.
int64_t cells_needed(double min_valid, int window);

}  // namespace scab::map
