#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dataset/units.h"
#include "map/map_tool.h"

namespace scab::map_tool {

namespace {

int parse_whole(const std::string& option, const std::string& text, int lowest, int highest) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < lowest || value > highest) {
    throw UsageError(option + " needs a whole number from " + std::to_string(lowest) + ", not '" +
                     text + "'");
  }
  return static_cast<int>(value);
}

std::vector<std::string> split_list(const std::string& option, const std::string& text) {
  std::vector<std::string> items;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    items.push_back(text.substr(start, comma - start));
    if (items.back().empty()) throw UsageError(option + " has an empty item in '" + text + "'");
    if (comma == std::string::npos) return items;
    start = comma + 1;
  }
}

std::vector<int> parse_windows(const std::string& text) {
  std::vector<int> windows;
  for (const std::string& item : split_list("--window", text)) {
    const int window = parse_whole("--window", item, 1, INT_MAX);
    if (std::count(windows.begin(), windows.end(), window)) {
      throw UsageError("--window gives " + item + " twice");
    }
    windows.push_back(window);
  }
  return windows;
}

std::vector<map::Measure> parse_measures(const std::string& text) {
  std::vector<map::Measure> measures;
  for (const std::string& item : split_list("--measure", text)) {
    const std::optional<map::Measure> measure = map::measure_from_name(item);
    if (!measure) {
      throw UsageError("unknown measure '" + item +
                       "': the measures are rms, rms-line, rms-column, homogeneity, rms-error, r");
    }
    if (std::count(measures.begin(), measures.end(), *measure)) {
      throw UsageError("--measure gives " + item + " twice");
    }
    measures.push_back(*measure);
  }
  return measures;
}

int parse_unit(const std::string& text) {
  const int unit = unit_of_symbol(text);
  if (unit < 0) throw UsageError("--unit needs m, dm, cm or mm, not '" + text + "'");
  return unit;
}

double parse_fraction(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(value > 0 && value <= 1)) {
    throw UsageError("--min-valid needs a fraction above 0 and at most 1, not '" + text + "'");
  }
  return value;
}

std::string parse_creation_option(const std::string& text) {
  const size_t equals = text.find('=');
  if (equals == 0 || equals == std::string::npos) {
    throw UsageError("--co needs KEY=VALUE, not '" + text + "'");
  }
  return text;
}

// Whether `name` is an option with a value, which `value()` then gives; sets it in `options`.
bool take_option(Options& options, const std::string& name,
                 const std::function<std::string()>& value) {
  if (name == "--window") {
    options.windows = parse_windows(value());
  } else if (name == "--measure") {
    options.measures = parse_measures(value());
  } else if (name == "--min-valid") {
    options.min_valid = parse_fraction(value());
  } else if (name == "--band") {
    options.band = parse_whole("--band", value(), 1, 1000000);
  } else if (name == "--unit") {
    options.unit = parse_unit(value());
  } else if (name == "--co") {
    options.creation_options.push_back(parse_creation_option(value()));
  } else {
    return false;
  }
  return true;
}

// The windows and measures as the engine would take them, on a raster large enough for all.
void check_layers(const Options& options) {
  map::MapRequest request;
  request.lines = request.columns = INT_MAX;
  request.layers = layers_of(options);
  const std::string problem = map::request_problem(request);
  if (!problem.empty()) throw UsageError(problem);
}

}  // namespace

