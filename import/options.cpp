#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "import/importer.h"
#include "run/paths.h"

namespace scab::import {

namespace {

int parse_band(const std::string& text) {
  char* end = nullptr;
  const long band = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || band < 1 || band > 1000000) {
    throw UsageError("--band needs a band number from 1, not '" + text + "'");
  }
  return static_cast<int>(band);
}

int parse_unit(const std::string& text) {
  const char* units[] = {"m", "dm", "cm", "mm"};
  for (int unit = 0; unit < 4; ++unit) {
    if (text == units[unit]) return unit;
  }
  throw UsageError("--unit needs m, dm, cm or mm, not '" + text + "'");
}

double parse_fill(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0') {
    throw UsageError("--fill needs a number, not '" + text + "'");
  }
  return value;
}

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
         "\n"
         "Missing cells are the band's NoData value and NaN; without --crop-valid or --fill a\n"
         "raster that has any is refused.\n";
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
    auto value = [&]() -> std::string {
      if (inline_value) return *inline_value;
      if (i + 1 >= args.size()) throw UsageError(arg + " needs a value");
      return args[++i];
    };
    auto flag = [&]() {
      if (inline_value) throw UsageError(arg + " takes no value");
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      options.help = flag();
    } else if (arg == "--image") {
      options.image = flag();
    } else if (arg == "--crop-valid") {
      options.crop_valid = flag();
    } else if (arg == "--band") {
      options.band = parse_band(value());
    } else if (arg == "--unit") {
      options.unit = parse_unit(value());
    } else if (arg == "--fill") {
      options.fill = parse_fill(value());
    } else if (arg == "--images-root") {
      options.images_root = value();
      if (options.images_root.empty()) throw UsageError("--images-root is empty");
    } else {
      throw UsageError("unknown option " + arg);
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
  if (options.crop_valid && options.fill) {
    throw UsageError("--crop-valid and --fill exclude each other");
  }
  if (options.image && options.unit >= 0) {
    throw UsageError("--unit is for heights; an 8-bit image has no unit");
  }
  return options;
}

}  // namespace scab::import
