// The program's command line. With no argument, or with --figures, the dialog runs; --help and
// --version print and end the program; anything else is refused.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace scab {

// What the command line chooses for the run.
struct Options {
  // --figures exact: every figure the exact value of its formula, correctly rounded, from the
  // exact engine; --figures model (the default): the arithmetic model's figures.
  bool exact_figures = false;
};

// Whether this build has the exact engine (without GMP and MPFR it has not).
bool exact_engine_built();

// What --help prints: what the program asks, where datasets go (under `images_root`, the host
// folder that stands for c:\images\), the figures' modes, the exit statuses.
std::string usage_text(const std::string& images_root);

// Handles `arguments` (without the program's name): gives the exit status when they end the
// program (0 for --help and --version, printed on `out`; 2 for anything else, refused on
// `err` with the usage), or -1 when the dialog is to run, with what they choose in `options`.
int handle_arguments(const std::vector<std::string>& arguments, const std::string& images_root,
                     FILE* out, FILE* err, Options& options);

}  // namespace scab
