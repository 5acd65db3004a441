// The roughness maps of the module scabrosimeter._core (map_module.cpp).
#pragma once

#include <pybind11/pybind11.h>

namespace scab {

// Adds roughness_map, map_problem and map_measures to `module`.
void add_map_functions(pybind11::module_& module);

}  // namespace scab
