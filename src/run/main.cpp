// scabrosimeter: roughness of a DEM or an 8-bit image stored as a raw raster.
#include <cstdio>

#include "dataset/paths.h"
#include "dataset/signals.h"
#include "run/arguments.h"
#include "run/run.h"

int main(int argc, char** argv) {
  scab::Options options;
  const int status = scab::handle_arguments({argv + 1, argv + argc}, scab::default_images_root(),
                                            stdout, stderr, options);
  if (status >= 0) return status;
  setvbuf(stdout, nullptr, _IONBF, 0);
  scab::install_signal_cleanup();
  scab::Console console{stdin, stdout, [] { scab::console_getch(stdin); },
                        scab::is_terminal(stdout)};
  scab::Run run(console, scab::default_images_root());
  run.exact_figures = options.exact_figures;
  return scab::run_program(run);
}
