#include <gdal.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "map/map_tool.h"
#include "run/pending_file.h"

int main(int argc, char** argv) {
  // A stop by a signal (Ctrl+C, kill) removes the output not yet complete.
  scab::install_signal_cleanup();
  // GDAL's progress line, on a terminal only: "0...10...20 ... 100 - done."
  const GDALProgressFunc progress = isatty(STDOUT_FILENO) ? GDALTermProgress : nullptr;
  return scab::map_tool::run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr,
                             progress);
}
