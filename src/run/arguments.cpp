#include "run/arguments.h"

namespace scab {
namespace {

// The refusal of a wrong command line: what is wrong, then the usage, on `err`; status 2.
int refuse(const std::string& why, const std::string& images_root, FILE* err) {
  fprintf(err, "scabrosimeter: %s\n\n", why.c_str());
  fputs(usage_text(images_root).c_str(), err);
  return 2;
}

// The figures' mode that `value` names into `options`; false when it names none, or names the
// exact mode in a build without the exact engine, with why in `why`.
bool choose_figures(const std::string& value, Options& options, std::string& why) {
  if (value == "model") {
    options.exact_figures = false;
    return true;
  }
  if (value != "exact") {
    why = "--figures takes model or exact, not: " + value;
    return false;
  }
  if (!exact_engine_built()) {
    why =
        "--figures exact is not in this build: it was built without the exact engine (GMP "
        "and MPFR were not found)";
    return false;
  }
  options.exact_figures = true;
  return true;
}

}  // namespace

bool exact_engine_built() {
#if SCABROSIMETER_HAS_EXACT
  return true;
#else
  return false;
#endif
}

std::string usage_text(const std::string& images_root) {
  return "Usage: scabrosimeter [--figures model|exact] | --help | --version\n"
         "\n"
         "Measures the roughness of a surface stored as a headerless raw raster: a DEM of 16- or\n"
         "32-bit integer heights, or an 8-bit grey-level image. It asks, one answer a line\n"
         "(from the keyboard, or piped from a file):\n"
         "  the folder, under c:\\images\\ (on this computer: " +
         images_root +
         ");\n"
         "  the type of data: 0 DEM, 1 8-bit image;\n"
         "  the raster's name, without its suffix;\n"
         "  for a DEM, the sample width: 0 16 bits (NAME_m2.raw), 1 32 bits (NAME_m4.raw);\n"
         "  the lines, columns and pixel size, when the descriptor (NAME_m2.txt, ...) is missing;\n"
         "  the result name: 0 the raster's, 1 a new one, then that name;\n"
         "  for a DEM, the height unit: 0 metres, 1 decimetres, 2 centimetres, 3 millimetres.\n"
         "The results go beside the raster: RESULT_scabrosimeter.txt, the report, and\n"
         "RESULT_scabrosimeter.xls, the RMS of every line.\n"
         "\n"
         "  --figures model   the figures of the program's arithmetic model (the default)\n"
         "  --figures exact   every figure the exact value of its formula on the heights\n"
         "                    (sample x 10^-p), correctly rounded to the digits shown: the\n"
         "                    same dialog and files, one more line saying so" +
         std::string(exact_engine_built() ? "" : "\n                    (not in this build)") +
         "\n"
         "\n"
         "Exit status: 0 when the analysis ran to its end, or the raster does not exist;\n"
         "1 when a run stops (the input ended, a file could not be read or written, not\n"
         "enough memory: the message says which); 2 for an argument other than these.\n";
}

int handle_arguments(const std::vector<std::string>& arguments, const std::string& images_root,
                     FILE* out, FILE* err, Options& options) {
  if (arguments.size() == 1 && arguments[0] == "--help") {
    fputs(usage_text(images_root).c_str(), out);
    return 0;
  }
  if (arguments.size() == 1 && arguments[0] == "--version") {
    fputs("scabrosimeter " SCABROSIMETER_VERSION "\n", out);
    return 0;
  }
  const std::string prefix = "--figures=";
  for (size_t k = 0; k < arguments.size(); k++) {
    const std::string& argument = arguments[k];
    std::string why = "unknown argument: " + argument;
    if (argument == "--figures" && k + 1 == arguments.size()) {
      why = "--figures needs a value: model or exact";
    } else if (argument == "--figures") {
      if (choose_figures(arguments[++k], options, why)) continue;
    } else if (argument.compare(0, prefix.size(), prefix) == 0) {
      if (choose_figures(argument.substr(prefix.size()), options, why)) continue;
    }
    return refuse(why, images_root, err);
  }
  return -1;
}

}  // namespace scab
