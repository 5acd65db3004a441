#include "run/arguments.h"

namespace scab {

std::string usage_text(const std::string& images_root) {
  return "Usage: scabrosimeter [--help | --version]\n"
         "\n"
         "Measures the roughness of a surface stored as a headerless raw raster: a DEM of 16- or\n"
         "32-bit integer heights, or an 8-bit grey-level image. With no argument it asks, one\n"
         "answer a line (from the keyboard, or piped from a file):\n"
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
         "Exit status: 0 when the analysis ran to its end, or the raster does not exist;\n"
         "1 when a run stops (the input ended, a file could not be read or written, not\n"
         "enough memory: the message says which); 2 for an argument other than these.\n";
}

int handle_arguments(const std::vector<std::string>& arguments, const std::string& images_root,
                     FILE* out, FILE* err) {
  if (arguments.empty()) return -1;
  if (arguments.size() == 1 && arguments[0] == "--help") {
    fputs(usage_text(images_root).c_str(), out);
    return 0;
  }
  if (arguments.size() == 1 && arguments[0] == "--version") {
    fputs("scabrosimeter " SCABROSIMETER_VERSION "\n", out);
    return 0;
  }
  fprintf(err, "scabrosimeter: unknown argument: %s\n\n", arguments[0].c_str());
  fputs(usage_text(images_root).c_str(), err);
  return 2;
}

}  // namespace scab
