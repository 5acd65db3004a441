// The exact figures of the module scabrosimeter._core (exact_module.cpp).
#pragma once

#include <pybind11/pybind11.h>

namespace scab {

// Adds exact_analyse, chunk_summary, merge_summaries and exact_result to `module`.
void add_exact_functions(pybind11::module_& module);

}  // namespace scab
