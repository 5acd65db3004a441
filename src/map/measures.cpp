#include "map/measures.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace scab::map {

const std::vector<Measure>& all_measures() {
  static const std::vector<Measure> measures = {Measure::kRms,       Measure::kRmsLine,
                                                Measure::kRmsColumn, Measure::kHomogeneity,
                                                Measure::kRmsError,  Measure::kR};
  return measures;
}

const char* measure_name(Measure measure) {
  switch (measure) {
    case Measure::kRms:
      return "rms";
    case Measure::kRmsLine:
      return "rms-line";
    case Measure::kRmsColumn:
      return "rms-column";
    case Measure::kHomogeneity:
      return "homogeneity";
    case Measure::kRmsError:
      return "rms-error";
    case Measure::kR:
      break;
  }
  return "r";
}

std::optional<Measure> measure_from_name(const std::string& name) {
  for (const Measure measure : all_measures()) {
    if (name == measure_name(measure)) return measure;
  }
  return std::nullopt;
}

int smallest_window(Measure measure) {
  return measure == Measure::kRmsError || measure == Measure::kR ? 5 : 3;
}

std::string layer_description(const Layer& layer) {
  return std::string(measure_name(layer.measure)) + " w=" + std::to_string(layer.window);
}

std::string request_problem(const MapRequest& request) {
  if (request.layers.empty()) return "no measure to compute";
  if (!(request.min_valid > 0 && request.min_valid <= 1)) {
    return "the fraction of valid cells must be above 0 and at most 1";
  }
  if (request.decimal_places < 0 || request.decimal_places > 3)
    return "decimal places must be 0 to 3";
  if (request.sample_limit < 1 || request.sample_limit > (int64_t{1} << 31)) {
    return "samples are 32-bit integers";
  }
  for (const Layer& layer : request.layers) {
    const std::string window = "window " + std::to_string(layer.window);
    if (layer.window < 3) return window + " is too small: a window is 3 cells or more";
    if (layer.window % 2 == 0) return window + " is even: a window has a centre cell";
    if (layer.window > kLargestWindow) {
      return window + " is too large: windows go up to " + std::to_string(kLargestWindow);
    }
    if (layer.window < smallest_window(layer.measure)) {
      return std::string(measure_name(layer.measure)) + " needs windows of 5 or more: " + window +
             " has a single cell whose neighbours are all inside it";
    }
    if (layer.window > request.lines || layer.window > request.columns) {
      return window + " is larger than the raster (" + std::to_string(request.lines) + " lines x " +
             std::to_string(request.columns) + " columns)";
    }
  }
  return "";
}

int halo(const MapRequest& request) {
  int largest = 0;
  for (const Layer& layer : request.layers)
    largest = std::max(largest, (layer.window - 1) / 2);
  return largest;
}

int64_t cells_needed(double min_valid, int window) {
  assert(min_valid > 0 && min_valid <= 1 && window > 0 && window <= kLargestWindow);
  const double cells = static_cast<double>(window) * window;  // exact: below 2^28
  // The product is rounded: rounding is monotonic and whole numbers below 2^53 are doubles,
  // so its ceiling is never above the exact product's, but may be below it. fma gives the sign
  // of min_valid x cells - n exactly (a nonzero difference rounds to a nonzero of its sign).
  auto needed = static_cast<int64_t>(std::ceil(min_valid * cells));
  while (std::fma(min_valid, cells, -static_cast<double>(needed)) > 0)
    ++needed;
  return needed;
}

}  // namespace scab::map
