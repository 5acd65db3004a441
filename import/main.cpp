#include <iostream>
#include <string>
#include <vector>

#include "import/importer.h"

int main(int argc, char** argv) {
  return scab::import::run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
