#include <iostream>
#include <string>
#include <vector>

#include "dataset/signals.h"
#include "import/importer.h"

int main(int argc, char** argv) {
  // A stop by a signal (Ctrl+C, kill) removes the dataset files not yet complete.
  scab::install_signal_cleanup();
  return scab::import::run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