std::string usage_text() {
  return "Usage: scabrosimeter-map [options] INPUT OUTPUT\n"
         "\n"
         "Maps the roughness of one band of the raster INPUT (any format GDAL reads) over\n"
         "moving windows of w x w cells, and writes OUTPUT, a Float32 GeoTIFF with one band\n"
         "per measure and window (described as \"rms w=9\"), INPUT's georeferencing, and NaN\n"
         "where a window has no value. OUTPUT is replaced only once it is complete.\n"
         "\n"
         "Options:\n"
         "  --window LIST      odd window sizes from 3, comma-separated (default 3)\n"
         "  --measure LIST     comma-separated, any of (default rms):\n"
         "                       rms          RMS of the window's heights about their mean\n"
         "                       rms-line     mean RMS of the window's line segments\n"
         "                       rms-column   mean RMS of the window's column segments\n"
         "                       homogeneity  spread of those three RMS, in % of their mean\n"
         "                       rms-error    RMS error against the 4-neighbour mean (w >= 5)\n"
         "                       r            correlation with the 8-neighbour mean (w >= 5)\n"
         "  --min-valid F      the fraction of a window's cells that must be valid (default 1)\n"
         "  --band N           read band N (default 1)\n"
         "  --unit m|dm|cm|mm  take the heights as metres, rounded to this unit (needed for\n"
         "                     heights with fractions); the map stays in the heights' unit\n"
         "  --image            an 8-bit image: every value a whole number 0 to 255\n"
         "  --co KEY=VALUE     a GeoTIFF creation option (default TILED=YES COMPRESS=DEFLATE\n"
         "                     PREDICTOR=3 ZLEVEL=1 BIGTIFF=IF_SAFER), e.g. --co COMPRESS=NONE\n"
         "  --help             show this text\n"
         "\n"
         "Missing cells are the band's NoData value and NaN. The lines are shared among\n"
         "SCABROSIMETER_THREADS threads (default: one per processor).\n";
}

Options parse_arguments(const std::vector<std::string>& args) {
  Options options;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    std::optional<std::string> inline_value;  // from --option=value
    const size_t equals = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      inline_value = arg.substr(equals + 1);
      arg.resize(equals);
    }
    const auto value = [&]() -> std::string {
      if (inline_value) return *inline_value;
      if (i + 1 >= args.size()) throw UsageError(arg + " needs a value");
      return args[++i];
    };
    if (take_option(options, arg, value)) continue;
    if (arg != "--help" && arg != "-h" && arg != "--image")
      throw UsageError("unknown option " + arg);
    if (inline_value) throw UsageError(arg + " takes no value");
    (arg == "--image" ? options.image : options.help) = true;
  }
  if (options.help) return options;
  if (positional.size() != 2) {
    throw UsageError(positional.size() < 2 ? "missing argument: INPUT OUTPUT are needed"
                                           : "too many arguments: only INPUT OUTPUT");
  }
  options.input = positional[0];
  options.output = positional[1];
  if (options.image && options.unit >= 0) {
    throw UsageError("--unit is for heights; an 8-bit image has no unit");
  }
  check_layers(options);
  return options;
}

std::vector<map::Layer> layers_of(const Options& options) {
  std::vector<map::Layer> layers;
  for (const map::Measure measure : options.measures) {
    for (const int window : options.windows)
      layers.push_back({measure, window});
  }
  return layers;
}

std::vector<std::string> creation_options(const std::vector<std::string>& user, int threads) {
  const auto key_of = [](const std::string& option) {
    std::string key = option.substr(0, option.find('='));
    for (char& c : key)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return key;
  };
  const auto user_sets = [&](const std::string& key) {
    return std::any_of(user.begin(), user.end(),
                       [&](const std::string& option) { return key_of(option) == key; });
  };
  std::vector<std::string> options;
  if (!user_sets("TILED")) options.push_back("TILED=YES");
  if (!user_sets("BIGTIFF")) options.push_back("BIGTIFF=IF_SAFER");
  if (!user_sets("COMPRESS")) {
    options.push_back("COMPRESS=DEFLATE");
    // The floating-point predictor makes neighbouring values alike, and compression better.
    if (!user_sets("PREDICTOR")) options.push_back("PREDICTOR=3");
    // Float values keep little redundancy: harder compression costs far more time than it saves.
    if (!user_sets("ZLEVEL")) options.push_back("ZLEVEL=1");
    if (!user_sets("NUM_THREADS")) options.push_back("NUM_THREADS=" + std::to_string(threads));
  }
  options.insert(options.end(), user.begin(), user.end());
  return options;
}

}  // namespace scab::map_tool
