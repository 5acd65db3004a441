// scabrosimeter: roughness of a DEM or an 8-bit image stored as a raw raster.
#include <cstdio>

#include "run/paths.h"
#include "run/pending_file.h"
#include "run/run.h"

int main() {
  setvbuf(stdout, nullptr, _IONBF, 0);
  scab::install_signal_cleanup();
  scab::Console console{stdin, stdout, [] { scab::console_getch(stdin); },
                        scab::is_terminal(stdout)};
  scab::Run run(console, scab::default_images_root());
  return scab::run_program(run);
}
