#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "dataset/paths.h"
#include "dataset/units.h"
#include "import/importer.h"

namespace scab::import {

namespace {

// The name as it can be shown in a message: control characters as \xNN.
std::string shown(const std::string& name) {
  std::string text;
  for (const char c : name) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(byte));
      text += escape;
    } else {
      text += c;
    }
  }
  return text;
}

int parse_band(const std::string& text) {
  char* end = nullptr;
  const long band = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || band < 1 || band > 1000000) {
    throw UsageError("--band needs a band number from 1, not '" + text + "'");
  }
  return static_cast<int>(band);
}

int parse_unit(const std::string& text) {
  const int unit = unit_of_symbol(text);
  if (unit < 0) throw UsageError("--unit needs m, dm, cm or mm, not '" + text + "'");
  return unit;
}

double parse_fill(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0') {
    throw UsageError("--fill needs a number, not '" + shown(text) + "'");
  }
  if (!std::isfinite(value)) {
    throw UsageError("--fill needs a finite number, not '" + shown(text) + "'");
  }
  return value;
}

// The fill value is written as any other cell is (to_samples), so it is refused here when
// to_samples would refuse it: before the raster is read, whether or not cells are missing.
// Within the 32-bit range it takes part, like every cell written, in the choice of a 16-bit
// or a 32-bit DEM, so no narrower range can be asked of it. `given` is the value as given.
void check_fill(const std::string& given, double fill, bool image, int unit) {
  assert(std::isfinite(fill) && !(image && unit >= 0));
  const std::string text = shown(given);
  const double whole = scaled_height(fill, unit);
  const bool is_whole = whole == std::floor(whole);
  if (image && !(is_whole && whole >= 0 && whole <= 255)) {
    throw UsageError("--fill " + text + " cannot be written in an 8-bit image: its values are " +
                     "whole numbers from 0 to 255");
  }
  if (!is_whole) {
    throw UsageError("--fill " + text + " has a fraction and heights are written whole: give " +
                     "a whole VALUE, or --unit dm, cm or mm to write it rounded");
  }
  if (!(whole >= std::numeric_limits<int32_t>::min() &&
        whole <= std::numeric_limits<int32_t>::max())) {
    const std::string scaled = whole != fill ? " (" + number_text(whole) + " after --unit)" : "";
    throw UsageError("--fill " + text + scaled +
                     " does not fit a 32-bit sample (-2147483648 to 2147483647)");
  }
}

// The same rule as scabrosimeter's dialog, so that the files stay in their folder under
// c:\images\ and the dialog can be given the names: it reads each answer as one word, so a
// name with a blank could not be typed into it.
void check_name(const std::string& what, const std::string& name) {
  if (!is_plain_name(name) || name.find(' ') != std::string::npos) {
    throw UsageError(what + " '" + shown(name) +
                     "' cannot be used: a folder or file name must be one word, not . or .. "
                     "alone, without \\, / or : and without control characters");
  }
}

}  // namespace

std::string usage_text() {
  return "Usage: scabrosimeter-import [options] INPUT FOLDER NAME\n"
         "\n"
         "Writes one band of the raster INPUT (any format GDAL reads) as the scabrosimeter\n"
         "dataset NAME in the folder c:\\images\\FOLDER\\, then prints the dialog's answers.\n"
         "Integer heights within 0..65535 become a 16-bit DEM (NAME_m2.raw, NAME_m2.txt),\n"
         "other heights a 32-bit DEM (NAME_m4.raw, NAME_m4.txt).\n"
         "FOLDER and NAME are one word each, as the dialog reads them: not . or .. alone,\n"
         "without \\, / or : and without control characters. The dataset's files are\n"
         "replaced only once both new ones are complete.\n"
         "\n"
         "Options:\n"
         "  --band N           read band N (default 1)\n"
         "  --image            write an 8-bit image (NAME.raw, NAME.txt); values must be 0..255\n"
         "  --unit m|dm|cm|mm  take the heights as metres and write them in this unit,\n"
         "                     rounded to nearest (needed for heights with fractions)\n"
         "  --crop-valid       keep the largest rectangle without missing cells\n"
         "  --fill VALUE       write VALUE (in the raster's units) in place of missing cells\n"
         "  --images-root DIR  the folder that stands for c:\\images\\ (default: the build's)\n"
         "  --help             show this text\n"
         "  --                 end of the options: the arguments after it are INPUT FOLDER NAME,\n"
         "                     even when they begin with -\n"
         "\n"
         "Missing cells are the band's NoData value and NaN; without --crop-valid or --fill a\n"
         "raster that has any is refused.\n";
}

namespace {

// Reads the option at args[i], given as `--option VALUE` or `--option=VALUE`, into `options`;
// returns the index of the last argument it used.
size_t parse_option(const std::vector<std::string>& args, size_t i, Options& options) {
  assert(i < args.size());
  std::string option = args[i];
  std::optional<std::string> inline_value;
  const size_t equals = option.find('=');
  if (option.compare(0, 2, "--") == 0 && equals != std::string::npos) {
    inline_value = option.substr(equals + 1);
    option.resize(equals);
  }
  const auto value = [&]() -> std::string {
    if (inline_value) return *inline_value;
    if (i + 1 >= args.size()) throw UsageError(option + " needs a value");
    return args[++i];
  };
  const auto flag = [&]() {
    if (inline_value) throw UsageError(option + " takes no value");
    return true;
  };
  if (option == "--help" || option == "-h") {
    options.help = flag();
  } else if (option == "--image") {
    options.image = flag();
  } else if (option == "--crop-valid") {
    options.crop_valid = flag();
  } else if (option == "--band") {
    options.band = parse_band(value());
  } else if (option == "--unit") {
    options.unit = parse_unit(value());
  } else if (option == "--fill") {
    options.fill_text = value();
    options.fill = parse_fill(options.fill_text);
  } else if (option == "--images-root") {
    options.images_root = value();
    if (options.images_root.empty()) throw UsageError("--images-root is empty");
  } else {
    throw UsageError("unknown option " + option);
  }
  return i;
}

// What the options say together, once all are read: they may come in any order.
void check_choices(const Options& options) {
  if (options.crop_valid && options.fill) {
    throw UsageError("--crop-valid and --fill exclude each other");
  }
  if (options.image && options.unit >= 0) {
    throw UsageError("--unit is for heights; an 8-bit image has no unit");
  }
  if (options.fill) check_fill(options.fill_text, *options.fill, options.image, options.unit);
}

}  // namespace

// Options and the three arguments may be mixed; after `--` every argument is one of the three,
// so that a FOLDER or NAME beginning with - can be given.
Options parse_arguments(const std::vector<std::string>& args) {
  Options options;
  std::vector<std::string> positional;
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else {
      i = parse_option(args, i, options);
    }
  }
  if (options.help) return options;
  if (positional.size() != 3) {
    throw UsageError(positional.size() < 3 ? "missing argument: INPUT FOLDER NAME are needed"
                                           : "too many arguments: only INPUT FOLDER NAME");
  }
  options.input = positional[0];
  options.folder = positional[1];
  options.name = positional[2];
  check_name("FOLDER", options.folder);
  check_name("NAME", options.name);
  check_choices(options);
  return options;
}

}  // namespace scab::import
