// The program's command line. With no argument the dialog runs; --help and --version print
// and end the program; anything else is refused.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace scab {

// What --help prints: what the program asks, where datasets go (under `images_root`, the host
// folder that stands for c:\images\), the exit statuses.
std::string usage_text(const std::string& images_root);

// Handles `arguments` (without the program's name): gives the exit status when they end the
// program (0 for --help and --version, printed on `out`; 2 for anything else, refused on
// `err` with the usage), or -1 when there are none and the dialog is to run.
int handle_arguments(const std::vector<std::string>& arguments, const std::string& images_root,
                     FILE* out, FILE* err);

}  // namespace scab
